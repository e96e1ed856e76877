#pragma once

// Writing to files that exist, and to standard output: the stager's own
// business, not for the layers above.

#include "fileio/outputs.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace txconv {

// Writes all of data, in steps of at most WRITE_CHUNK bytes.
io_expected<> write_all(native_file& file, std::span<const char> data);

// A failure to write the output about, for the reason cause.
inline failure cannot_write(const subject& about, io_error cause, std::optional<io_error> undo = std::nullopt)
{
    return {.kind = failure_kind::cannot_write, .about = about, .cause = cause, .undo = undo};
}

// Adds data behind length bytes of a locked file, durably; on any failure
// cuts the file back to length.
file_expected<> append_locked(native_file& file, const subject& about, std::uint64_t length,
                              std::span<const char> data);

// Adds data to the end of the regular file at path, under its lock, and
// durably; on any failure the file is cut back to its old length. Fails with
// a cause of missing when nothing is at path, so that the caller can make
// the file instead.
output_outcome append_existing(const path_string& path, std::span<const char> data,
                               std::span<const file_identity> inputs, const lock_patience& patience);

// Writes data to standard output, and where that is a regular file, syncs
// it, unless that file is an input (txconv -2 -o - t.tx >> t.tx).
output_outcome write_standard_output(std::span<const char> data, std::span<const file_identity> inputs);

// Writes data to what the user named at path that is not a regular file: a
// device, a FIFO or a terminal, as a stream, with no step to undo or sync.
output_outcome write_stream(const path_string& path, std::span<const char> data);

// Whether the file is one of inputs.
inline bool is_one_of(const file_identity& file, std::span<const file_identity> inputs)
{
    return std::find(inputs.begin(), inputs.end(), file) != inputs.end();
}

// Tries attempt until it is not busy, for as long as patience allows, saying
// once that it waits, and gives the last attempt's result. A failure only
// where it gave up.
template <class Attempt>
auto wait_while_busy(const subject& about, const lock_patience& patience, Attempt attempt)
    -> std::expected<decltype(attempt()), failure>
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto pause = std::chrono::milliseconds(1);
    bool said = false;
    for (auto result = attempt();; result = attempt()) {
        if (result || !result.error().is(io_reason::busy)) {
            return result;
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

// Takes the lock of file, waiting for another program that holds it.
file_expected<> wait_for_lock(native_file& file, const subject& about, const lock_patience& patience);

} // namespace txconv
