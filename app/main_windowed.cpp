// The windowed twin's entry point (Windows only). Explorer's verbs start it,
// so no console window flashes up: what the console program would print is
// shown in one notice at the end, and a target that exists is asked about.
#include "app/options.hpp"
#include "platform/console.hpp"

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv)
{
    txconv::gather_console_text();
    const int status = txconv::run_txconv(argc, argv, {.windowed = true, .ask = txconv::ask_yes_no});
    txconv::show_gathered_text(status != 0);
    return status;
}
