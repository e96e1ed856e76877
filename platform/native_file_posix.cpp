#include "platform/native_file.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace txconv {

namespace {

os_error last_error()
{
    return std::strerror(errno);
}

int fd_of(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

} // namespace

std::string display_path(const path_string& path)
{
    return path;
}

os_error remove_file(const path_string& path)
{
    return ::unlink(path.c_str()) == 0 ? os_error{} : last_error();
}

void native_file::release() noexcept
{
    if (handle_ >= 0) {
        ::close(fd_of(handle_));
        handle_ = -1;
    }
}

os_error native_file::open_for_reading(const path_string& path)
{
    release();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return last_error();
    }
    handle_ = fd;
    return {};
}

os_error native_file::open_for_appending(const path_string& path)
{
    release();
    for (;;) {
        // O_EXCL first, so that we know whether the file is ours to remove
        // again should the append fail.
        bool made = true;
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) {
            made = false;
            fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        }
        if (fd < 0) {
            return last_error();
        }
        int locked = 0;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat st {};
        if (locked != 0 || ::fstat(fd, &st) != 0) {
            os_error reason = last_error();
            ::close(fd);
            return reason;
        }
        if (st.st_nlink == 0) {
            // Whoever held the lock before us made the file, failed and
            // removed it again; what we would write here would be lost.
            ::close(fd);
            continue;
        }
        handle_ = fd;
        created_ = made;
        return {};
    }
}

os_error native_file::read_some(std::span<char> into, std::size_t& got)
{
    for (;;) {
        const ssize_t n = ::read(fd_of(handle_), into.data(), into.size());
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return {};
        }
        if (errno != EINTR) {
            got = 0;
            return last_error();
        }
    }
}

os_error native_file::write_some(std::span<const char> from, std::size_t& put)
{
    for (;;) {
        const ssize_t n = ::write(fd_of(handle_), from.data(), from.size());
        if (n >= 0) {
            put = static_cast<std::size_t>(n);
            return {};
        }
        if (errno != EINTR) {
            put = 0;
            return last_error();
        }
    }
}

os_error native_file::size(std::uint64_t& length) const
{
    struct stat st {};
    if (::fstat(fd_of(handle_), &st) != 0) {
        return last_error();
    }
    length = static_cast<std::uint64_t>(st.st_size);
    return {};
}

os_error native_file::truncate(std::uint64_t length)
{
    while (::ftruncate(fd_of(handle_), static_cast<off_t>(length)) != 0) {
        if (errno != EINTR) {
            return last_error();
        }
    }
    return {};
}

os_error native_file::close()
{
    const int fd = fd_of(std::exchange(handle_, -1));
    return ::close(fd) == 0 ? os_error{} : last_error();
}

bool native_file::is_same_file_as(const path_string& path) const
{
    struct stat mine {};
    struct stat theirs {};
    return ::fstat(fd_of(handle_), &mine) == 0 && ::stat(path.c_str(), &theirs) == 0 && mine.st_dev == theirs.st_dev &&
           mine.st_ino == theirs.st_ino;
}

} // namespace txconv
