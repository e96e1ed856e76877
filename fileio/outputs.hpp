#pragma once

#include "fileio/failure.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace txconv {

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
};

// How one output ended.
struct output_outcome {
    std::optional<failure> failed;
    // The bytes were safely on the disk when closing the file failed: worth
    // a word, but no failure.
    std::optional<io_error> late_close;
    // How many bytes the file held before the write, where it is a file
    // that txconv added to: what a user is told it now holds.
    std::uint64_t held_before = 0;
};

// Refuses an output early, before work is spent on its content: a link, not
// a regular file, one of its inputs, or, to create, a name already taken.
// Whatever keeps it from looking is left for the write to meet and report.
file_expected<> refuse_target(const output_request& request);

// Which file an output lands in, so that a run can tell when two of its
// outputs would be one file: the file that is there now, by identity, and
// the name in its folder, by the folder's identity, so that two spellings
// meet. Standard output has only the first, and only where it is a file.
struct output_key {
    std::optional<file_identity> file;
    std::optional<file_identity> folder;
    path_string name;

    // Whether the two are, or will be, the same file.
    bool meets(const output_key& other) const;
};
output_key key_of(const output_request& request);

// Writes outputs so that each lands whole or not at all, never through a
// link at its name, never into anything but a regular file, never into the
// input it was made from, and durably before it is reported done:
//  - a new file is written and synced under no name, then given its name
//    only if that name is still free;
//  - an append takes the file's lock, adds the bytes, syncs, and cuts the
//    file back to its old length if any step fails;
//  - a replacement is renamed over the old file, which stays whole until then;
//  - standard output gets the bytes as they are, and where it is a file, is
//    synced, and cut back to where it stood if the write fails.
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

    // Keeps a copy of data for the next commit.
    void stage(output_request request, std::span<const char> data);

    // Whether the next output must wait for a commit: new files stay open
    // until then, and descriptors are limited.
    bool full();

    // Writes every staged output; their outcomes come in staging order.
    std::vector<output_outcome> commit();

    // One staged output and how far it got: the stager's own, opaque here.
    struct entry;

private:
    void write_at_once(entry& output) const;
    void write_new(entry& output) const;
    void sync_new_files();
    void publish(entry& output, std::span<entry> earlier) const;
    void publish_replacement(entry& output) const;
    void publish_new(entry& output, std::span<entry> earlier) const;
    void make_names_durable();

    lock_patience patience_;
    // How many new outputs may wait at once; 0 until first asked.
    std::size_t window_ = 0;
    std::vector<entry> entries_;
};

} // namespace txconv
