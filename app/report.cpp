#include "app/report.hpp"

#include "platform/console.hpp"

namespace txconv {

// Standard error is the last place to report to: when it cannot be written
// there is nobody left to tell, and the exit status still says what happened.
void print_diagnostic(const std::string& line)
{
    (void)write_console(console_stream::error, "txconv: " + line + "\n");
}

void print_failure(const failure& failed)
{
    print_diagnostic(failed.subject + ": " + failed.reason);
}

} // namespace txconv
