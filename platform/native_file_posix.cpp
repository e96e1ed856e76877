#include "platform/native_file.hpp"
#include "platform/posix_shared.hpp"

#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace txconv {

namespace {

file_status status_of(const struct stat& st)
{
    return {.identity = identity_of(st),
            .size = static_cast<std::uint64_t>(st.st_size),
            .permissions = static_cast<std::uint32_t>(st.st_mode & 07777),
            .regular = S_ISREG(st.st_mode),
            .removed = st.st_nlink == 0};
}

// Opened without O_NONBLOCK, a FIFO would wait for a partner and a device
// could hang; the check that follows refuses both. A regular file never
// blocks, so the flag may stay.
io_expected<file_status> keep_if_regular(int fd)
{
    struct stat st; // filled by the call below
    if (::fstat(fd, &st) != 0) {
        return from_errno();
    }
    return S_ISREG(st.st_mode) ? io_expected<file_status>(status_of(st))
                               : io_failed(S_ISDIR(st.st_mode) ? io_reason::folder : io_reason::not_regular);
}

// Why path could not be opened for appending: a link or not a regular file
// where one stands there, else what the system said.
std::unexpected<io_error> explain_open_failure(const path_string& path, int error)
{
    struct stat st {};
    const bool there = error != ENOENT && ::lstat(path.c_str(), &st) == 0;
    return there && S_ISLNK(st.st_mode)                            ? io_failed(io_reason::symlink)
           : there && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) ? io_failed(io_reason::not_regular)
                                                                   : from_errno(error);
}

// A count of bytes, from a call that reports -1 and errno on failure.
io_expected<std::size_t> counted(ssize_t n)
{
    return n < 0 ? io_expected<std::size_t>(from_errno()) : static_cast<std::size_t>(n);
}

} // namespace

std::string system_message(std::uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

std::string display_path(const path_string& path)
{
    return path;
}

native_file native_file::standard(standard_stream stream)
{
    native_file file;
    file.handle_ = static_cast<int>(stream);
    file.borrowed_ = true;
    return file;
}

io_expected<file_status> native_file::open_for_reading(const path_string& path)
{
    release();
    handle_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const io_expected<file_status> status =
        handle_ < 0 ? io_expected<file_status>(from_errno()) : keep_if_regular(fd_of(handle_));
    if (!status) {
        release();
    }
    return status;
}

io_expected<> native_file::open_for_appending(const path_string& path)
{
    release();
    handle_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (const io_expected<file_status> kept =
            handle_ < 0 ? io_expected<file_status>(explain_open_failure(path, errno)) : keep_if_regular(fd_of(handle_));
        !kept) {
        release();
        return std::unexpected(kept.error());
    }
    return {};
}

io_expected<> native_file::open_stream(const path_string& path)
{
    release();
    handle_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    return handle_ < 0 ? io_expected<>(from_errno()) : io_expected<>();
}

io_expected<std::uint64_t> native_file::position() const
{
    const off_t offset = ::lseek(fd_of(handle_), 0, SEEK_CUR);
    return offset < 0 ? io_expected<std::uint64_t>(from_errno()) : static_cast<std::uint64_t>(offset);
}

io_expected<bool> native_file::writes_at_end() const
{
    // Opened to append (>>).
    const int flags = ::fcntl(fd_of(handle_), F_GETFL);
    return flags == -1 ? io_expected<bool>(from_errno()) : (flags & O_APPEND) != 0;
}

io_expected<> native_file::seek(std::uint64_t offset)
{
    return unless_failed(::lseek(fd_of(handle_), static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0);
}

io_expected<> native_file::try_lock()
{
    return ::flock(fd_of(handle_), LOCK_EX | LOCK_NB) == 0 ? io_expected<>()
           : errno == EWOULDBLOCK || errno == EINTR ? io_failed(io_reason::busy, static_cast<std::uint32_t>(errno))
                                                    : from_errno();
}

io_expected<std::size_t> native_file::read_some(std::span<char> into)
{
    return counted(unless_interrupted([&] { return ::read(fd_of(handle_), into.data(), into.size()); }));
}

io_expected<std::size_t> native_file::write_some(std::span<const char> from)
{
    return counted(unless_interrupted([&] { return ::write(fd_of(handle_), from.data(), from.size()); }));
}

io_expected<file_status> native_file::status() const
{
    struct stat st; // filled by the call below
    return ::fstat(fd_of(handle_), &st) != 0 ? io_expected<file_status>(from_errno()) : status_of(st);
}

io_expected<> native_file::truncate(std::uint64_t length)
{
    return unless_failed(unless_interrupted([&] { return ::ftruncate(fd_of(handle_), static_cast<off_t>(length)); }));
}

io_expected<> native_file::sync()
{
    return unless_failed(::fsync(fd_of(handle_)));
}

io_expected<> native_file::close()
{
    if (borrowed_) {
        handle_ = -1;
        return {};
    }
    if (!temporary_.empty()) {
        (void)remove_if_still(fd_of(handle_), temporary_.c_str());
        forget_temporary(fd_of(handle_));
        temporary_.clear();
    }
    return unless_failed(::close(fd_of(std::exchange(handle_, -1))));
}

} // namespace txconv
