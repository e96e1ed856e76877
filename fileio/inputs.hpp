#pragma once

#include "fileio/failure.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace txconv {

// The output's name: the input's path with everything after the last '.' of
// its file name replaced by extension, or ".extension" added when the file
// name has no '.'. Where the file name starts is the platform's rule.
path_string output_name_for(const path_string& path, std::string_view extension);

// The same with ".extension" added to the whole name, whatever it ends in.
path_string output_name_beside(const path_string& path, std::string_view extension);

// An input being read: the file, what it is, and which file it is, so that
// no output is ever written into it.
struct input_file {
    native_file file;
    subject about;
    std::optional<file_identity> identity;
    // The length of a regular file.
    std::optional<std::uint64_t> size;
    // Who may read and write it, for what is made from it.
    std::uint32_t permissions = 0666;
    // Where standard input stood when it was opened: its start.
    std::uint64_t start = 0;
};

// Opens the file at path to convert.
file_expected<input_file> open_input(const path_string& path);

// The same for standard input, which may be a pipe or a terminal as well;
// one that was closed when the process started is not read.
file_expected<input_file> open_standard_input();

// Fills into from the input, and gives the bytes it got. Less than
// into.size() arrives only at the end of the file, so the caller's buffer
// bounds the memory a read takes.
file_expected<std::size_t> read_chunk(input_file& input, std::span<char> into);

// Moves to offset of a regular file, so that what lies before it is not read.
file_expected<> skip_to(input_file& input, std::uint64_t offset);

// Closes an input that has been read to the end.
file_expected<> close_input(input_file& input);

} // namespace txconv
