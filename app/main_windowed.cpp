// The windowed twin's entry point (Windows only). Explorer's verbs start it,
// so no console window flashes up: what the console program would print is
// shown in one notice at the end, and a target that exists is asked about.
#include "app/messages.hpp"
#include "app/options.hpp"

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv)
{
    txconv::gather_console_text();
    const int status = txconv::run_txconv(argc, argv, {.windowed = true, .ask = txconv::ask_yes_no});
    // What the console program would have printed, in one notice that fits
    // the screen: an error where the run failed, else a warning.
    if (const std::string text = txconv::take_gathered_text(); !text.empty()) {
        txconv::notify(text.substr(0, text.find_last_not_of('\n') + 1),
                       status != 0 ? txconv::notice_icon::error : txconv::notice_icon::warning);
    }
    return status;
}
