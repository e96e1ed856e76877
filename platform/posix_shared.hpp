#pragma once

// Helpers that the POSIX files of this layer share; not for the layers above.

#include "platform/native_file.hpp"

#include <cerrno>

#include <sys/stat.h>

namespace txconv {

inline std::unexpected<io_error> from_errno(int error = errno)
{
    const io_reason reason = error == ENOENT   ? io_reason::missing
                             : error == EEXIST ? io_reason::exists
                                               : io_reason::system;
    return io_failed(reason, static_cast<std::uint32_t>(error));
}

// Nothing from a call that reports -1 and errno on failure.
inline io_expected<> unless_failed(int result)
{
    return result != 0 ? io_expected<>(from_errno()) : io_expected<>();
}

// Runs a system call again for as long as a signal interrupts it.
template <class Call> auto unless_interrupted(Call call)
{
    auto result = call();
    while (result < 0 && errno == EINTR) {
        result = call();
    }
    return result;
}

inline int fd_of(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

inline file_identity identity_of(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

inline std::int64_t changed_of(const struct stat& st)
{
    return (std::int64_t{st.st_ctim.tv_sec} * 1000000000) + st.st_ctim.tv_nsec;
}

// Removes name, but only while it still names the open file fd: whoever put
// another file there meanwhile keeps it. Only calls that are safe in a signal
// handler.
io_expected<> remove_if_still(int fd, const char* name) noexcept;

// The temporary names that a signal must not leave behind. name must stay
// put until it is forgotten again.
void remember_temporary(int fd, const path_string& name);
void forget_temporary(int fd);

} // namespace txconv
