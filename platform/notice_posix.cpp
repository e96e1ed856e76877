#include "platform/console.hpp"
#include "platform/notice.hpp"

#include <unistd.h>

namespace txconv {

// The console stands in for a message box: the text on its own line, then a
// wait for Enter. End of input counts as acknowledged, so piped runs go on.
// Like any console prompt it cannot report its own failure to be written;
// the run's outcome does not depend on it.
void show_notice(std::string_view text)
{
    // A piped answer is not echoed, so the menu's line is still open.
    if (::isatty(STDIN_FILENO) == 0) {
        (void)write_console(console_stream::error, "\n");
    }
    (void)write_console(console_stream::error, text);
    (void)write_console(console_stream::error, "\n[press Enter] ");
    if (!read_console_line([](char) {})) {
        // Nobody pressed Enter, so end the prompt's line ourselves.
        (void)write_console(console_stream::error, "\n");
    }
}

bool notices_share_the_console()
{
    return true;
}

} // namespace txconv
