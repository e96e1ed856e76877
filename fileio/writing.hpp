#pragma once

// Writing to files that exist, and to standard output: the stager's own
// business, not for the layers above.

#include "fileio/outputs.hpp"

#include <functional>

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
maybe_failure wait_while_busy(const path_string& path, const lock_patience& patience,
                              const std::function<io_result()>& attempt, io_result& result);

// Takes the lock of file, waiting for another program that holds it.
maybe_failure wait_for_lock(native_file& file, const path_string& path, const lock_patience& patience);

} // namespace txconv
