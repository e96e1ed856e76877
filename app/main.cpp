// The entry point: it readies the process, picks the mode and dispatches.
#include "app/menu.hpp"
#include "app/messages.hpp"
#include "app/options.hpp"
#include "platform/console.hpp"

#include <new>
#include <vector>

namespace {

// The whole run; returns the exit status. Any option means the command-line
// mode; without one, the paths go to the menu.
int run_txconv(int argc, const txconv::path_char* const* argv)
{
    using namespace txconv;
    prepare_process();
    try {
        const std::vector<path_string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
        if (asks_for_command_line(arguments)) {
            return run_command_line(arguments);
        }
        return run_menu(arguments);
    } catch (const std::bad_alloc&) {
        // Whatever was staged went with the unwinding, leaving nothing.
        print_diagnostic("out of memory");
        return 1;
    }
}

} // namespace

#ifdef _WIN32
// A wide entry point, so that paths outside the ANSI code page arrive intact.
int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv)
{
    return run_txconv(argc, argv);
}
#else
int main(int argc, char** argv)
{
    return run_txconv(argc, argv);
}
#endif
