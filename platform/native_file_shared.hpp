#pragma once

// Helpers that both platforms' file layers share; not for the layers above.

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// What ends a folder name in a path: '/' on POSIX, '\\' and '/' on Windows.
extern const std::basic_string_view<path_char> SEPARATORS;

// A fresh hidden name in the folder of path, for a file on its way there.
path_string temporary_name_beside(const path_string& path);

} // namespace txconv
