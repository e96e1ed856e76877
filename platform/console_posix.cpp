#include "platform/console.hpp"
#include "platform/posix_shared.hpp"

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace txconv {

namespace {

bool closed[3] = {};

} // namespace

void prepare_process()
{
    // One look at all three: poll marks a descriptor that is not open.
    pollfd streams[3] = {{STDIN_FILENO, 0, 0}, {STDOUT_FILENO, 0, 0}, {STDERR_FILENO, 0, 0}};
    if (::poll(streams, 3, 0) > 0) {
        for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
            if ((streams[fd].revents & POLLNVAL) != 0) {
                closed[fd] = true;
                // The lowest free descriptor is fd itself, as the ones below it are open.
                (void)::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            }
        }
    }
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    (void)::sigaction(SIGPIPE, &ignored, nullptr);
    (void)::sigaction(SIGXFSZ, &ignored, nullptr);
}

bool closed_at_start(standard_stream stream)
{
    return closed[static_cast<int>(stream)];
}

bool is_terminal(standard_stream stream)
{
    return ::isatty(static_cast<int>(stream)) == 1;
}

io_expected<> write_console(standard_stream stream, std::string_view text)
{
    // Straight to the descriptor: no stream buffer to set up for a few lines.
    const int fd = static_cast<int>(stream);
    if (closed[fd]) {
        return io_failed(io_reason::closed);
    }
    while (!text.empty()) {
        const ssize_t put = unless_interrupted([&] { return ::write(fd, text.data(), text.size()); });
        if (put <= 0) {
            return put < 0 ? from_errno() : io_failed(io_reason::no_progress);
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return {};
}

io_expected<console_line> read_console_line()
{
    // A byte at a time, so that each reader takes its own line and no more.
    console_line line;
    char c = 0;
    while (line.text.size() < CONSOLE_LINE_LIMIT) {
        const ssize_t got = unless_interrupted([&] { return ::read(STDIN_FILENO, &c, 1); });
        if (got <= 0) {
            return got < 0 ? io_expected<console_line>(from_errno()) : line;
        }
        if (c == '\n') {
            line.ended = true;
            break;
        }
        line.text += c;
    }
    return line;
}

bool console_closes_with_process()
{
    return false;
}

// The console stands in for a message box: the text on its own line, then a
// wait for Enter. End of input counts as acknowledged, so piped runs go on.
// Like any console prompt it cannot report its own failure to be written;
// the run's outcome does not depend on it.
void show_notice(std::string_view text, std::string_view prompt, notice_icon /*icon*/)
{
    // A piped answer is not echoed, so the menu's line is still open.
    std::string shown = ::isatty(STDIN_FILENO) == 0 ? "\n" : "";
    (void)write_console(standard_stream::error, shown.append(text).append("\n").append(prompt).append(" "));
    const io_expected<console_line> answer = read_console_line();
    if (!answer || !answer->ended) {
        // Nobody pressed Enter, so end the prompt's line ourselves.
        (void)write_console(standard_stream::error, "\n");
    }
}

bool notices_share_the_console()
{
    return true;
}

std::optional<bool> system_ui_is_chinese()
{
    return std::nullopt;
}

} // namespace txconv
