#pragma once

// Writing to files that exist, and to standard output: the stager's own
// business, not for the layers above.

#include "fileio/outputs.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

namespace txconv {

// Writes all of data, in steps of at most WRITE_CHUNK bytes.
io_result write_all(native_file& file, std::span<const char> data);

// Adds data to the end of the regular file at path, under its lock, and
// durably; on any failure the file is cut back to its old length. Fails with
// a cause of missing when nothing is at path, so that the caller can make
// the file instead.
output_outcome append_existing(const path_string& path, std::span<const char> data,
                               const std::optional<file_identity>& input, const lock_patience& patience);

// Writes data to standard output, and syncs it where that is a regular file,
// unless that file is the input (txconv -2 -o - t.tx >> t.tx).
output_outcome write_standard_output(std::span<const char> data, const std::optional<file_identity>& input);

// Writes data to what the user named at path that is not a regular file: a
// device, a FIFO or a terminal, as a stream, with no step to undo or sync.
output_outcome write_stream(const path_string& path, std::span<const char> data);

// Tries attempt until it is not busy, for as long as patience allows, saying
// once that it waits; result is the last attempt's. A failure only where it
// gave up.
template <class Attempt>
maybe_failure wait_while_busy(const path_string& path, const lock_patience& patience, Attempt attempt,
                              io_result& result)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto pause = std::chrono::milliseconds(1);
    bool said = false;
    for (result = attempt(); result.is(io_reason::busy); result = attempt()) {
        const auto waited = clock::now() - start;
        if (waited >= patience.give_up_after) {
            return failure{failure_kind::lock_timeout,
                           path,
                           {},
                           {},
                           0,
                           static_cast<std::uint64_t>(patience.give_up_after.count())};
        }
        if (!said && waited >= patience.say_after && patience.on_wait != nullptr) {
            patience.on_wait(path);
            said = true;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

// Takes the lock of file, waiting for another program that holds it.
maybe_failure wait_for_lock(native_file& file, const path_string& path, const lock_patience& patience);

} // namespace txconv
