#pragma once

// A seam at the system-call boundary for the unit tests: the test binary is
// linked with --wrap for the calls below, so that one call on one kind of
// file can be made to fail, the way a full disk or a broken NFS server would.

#include <functional>
#include <string>

namespace txconv::testing {

enum class syscall {
    close,
    fstat,
    fsync,
    syncfs,
    ftruncate,
    linkat,
    write,
    link,
    rename,
    renameat2,
    unlink,
    flock,
    fchmod,
    fchown
};

struct fault {
    syscall call = syscall::close;
    // The file the fault is for, by its descriptor (-1 for the calls that
    // name their file).
    std::function<bool(int fd)> matches;
    // Which matching call fails, counted from 1; 0 means every one.
    int nth = 1;
    // Done just before the failing call returns, to stage a race.
    std::function<void()> meanwhile = {};
    // fstat only: instead of failing, say that the file has no name left.
    bool unlinked_instead = false;
    // Instead of call alone, every call that writes, names, removes, locks
    // or syncs a file: all of the above but fstat.
    bool any_writing_call = false;
};

// Arms one fault until disarm() or until it has struck (unless nth is 0).
void arm(fault armed);
void disarm();
// Whether the armed fault struck.
bool struck();
// How many calls the armed fault matched so far.
int matched();

// Descriptor tests for fault::matches.
bool is_file_at(int fd, const std::string& path);
bool is_folder(int fd);
bool is_nameless_file(int fd);

} // namespace txconv::testing
