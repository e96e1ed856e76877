#include "platform/native_file.hpp"
#include "platform/native_file_shared.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace txconv {

const std::basic_string_view<path_char> SEPARATORS = "/";

namespace {

os_error last_error()
{
    return std::strerror(errno);
}

int fd_of(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

file_identity identity_of(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

file_status status_of(const struct stat& st)
{
    file_status status;
    status.identity = identity_of(st);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.regular = S_ISREG(st.st_mode);
    status.removed = st.st_nlink == 0;
    return status;
}

// Opened without O_NONBLOCK, a FIFO would wait for a partner and a device
// could hang; the check that follows refuses both, and regular files never
// block anyway, so the flag comes off again once the file is known: flags
// are the ones it was opened with, less O_NONBLOCK.
os_error keep_if_regular(int fd, int flags, file_status& status)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return last_error();
    }
    status = status_of(st);
    if (!status.regular) {
        return os_error(REASON_NOT_REGULAR);
    }
    if (::fcntl(fd, F_SETFL, flags) != 0) {
        return last_error();
    }
    return {};
}

// Why path could not be opened: our own reason where it is a link or not a
// regular file, the system's otherwise.
os_error explain_open_failure(const path_string& path, int error)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            return os_error(REASON_SYMLINK);
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            return os_error(REASON_NOT_REGULAR);
        }
    }
    return std::strerror(error);
}

// Removes name, but only while it still names the open file fd: whoever put
// another file there meanwhile keeps it.
os_error remove_if_still(int fd, const path_string& name)
{
    struct stat mine {};
    struct stat theirs {};
    if (::fstat(fd, &mine) != 0) {
        return last_error();
    }
    if (::lstat(name.c_str(), &theirs) != 0) {
        return errno == ENOENT ? os_error{} : last_error();
    }
    if (identity_of(mine) != identity_of(theirs)) {
        return {};
    }
    return ::unlink(name.c_str()) == 0 ? os_error{} : last_error();
}

// O_TMPFILE files get their name through their /proc/self/fd entry, so they
// are used only where that exists.
bool can_name_unnamed_files()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

bool syncfs_reports_errors()
{
    static const bool reports = [] {
        struct utsname system {};
        unsigned major = 0;
        unsigned minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%u.%u", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

std::string proc_path_of(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Whether link() failed only because this file system has no hard links.
bool no_hard_links(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

} // namespace

std::string display_path(const path_string& path)
{
    return path;
}

os_error inspect_path(const path_string& path, path_kind& kind, file_identity& identity)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        kind = path_kind::missing;
        return errno == ENOENT ? os_error{} : last_error();
    }
    identity = identity_of(st);
    kind = S_ISLNK(st.st_mode) ? path_kind::symlink : S_ISREG(st.st_mode) ? path_kind::regular : path_kind::other;
    return {};
}

os_error sync_folder(const path_string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return last_error();
    }
    // A file system that cannot sync a folder (EINVAL) keeps its names
    // durable by other means.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    os_error reason = synced ? os_error{} : last_error();
    ::close(fd);
    return reason;
}

os_error sync_together(std::span<native_file* const> files, bool& synced)
{
    // syncfs once for each file system writes every file's blocks and flushes
    // the disk's cache once, where an fsync per file would flush it once per
    // file. Only since Linux 5.8 does syncfs report a write that failed.
    synced = false;
    if (!syncfs_reports_errors()) {
        return {};
    }
    std::vector<dev_t> done;
    for (const native_file* file : files) {
        struct stat st {};
        if (::fstat(fd_of(file->handle_), &st) != 0) {
            return last_error();
        }
        if (std::find(done.begin(), done.end(), st.st_dev) != done.end()) {
            continue;
        }
        if (::syncfs(fd_of(file->handle_)) != 0) {
            return last_error();
        }
        done.push_back(st.st_dev);
    }
    synced = true;
    return {};
}

std::size_t open_files_to_spare()
{
    // Half of what is left once standard streams, the input and a folder or
    // two are counted.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    return limit.rlim_cur > 16 ? static_cast<std::size_t>((limit.rlim_cur - 16) / 2) : 1;
}

native_file native_file::standard_input()
{
    native_file file;
    file.handle_ = STDIN_FILENO;
    file.borrowed_ = true;
    return file;
}

native_file native_file::standard_output()
{
    native_file file;
    file.handle_ = STDOUT_FILENO;
    file.borrowed_ = true;
    return file;
}

void native_file::release() noexcept
{
    if (handle_ >= 0 && !borrowed_) {
        if (!temporary_.empty()) {
            (void)remove_if_still(fd_of(handle_), temporary_);
        }
        ::close(fd_of(handle_));
    }
    handle_ = -1;
    temporary_.clear();
}

os_error native_file::open_for_reading(const path_string& path, file_status& status)
{
    release();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return last_error();
    }
    if (os_error reason = keep_if_regular(fd, O_RDONLY, status); !reason.empty()) {
        ::close(fd);
        return reason;
    }
    handle_ = fd;
    return {};
}

os_error native_file::open_for_appending(const path_string& path, bool& missing)
{
    release();
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0) {
        return explain_open_failure(path, errno);
    }
    file_status status;
    if (os_error reason = keep_if_regular(fd, O_WRONLY | O_APPEND, status); !reason.empty()) {
        ::close(fd);
        return reason;
    }
    handle_ = fd;
    return {};
}

os_error native_file::create_unnamed(const path_string& beside)
{
    release();
    if (can_name_unnamed_files()) {
        const int fd = ::open(folder_of(beside).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
            return {};
        }
        // Older kernels and some file systems have no O_TMPFILE.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return last_error();
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_string name = temporary_name_beside(beside);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
            temporary_ = std::move(name);
            return {};
        }
        if (errno != EEXIST) {
            return last_error();
        }
    }
    return "no free temporary name in its folder";
}

os_error native_file::publish(const path_string& path, bool replace, bool& taken)
{
    taken = false;
    const int fd = fd_of(handle_);
    if (temporary_.empty()) {
        // An O_TMPFILE file: link it in directly, or under a temporary name
        // to rename from.
        const std::string self = proc_path_of(fd);
        if (!replace) {
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                return {};
            }
            taken = errno == EEXIST;
            return last_error();
        }
        for (int attempt = 0; temporary_.empty(); ++attempt) {
            path_string name = temporary_name_beside(path);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary_ = std::move(name);
            } else if (errno != EEXIST || attempt == 100) {
                return last_error();
            }
        }
    }
    if (replace) {
        if (::rename(temporary_.c_str(), path.c_str()) != 0) {
            return last_error();
        }
        temporary_.clear();
        return {};
    }
    if (::link(temporary_.c_str(), path.c_str()) == 0) {
        (void)remove_if_still(fd, temporary_);
        temporary_.clear();
        return {};
    }
    if (no_hard_links(errno)) {
        // The same promise, where the file system keeps it: fail rather than
        // replace.
        if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            temporary_.clear();
            return {};
        }
    }
    taken = errno == EEXIST;
    return last_error();
}

os_error native_file::unpublish(const path_string& path)
{
    return remove_if_still(fd_of(handle_), path);
}

lock_attempt native_file::try_lock(os_error& reason)
{
    if (::flock(fd_of(handle_), LOCK_EX | LOCK_NB) == 0) {
        return lock_attempt::taken;
    }
    if (errno == EWOULDBLOCK || errno == EINTR) {
        return lock_attempt::busy;
    }
    reason = last_error();
    return lock_attempt::failed;
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

os_error native_file::status(file_status& status) const
{
    struct stat st {};
    if (::fstat(fd_of(handle_), &st) != 0) {
        return last_error();
    }
    status = status_of(st);
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

os_error native_file::sync()
{
    return ::fsync(fd_of(handle_)) == 0 ? os_error{} : last_error();
}

os_error native_file::close()
{
    if (borrowed_) {
        handle_ = -1;
        return {};
    }
    if (!temporary_.empty()) {
        (void)remove_if_still(fd_of(handle_), temporary_);
        temporary_.clear();
    }
    const int fd = fd_of(std::exchange(handle_, -1));
    return ::close(fd) == 0 ? os_error{} : last_error();
}

} // namespace txconv
