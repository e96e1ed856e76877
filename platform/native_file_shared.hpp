#pragma once

// Helpers that both platforms' file layers share; not for the layers above.

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// What ends a folder name in a path: '/' on POSIX, '\\' and '/' on Windows.
extern const std::basic_string_view<path_char> SEPARATORS;

// How many leading characters of path name its folder, separator included.
std::size_t folder_length(const path_string& path);

// A fresh hidden name in the folder of path, for a file on its way there.
path_string temporary_name_beside(const path_string& path);

} // namespace txconv
