#include "app/entry.hpp"
#include "app/translation.hpp"

#include "app/menu.hpp"
#include "app/messages.hpp"
#include "app/options.hpp"
#include "platform/console.hpp"

#include <new>
#include <vector>

namespace txconv {

int run_txconv(int argc, const path_char* const* argv, const front_end& how)
{
    prepare_process();
    try {
        const std::vector<path_string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
        if (asks_for_command_line(arguments)) {
            return run_command_line(arguments, how);
        }
        if (how.windowed) {
            return usage_error(std::string(tr("the windowed program has no menu; give -1 or -2 and the files")));
        }
        return run_menu(arguments);
    } catch (const std::bad_alloc&) {
        // Whatever was staged went with the unwinding, leaving nothing.
        print_diagnostic(tr("out of memory"));
        return 1;
    }
}

} // namespace txconv
