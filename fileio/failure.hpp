#pragma once

#include "platform/io_error.hpp"
#include "platform/native_file.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>

namespace txconv {

// What went wrong with one file as it was read or written. Only kinds and
// facts: the words for them, and the notice each one gets, belong to
// whoever tells the user.
enum class failure_kind : std::uint8_t {
    cannot_read,        // the input could not be opened, read or closed (cause)
    cannot_write,       // a step of writing the output failed (cause; undo where cutting it back failed too)
    same_file,          // the output would be the input it is made from
    exists,             // the output's name is taken, and it was to be made new
    lock_timeout,       // another program kept the output locked (waited)
    name_kept_changing, // the output's name kept vanishing or appearing while it was made
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
    std::optional<io_error> cause;
    // Where the cause lies when it is not the file itself: the folder that
    // would hold a new output.
    path_string cause_in;
    std::optional<io_error> undo;
    std::chrono::milliseconds waited{};
};

// A value, or the failure that keeps it from being.
template <class T = void> using file_expected = std::expected<T, failure>;

} // namespace txconv
