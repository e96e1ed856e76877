#pragma once

// The error shape of the platform layer: why a step on a file failed, as a
// kind and the system's own code, carried by io_expected. The layers above
// wrap it in failures of their own and find the words for it.

#include <cstdint>
#include <expected>
#include <string>

namespace txconv {

// Why a step on a file did not work. The layers above turn it into words;
// here it is only a kind and, where the system gave one, its error code.
// txconv's own reasons come first, those that the system's code says last.
enum class io_reason : std::uint8_t {
    symlink,     // a link stands at a name we made up: never followed
    not_regular, // a FIFO, a device: not a file to convert
    no_progress, // the system accepted no bytes and gave no reason
    closed,      // a standard stream that was closed when the process started
    folder,      // a folder, where a file was wanted
    device_name, // a name that Windows keeps for a device (CON, NUL, COM1...)
    stream_name, // a name with an alternate data stream part ("t.txt:s")
    read_only,   // marked read-only, so not to be replaced
    link_loop,   // links that lead round in a loop, never to a file
    changed,     // another file took the name after txconv decided to replace the one there
    cannot_undo, // written inside a file whose bytes cannot be read back to undo a failed write
    no_match,    // a wildcard that no file matches (Windows, where the program expands them)
    system,      // the system refused; code says why
    missing,     // nothing is at the name (code: the system's own)
    exists,      // something is at the name already (code: the system's own)
    busy,        // another program holds the lock
};

struct io_error {
    io_reason reason = io_reason::system;
    // errno on POSIX, GetLastError() on Windows; 0 for reasons of our own.
    std::uint32_t code = 0;

    bool is(io_reason wanted) const { return reason == wanted; }
    bool operator==(const io_error&) const = default;
};

// What a step on a file gives: its value, or why there is none. A failed
// step cannot pass for a value.
template <class T = void> using io_expected = std::expected<T, io_error>;

inline std::unexpected<io_error> io_failed(io_reason reason, std::uint32_t code = 0)
{
    return std::unexpected(io_error{reason, code});
}

// Takes each step in turn for as long as the ones before it worked: the
// first failure, or nothing.
template <class... Steps> io_expected<> in_turn(io_expected<> done, Steps... steps)
{
    ((done = done ? steps() : done), ...);
    return done;
}

// The system's own words for one of its error codes, in its language.
std::string system_message(std::uint32_t code);

} // namespace txconv
