#pragma once

#include "fileio/failure.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace txconv {

// The output's name: the input's path with everything after the last '.' of
// its file name replaced by extension, or ".extension" added when the file
// name has no '.'. Both '/' and '\\' end a folder name.
path_string output_name_for(const path_string& path, std::string_view extension);

// An input being read: the file, its name, and which file it is, so that no
// output is ever written into it.
struct input_file {
    native_file file;
    path_string path;
    std::optional<file_identity> identity;
    // The length of a regular file.
    std::optional<std::uint64_t> size;
    // Who may read and write it, for what is made from it.
    std::uint32_t permissions = 0666;
};

// How many characters of path its file name takes, behind the last folder.
std::size_t output_name_length(const path_string& path);

// Opens the file at path to convert.
maybe_failure open_input(const path_string& path, input_file& input);

// The same for standard input, which may be a pipe or a terminal as well.
maybe_failure open_standard_input(input_file& input);

// Fills into from the input. Less than into.size() arrives only at the end
// of the file, so the caller's buffer bounds the memory a read takes.
maybe_failure read_chunk(input_file& input, std::span<char> into, std::size_t& got);

// Closes an input that has been read to the end.
maybe_failure close_input(input_file& input);

} // namespace txconv
