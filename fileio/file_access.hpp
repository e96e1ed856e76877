#pragma once

// What fileio/ offers the layers above: inputs read whole but within a
// bound, the names of outputs, and outputs that land whole, durably, never
// through a link that txconv made up and never into an input. Every call
// that can fail gives a file_expected, whose failure names the file and
// carries the system's reason where there is one.

#include "platform/native_file.hpp"

#include <chrono>
#include <functional>
#include <string_view>

namespace txconv {

// What went wrong with one file as it was read or written. Only kinds and
// facts: the words for them belong to whoever tells the user.
enum class failure_kind : std::uint8_t {
    cannot_read,        // the input could not be opened, read or closed (cause)
    cannot_write,       // a step of writing the output failed (cause; undo where taking it back failed too)
    same_file,          // the output would be the input it is made from
    exists,             // the output's name is taken, and it was to be made new
    lock_timeout,       // another program kept the output locked (waited)
    name_kept_changing, // the output's name kept vanishing or appearing while it was made
    endless,            // a stream went on past the budget before giving what was asked (read)
};

// What a failure is about: a file by its path, or a standard stream.
enum class subject_kind : std::uint8_t { file, standard_input, standard_output };

struct subject {
    subject_kind kind = subject_kind::file;
    path_string path; // where kind is file

    static subject standard_input() { return {subject_kind::standard_input, {}}; }
    static subject standard_output() { return {subject_kind::standard_output, {}}; }
    bool operator==(const subject&) const = default;
};

struct failure {
    failure_kind kind = failure_kind::cannot_read;
    subject about;
    // The system's reason: always there for cannot_read and cannot_write,
    // which are made only by the two functions below.
    io_error cause;
    // Where the cause lies when it is not the file itself: the folder that
    // would hold a new output.
    path_string cause_in;
    std::optional<io_error> undo;
    std::chrono::milliseconds waited{};
    std::uint64_t read = 0; // endless: the bytes read before giving up
};

inline failure cannot_read(const subject& about, io_error cause)
{
    return {.kind = failure_kind::cannot_read, .about = about, .cause = cause};
}

inline failure cannot_write(const subject& about, io_error cause, std::optional<io_error> undo = std::nullopt)
{
    return {.kind = failure_kind::cannot_write, .about = about, .cause = cause, .undo = undo};
}

// A value, or the failure that keeps it from being.
template <class T = void> using file_expected = std::expected<T, failure>;

// The output's name: the input's path with everything after the last '.' of
// its file name replaced by extension, or ".extension" added when the file
// name has no '.'. Where the file name starts is the platform's rule.
path_string output_name_for(const path_string& path, std::string_view extension);

// The same with ".extension" added to the whole name, whatever it ends in.
path_string output_name_beside(const path_string& path, std::string_view extension);

// The most of a stream that is read: far more than any honest listing or
// table file needs, and an end for an endless one. A regular file is read
// no further than the length it had when it was opened.
inline constexpr std::uint64_t INPUT_BUDGET = std::uint64_t{64} << 20U;
// How much is read at once, and handed on.
inline constexpr std::size_t READ_CHUNK = 128 * 1024;

// An input being read: the file, what it is, and which file it is, so that
// no output is ever written into it.
struct input_file {
    native_file file;
    subject about;
    // Where it is a regular file: which one, and its length from where
    // reading starts, the most that is read of it.
    std::optional<file_identity> identity;
    std::optional<std::uint64_t> size;
    // Who may read and write it, for what is made from it.
    std::uint32_t permissions = 0666;
    // Where standard input stood when it was opened: its start.
    std::uint64_t start = 0;
};

// Opens the file at path to convert; a name that Windows keeps for a device
// is refused.
file_expected<input_file> open_input(const path_string& path);

// The same for standard input, which may be a pipe or a terminal as well;
// one that was closed when the process started is not read.
file_expected<input_file> open_standard_input();

// How far a whole read got: its bytes, and whether the input ended there,
// or the budget ended the read of a stream that went on.
struct read_extent {
    std::uint64_t bytes = 0;
    bool ended = true;
};

// Reads the input from its start to its end, or to the bound above, one
// chunk at a time, handing each to take; then closes it. The memory it
// takes is one chunk, whatever the input's length.
file_expected<read_extent> read_whole_file(input_file& input, const std::function<void(std::span<const char>)>& take);

// Reads the bytes at offset of a regular file into into, as many as are
// there, and closes it: only what is asked is read, however long the file.
file_expected<std::size_t> read_part(input_file& input, std::uint64_t offset, std::span<char> into);

// The most that any single write call hands to the system.
inline constexpr std::size_t WRITE_CHUNK = 65536;

// How an output meets a file that already has its name.
enum class write_mode {
    append,  // adds behind what the file holds, as the menu always does
    create,  // refuses to touch it
    replace, // puts the new file in its place, whole
};

// How long an append waits for a lock that another program holds, and whom
// it tells, once, that it waits.
struct lock_patience {
    std::chrono::milliseconds say_after{1000};
    std::chrono::milliseconds give_up_after{30000};
    void (*on_wait)(const subject& about) = nullptr;
};

// What stands where an output goes, looked at once before anything is read:
// the name the bytes land at (a typed path's links followed to their end),
// and what is there.
struct output_look {
    path_string target;
    path_facts there;
    std::optional<file_identity> file; // a regular file there, or standard output that is one
};

// Where one output goes.
struct output_request {
    // A file, or standard output.
    subject to;
    write_mode mode = write_mode::append;
    // The files it is made from, which it must never be written into.
    std::vector<file_identity> inputs;
    // The user typed the path: links there are followed, and what is not a
    // regular file (a device, a FIFO, a terminal) is written as a stream.
    // Names that txconv makes up never lead anywhere but to a regular file.
    bool named_by_user = false;
    // Who may read and write a new file: the input's permissions.
    std::uint32_t permissions = 0666;
    // What the decision to replace was about: the file that stood at the
    // name then, which alone may be replaced; nothing, where nothing stood
    // there, and then nothing is.
    std::optional<path_facts> replacing;
    output_look look;
};

// Looks at where the output goes, once, and refuses it early, before work
// is spent on its content: a name Windows keeps for a device or a stream, a
// link at a made-up name, not a regular file, one of its inputs, or, to
// create, a name already taken. What it finds
// stays in the request for the write.
file_expected<> look_at_output(output_request& request);

// How one output ended that was written.
struct written {
    // The bytes were safely on the disk when closing the file failed: worth
    // a word, but no failure.
    std::optional<io_error> late_close;
    // How many bytes the file held before the write, where txconv added to
    // it: what a user is told it now holds.
    std::uint64_t held_before = 0;
};
using output_outcome = file_expected<written>;

// Adds data behind what the regular file at path holds, under its lock, and
// durably; on any failure the file is put back as it was. Fails with a
// cause of missing when nothing is at path, so that the caller can make the
// file instead.
output_outcome append_to_file(const path_string& path, std::span<const char> data,
                              std::span<const file_identity> inputs, const lock_patience& patience);

// Writes outputs so that each lands whole or not at all:
//  - a new file is written and synced under no name, then given its name
//    only if that name is still free;
//  - an append takes the file's lock, adds the bytes, syncs, and puts the
//    file back as it was if any step fails;
//  - a replacement takes the place of the file the decision was about, and
//    of no other;
//  - standard output gets the bytes as they are, and where it is a file, is
//    synced, and put back as it was if the write fails.
// Outputs are staged, then committed together, so that the syncs of new
// files and of their folders are done once for all, which costs far less
// than one by one.
class output_stager {
public:
    explicit output_stager(lock_patience patience = {});
    output_stager(const output_stager&) = delete;
    output_stager& operator=(const output_stager&) = delete;
    // Outputs that were never committed leave nothing behind.
    ~output_stager();

    // Keeps data for the next commit, for the job numbered job.
    void stage(std::size_t job, output_request request, std::string data);

    // Whether the next output must wait for a commit: new files stay open
    // until then, and descriptors are limited.
    bool full();

    // Writes every staged output, and gives each one's outcome by its job.
    std::vector<std::pair<std::size_t, output_outcome>> commit();

    // One staged output and how far it got: the stager's own, opaque here.
    struct entry;

private:
    lock_patience patience_;
    // How many new outputs may wait at once; 0 until first asked.
    std::size_t window_ = 0;
    std::vector<entry> entries_;
};

} // namespace txconv
