#pragma once

// Writing to files that exist, and to standard output: the stager's own
// business, not for the layers above.

#include "fileio/file_access.hpp"

#include <algorithm>
#include <thread>

namespace txconv {

// Writes all of data, in steps of at most WRITE_CHUNK bytes; where given,
// written counts the bytes that got there, for a write that fails.
io_expected<> write_all(native_file& file, std::span<const char> data, std::size_t* written = nullptr);

// What a file held where a write is about to land, so that a failed write
// can put it back: its length, and the old bytes the write will cover.
// The one way back for every output that is written in place, files and
// standard output alike.
struct undo_point {
    std::uint64_t length = 0;
    std::uint64_t at = 0;
    std::vector<char> covered;
};

// Writes data where the undo point was taken, durably; on any failure puts
// the file back as the undo point says.
file_expected<> write_or_undo(native_file& file, const subject& about, const undo_point& undo,
                              std::span<const char> data);

// Writes data to standard output, and where the output's look found a
// regular file there, syncs it. That it is no input (txconv -2 -o - t.tx >>
// t.tx) was seen at that look too: the stream is the same file from then on.
output_outcome write_standard_output(std::span<const char> data, bool regular);

// Writes data to what the user named at path that is not a regular file: a
// device, a FIFO or a terminal, as a stream, with no step to undo or sync.
output_outcome write_stream(const subject& about, const path_string& path, std::span<const char> data);

// Whether the file is one of inputs.
inline bool is_one_of(const file_identity& file, std::span<const file_identity> inputs)
{
    return std::find(inputs.begin(), inputs.end(), file) != inputs.end();
}

// Tries attempt until it is not busy, for as long as patience allows, saying
// once that it waits. A failure where it gave up, or where the attempt
// failed otherwise.
template <class Attempt>
file_expected<> wait_while_busy(const subject& about, const lock_patience& patience, Attempt attempt)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto pause = std::chrono::milliseconds(1);
    bool said = false;
    for (io_expected<> result = attempt();; result = attempt()) {
        if (result || !result.error().is(io_reason::busy)) {
            return result ? file_expected<>() : std::unexpected(cannot_write(about, result.error()));
        }
        const auto waited = clock::now() - start;
        if (waited >= patience.give_up_after) {
            return std::unexpected(
                failure{.kind = failure_kind::lock_timeout, .about = about, .waited = patience.give_up_after});
        }
        if (!said && waited >= patience.say_after && patience.on_wait != nullptr) {
            patience.on_wait(about);
            said = true;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

} // namespace txconv
