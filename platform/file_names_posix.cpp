// Where files get their names on POSIX: looking at a name, new files made
// without one and named once whole, and the syncs that make names durable.
#include "platform/native_file.hpp"
#include "platform/posix_shared.hpp"

#include <cstdio>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace txconv {

namespace {

std::string proc_path_of(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Swaps the file named temporary in for the one at path, which held keeps
// open: only while that is still the file the decision was about, unchanged
// (a new file may take a freed number at once). What comes out is checked
// again, and swapped back where it is not that file or cannot go. A file
// system that cannot swap renames over it. Fails as missing where nothing
// stands at path any more.
io_expected<> swap_in(const path_string& temporary, const path_string& path, int held, const path_facts& old)
{
    struct stat st {};
    if (::fstat(held, &st) != 0) {
        return from_errno();
    }
    if (identity_of(st) != old.identity || changed_of(st) != old.changed) {
        return io_failed(io_reason::changed);
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        return (errno != EINVAL && errno != ENOSYS) || ::rename(temporary.c_str(), path.c_str()) != 0 ? from_errno()
                                                                                                      : io_expected<>{};
    }
    // The old file now has the hidden name.
    const bool theirs = ::lstat(temporary.c_str(), &st) != 0 || identity_of(st) != old.identity;
    if (theirs || ::unlink(temporary.c_str()) != 0) {
        const io_expected<> failed = theirs ? io_failed(io_reason::changed) : from_errno();
        (void)::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
        return failed;
    }
    return {};
}

} // namespace

std::size_t file_name_start(const path_string& path)
{
    // The kernel's rule: '/' alone ends a folder name.
    const auto cut = path.rfind('/');
    return cut == path_string::npos ? 0 : cut + 1;
}

io_expected<path_facts> inspect_path(const path_string& path, bool follow)
{
    struct stat st; // filled by the call below
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        return errno == ELOOP    ? io_failed(io_reason::link_loop, ELOOP)
               : errno == ENOENT ? io_expected<path_facts>{}
                                 : from_errno();
    }
    const path_kind kind = S_ISLNK(st.st_mode)   ? path_kind::symlink
                           : S_ISREG(st.st_mode) ? path_kind::regular
                                                 : path_kind::other;
    return path_facts{kind, identity_of(st), changed_of(st)};
}

std::optional<standard_stream> standard_stream_behind(const path_string& path)
{
    // Only through a link: a file that the user named and that a stream
    // happens to be open on stays that file.
    struct stat link {};
    struct stat there {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || ::stat(path.c_str(), &there) != 0) {
        return std::nullopt;
    }
    for (const standard_stream stream : {standard_stream::input, standard_stream::output}) {
        struct stat st; // filled by the call below
        if (::fstat(static_cast<int>(stream), &st) == 0 && identity_of(st) == identity_of(there)) {
            return stream;
        }
    }
    return std::nullopt;
}

path_string resolve_links(const path_string& path)
{
    // As the system follows them, and no further: a loop ends it too.
    path_string at = path;
    for (int step = 0; step < 40; ++step) {
        char target[4096];
        const ssize_t length = ::readlink(at.c_str(), target, sizeof target);
        if (length < 0 || static_cast<std::size_t>(length) == sizeof target) {
            break;
        }
        const path_string next(target, static_cast<std::size_t>(length));
        at = next.front() == '/' ? next : at.substr(0, file_name_start(at)) + next;
    }
    return at;
}

io_expected<> sync_folder(const path_string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return from_errno();
    }
    // A file system that cannot sync a folder (EINVAL) keeps its names
    // durable by other means.
    const io_expected<> synced = ::fsync(fd) == 0 || errno == EINVAL ? io_expected<>{} : from_errno();
    ::close(fd);
    return synced;
}

bool syncs_file_systems()
{
    // Only since Linux 5.8 does syncfs report a write that failed.
    static const bool reports = [] {
        struct utsname system {};
        unsigned major = 0;
        unsigned minor = 0;
        return ::uname(&system) == 0 && std::sscanf(system.release, "%u.%u", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

io_expected<> sync_file_system_of(const native_file& file)
{
    // One syncfs writes every file's blocks of that file system and flushes
    // the disk's cache once, where an fsync per file would flush it once per
    // file.
    return unless_failed(::syncfs(fd_of(file.handle_)));
}

std::size_t open_files_to_spare()
{
    // The limit less what is open already: a caller may hand us many
    // descriptors. Counted where /proc shows them, guessed at elsewhere.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 1024;
    }
    std::size_t open = 16;
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        open = 0;
        while (const dirent* entry = ::readdir(folder)) {
            open += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(folder);
    }
    return limit.rlim_cur > open ? static_cast<std::size_t>(limit.rlim_cur - open) : 0;
}

io_expected<> native_file::create_unnamed(const path_string& beside, std::uint32_t permissions)
{
    release();
    const auto mode = static_cast<mode_t>(permissions & 0777U);
    // O_TMPFILE files get their name through their /proc/self/fd entry, so
    // they are used only where that exists.
    static const bool can_name_unnamed_files = ::access("/proc/self/fd", X_OK) == 0;
    if (can_name_unnamed_files) {
        const int fd = ::open(folder_of(beside).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            handle_ = fd;
            return {};
        }
        // Older kernels and some file systems have no O_TMPFILE.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return from_errno();
        }
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        path_string name = temporary_name_beside(beside);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            handle_ = fd;
            temporary_ = std::move(name);
            remember_temporary(fd, temporary_);
            return {};
        }
        if (errno != EEXIST) {
            return from_errno();
        }
    }
    return from_errno(EEXIST);
}

io_expected<> native_file::publish(const path_string& path)
{
    const int fd = fd_of(handle_);
    if (temporary_.empty()) {
        // An O_TMPFILE file: linked in directly, only if the name is free.
        return unless_failed(::linkat(AT_FDCWD, proc_path_of(fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW));
    }
    if (::link(temporary_.c_str(), path.c_str()) != 0) {
        const int link_error = errno;
        // The same promise, where link() failed only because the file system
        // has no hard links: fail rather than replace.
        const bool linkless =
            link_error == EPERM || link_error == EOPNOTSUPP || link_error == ENOSYS || link_error == EMLINK;
        if (!linkless || ::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
            return from_errno(errno == EEXIST ? EEXIST : link_error);
        }
    } else {
        (void)remove_if_still(fd, temporary_.c_str());
    }
    forget_temporary(fd);
    temporary_.clear();
    return {};
}

io_expected<> native_file::replace(const path_string& path, const path_facts& old)
{
    const int fd = fd_of(handle_);
    // Under a hidden name first, as an O_TMPFILE file has none yet.
    for (int attempt = 0; temporary_.empty(); ++attempt) {
        path_string name = temporary_name_beside(path);
        if (::linkat(AT_FDCWD, proc_path_of(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = std::move(name);
            remember_temporary(fd, temporary_);
        } else if (errno != EEXIST || attempt == NAME_ATTEMPTS) {
            return from_errno();
        }
    }
    // Held open from this look until the swap is checked, so that its number
    // cannot pass to another file meanwhile.
    const int held = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    const io_expected<> swapped = held < 0 ? io_expected<>(from_errno()) : swap_in(temporary_, path, held, old);
    if (held >= 0) {
        ::close(held);
    }
    if (!swapped) {
        return swapped.error().is(io_reason::missing) ? publish(path) : swapped;
    }
    forget_temporary(fd);
    temporary_.clear();
    return {};
}

io_expected<> native_file::adopt_permissions_of(const path_string& old)
{
    struct stat st; // filled by the call below
    if (::stat(old.c_str(), &st) != 0) {
        return from_errno();
    }
    const int fd = fd_of(handle_);
    // Owner first: changing it may clear set-user and set-group bits.
    return ::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM ? from_errno()
                                                                     : unless_failed(::fchmod(fd, st.st_mode & 07777));
}

io_expected<> native_file::unpublish(const path_string& path)
{
    return remove_if_still(fd_of(handle_), path.c_str());
}

io_expected<> check_name(const path_string&, bool)
{
    return {};
}

path_string name_as_opened(const path_string& path)
{
    return path;
}

void expand_wildcards(std::vector<path_string>&)
{
    // The shell has done it.
}

bool slash_options()
{
    return false;
}

} // namespace txconv
