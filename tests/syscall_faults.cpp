#include "syscall_faults.hpp"

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

extern "C" {
int __real_close(int fd);
int __real_fstat(int fd, struct stat* st);
int __real_fsync(int fd);
int __real_syncfs(int fd);
int __real_ftruncate(int fd, off_t length);
int __real_linkat(int from_dir, const char* from, int to_dir, const char* to, int flags);
ssize_t __real_write(int fd, const void* data, size_t count);
int __real_link(const char* from, const char* to);
int __real_rename(const char* from, const char* to);
int __real_renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags);
int __real_unlink(const char* name);
int __real_flock(int fd, int operation);
int __real_fchmod(int fd, mode_t mode);
int __real_fchown(int fd, uid_t owner, gid_t group);
}

namespace txconv::testing {

namespace {

std::optional<fault> armed_fault;
int matching_calls = 0;
bool has_struck = false;

// Whether this call is the one to fail.
bool strikes(syscall call, int fd)
{
    if (!armed_fault || !(armed_fault->any_writing_call ? call != syscall::fstat : armed_fault->call == call) ||
        !armed_fault->matches(fd)) {
        return false;
    }
    ++matching_calls;
    if (armed_fault->nth != 0 && matching_calls != armed_fault->nth) {
        return false;
    }
    has_struck = true;
    const fault now = *armed_fault;
    if (now.nth != 0) {
        armed_fault.reset();
    }
    if (now.meanwhile) {
        now.meanwhile();
    }
    return true;
}

} // namespace

void arm(fault armed)
{
    armed_fault = std::move(armed);
    matching_calls = 0;
    has_struck = false;
}

void disarm()
{
    armed_fault.reset();
}

bool struck()
{
    return has_struck;
}

int matched()
{
    return matching_calls;
}

bool is_file_at(int fd, const std::string& path)
{
    struct stat mine {};
    struct stat theirs {};
    return __real_fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &theirs) == 0 && mine.st_dev == theirs.st_dev &&
           mine.st_ino == theirs.st_ino;
}

bool is_folder(int fd)
{
    struct stat st {};
    return __real_fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_nameless_file(int fd)
{
    struct stat st {};
    return __real_fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0;
}

} // namespace txconv::testing

using txconv::testing::strikes;
using txconv::testing::syscall;

extern "C" {

int __wrap_close(int fd)
{
    if (strikes(syscall::close, fd)) {
        // As on Linux: the descriptor is gone all the same.
        __real_close(fd);
        errno = EIO;
        return -1;
    }
    return __real_close(fd);
}

int __wrap_fstat(int fd, struct stat* st)
{
    const bool unlinked = txconv::testing::armed_fault && txconv::testing::armed_fault->unlinked_instead;
    if (strikes(syscall::fstat, fd)) {
        if (unlinked) {
            const int result = __real_fstat(fd, st);
            st->st_nlink = 0;
            return result;
        }
        errno = EIO;
        return -1;
    }
    return __real_fstat(fd, st);
}

int __wrap_fsync(int fd)
{
    if (strikes(syscall::fsync, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_fsync(fd);
}

int __wrap_syncfs(int fd)
{
    if (strikes(syscall::syncfs, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_syncfs(fd);
}

int __wrap_ftruncate(int fd, off_t length)
{
    if (strikes(syscall::ftruncate, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_ftruncate(fd, length);
}

int __wrap_linkat(int from_dir, const char* from, int to_dir, const char* to, int flags)
{
    const bool sweeping = txconv::testing::armed_fault && txconv::testing::armed_fault->any_writing_call;
    if (strikes(syscall::linkat, -1)) {
        // Alone, a name that is always taken; in a sweep, a failing disk.
        errno = sweeping ? EIO : EEXIST;
        return -1;
    }
    return __real_linkat(from_dir, from, to_dir, to, flags);
}

ssize_t __wrap_write(int fd, const void* data, size_t count)
{
    if (strikes(syscall::write, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_write(fd, data, count);
}

int __wrap_link(const char* from, const char* to)
{
    if (strikes(syscall::link, -1)) {
        errno = EIO;
        return -1;
    }
    return __real_link(from, to);
}

int __wrap_rename(const char* from, const char* to)
{
    if (strikes(syscall::rename, -1)) {
        errno = EIO;
        return -1;
    }
    return __real_rename(from, to);
}

int __wrap_renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags)
{
    if (strikes(syscall::renameat2, -1)) {
        errno = EIO;
        return -1;
    }
    return __real_renameat2(from_dir, from, to_dir, to, flags);
}

int __wrap_unlink(const char* name)
{
    if (strikes(syscall::unlink, -1)) {
        errno = EIO;
        return -1;
    }
    return __real_unlink(name);
}

int __wrap_flock(int fd, int operation)
{
    if (strikes(syscall::flock, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_flock(fd, operation);
}

int __wrap_fchmod(int fd, mode_t mode)
{
    if (strikes(syscall::fchmod, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_fchmod(fd, mode);
}

int __wrap_fchown(int fd, uid_t owner, gid_t group)
{
    if (strikes(syscall::fchown, fd)) {
        errno = EIO;
        return -1;
    }
    return __real_fchown(fd, owner, group);
}

} // extern "C"
