#pragma once

#include "platform/io_result.hpp"
#include "platform/native_file.hpp"

#include <cstdint>
#include <optional>
#include <utility>

namespace txconv {

// What went wrong with one file. Only kinds and numbers: the words for them,
// and the notice each one gets, belong to whoever tells the user.
enum class failure_kind : std::uint8_t {
    // Made by reading and writing files.
    cannot_read,   // the input could not be opened, read or closed (cause)
    cannot_write,  // a step of writing the output failed (cause; undo: cutting it back failed too)
    same_file,     // the output would be the input it is made from
    exists,        // the output's name is taken, and it was to be made new
    lock_timeout,  // another program kept the output locked (count: milliseconds waited)
    name_unsteady, // the output's name kept vanishing or appearing while it was made
    shared_output, // the output (other_output) is that of an earlier input (other) too
    // Made from what a conversion found in the input.
    short_table,        // fewer bytes than one table (count: bytes)
    not_as_written,     // a strict check found the input not in the form txconv writes
    binary_to_terminal, // a table would go to a terminal
    no_such_image,      // the table asked for (line) is beyond what the file holds (count)
};

struct failure {
    failure() = default;
    failure(failure_kind kind_, path_string path_, io_result cause_ = {}, io_result undo_ = {}, std::uint64_t line_ = 0,
            std::uint64_t count_ = 0, path_string other_output_ = {}, path_string other_ = {})
        : kind(kind_), path(std::move(path_)), cause(cause_), undo(undo_), line(line_), count(count_),
          other_output(std::move(other_output_)), other(std::move(other_))
    {
    }

    failure_kind kind = failure_kind::cannot_read;
    // The file it is about; "-" for a standard stream.
    path_string path;
    io_result cause;
    io_result undo;
    std::uint64_t line = 0; // where a line applies, counted from 1
    std::uint64_t count = 0;
    // Where two files meet: the output they share, and the other file.
    path_string other_output;
    path_string other;
};

using maybe_failure = std::optional<failure>;

} // namespace txconv
