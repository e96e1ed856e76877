// The hidden names of files on their way to their own, and taking them away
// again, even from a signal handler.
#include "platform/posix_shared.hpp"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace txconv {

namespace {

// Remembered temporaries: a slot is in use while its descriptor is not -1,
// and the name is set before the descriptor and dropped after it, so that a
// signal handler never sees half a slot.
struct temporary_slot {
    volatile int fd = -1;
    const char* volatile name = nullptr;
};

constexpr std::size_t TEMPORARY_SLOTS = 1024;
temporary_slot temporaries[TEMPORARY_SLOTS];

// Leaves no temporary file behind, each only while its name is still its
// file's, then ends the process by the same signal, so that whoever waits for
// it still learns which. Only calls that are safe in a signal handler.
extern "C" void end_by_signal(int signal)
{
    for (temporary_slot& slot : temporaries) {
        const int fd = slot.fd;
        const char* const name = slot.name;
        if (fd != -1 && name != nullptr) {
            (void)remove_if_still(fd, name);
        }
    }
    (void)std::signal(signal, SIG_DFL);
    (void)::raise(signal);
}

} // namespace

void remember_temporary(int fd, const path_string& name)
{
    // Only a run that makes a temporary name needs to take it away again, so
    // the handlers come with the first one.
    static const bool handled = [] {
        struct sigaction ending {};
        ending.sa_handler = end_by_signal;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            // One that the caller ignores (nohup) stays ignored.
            struct sigaction old {};
            if (::sigaction(signal, &ending, &old) == 0 && old.sa_handler == SIG_IGN) {
                (void)::sigaction(signal, &old, nullptr);
            }
        }
        return true;
    }();
    (void)handled;
    for (temporary_slot& slot : temporaries) {
        if (slot.fd == -1) {
            slot.name = name.c_str();
            std::atomic_signal_fence(std::memory_order_seq_cst);
            slot.fd = fd;
            return;
        }
    }
}

void forget_temporary(int fd)
{
    for (temporary_slot& slot : temporaries) {
        if (slot.fd == fd) {
            slot.fd = -1;
            std::atomic_signal_fence(std::memory_order_seq_cst);
            slot.name = nullptr;
            return;
        }
    }
}

io_expected<> remove_if_still(int fd, const char* name) noexcept
{
    struct stat mine {};
    struct stat theirs {};
    if (::fstat(fd, &mine) != 0) {
        return from_errno();
    }
    if (::lstat(name, &theirs) != 0) {
        return errno == ENOENT ? io_expected<>{} : from_errno();
    }
    return identity_of(mine) != identity_of(theirs) ? io_expected<>() : unless_failed(::unlink(name));
}

} // namespace txconv
