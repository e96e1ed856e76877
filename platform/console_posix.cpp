#include "platform/console.hpp"
#include "platform/console_shared.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace txconv {

void prepare_process()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free descriptor is fd itself, as the ones below it are open.
            (void)::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

bool write_console(console_stream stream, std::string_view text)
{
    return write_stream(stream == console_stream::output ? stdout : stderr, text);
}

bool console_closes_with_process()
{
    return false;
}

} // namespace txconv
