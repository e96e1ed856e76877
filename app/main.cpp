#include "app/main.hpp"

#include "app/menu.hpp"
#include "convert/conversions.hpp"
#include "platform/notice.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace txconv {

namespace {

bool is_option(const path_char* argument, std::string_view option)
{
    std::size_t i = 0;
    for (; i < option.size(); ++i) {
        if (argument[i] != static_cast<path_char>(option[i])) {
            return false;
        }
    }
    return argument[i] == path_char{};
}

int print_and_exit(std::string_view text)
{
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return written && std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

// Standard error is the last place to report to: when it cannot be written
// there is nobody left to tell, and the exit status still says what happened.
void print_diagnostic(const std::string& line)
{
    (void)std::fprintf(stderr, "txconv: %s\n", line.c_str());
}

outcome convert(menu_choice choice, const path_string& input)
{
    switch (choice) {
    case menu_choice::txt_to_tx:
        return txt_to_tx(input, print_diagnostic);
    case menu_choice::tx_to_txt:
        return tx_to_txt(input);
    case menu_choice::none:
        break;
    }
    return {};
}

} // namespace

int run_txconv(int argc, const path_char* const* argv)
{
    const path_char* const input = argc > 1 ? argv[1] : nullptr;
    // Options only stand alone; with anything behind it, the first argument
    // is a path like any other.
    if (argc == 2 && (is_option(input, "--help") || is_option(input, "-h"))) {
        return print_and_exit(USAGE);
    }
    if (argc == 2 && is_option(input, "--version")) {
        return print_and_exit("txconv " TXCONV_VERSION "\n");
    }

    // The menu is a prompt: a console that cannot show it does not change
    // which answer arrives, so the run goes on by that answer.
    (void)std::fwrite(MENU.data(), 1, MENU.size(), stdout);
    (void)std::fflush(stdout);
    const menu_choice choice = parse_choice(read_answer_line(stdin));
    show_notice(input != nullptr ? display_path(input) : std::string());
    if (input == nullptr) {
        return EXIT_SUCCESS;
    }

    const outcome failed = convert(choice, input);
    if (!failed) {
        return EXIT_SUCCESS;
    }
    print_diagnostic(failed->subject + ": " + failed->reason);
    show_notice(failed->notice);
    return EXIT_FAILURE;
}

} // namespace txconv
