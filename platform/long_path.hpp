#pragma once

#include <string>
#include <string_view>

namespace txconv {

// The absolute, extended-length form of a Windows path, which the file
// system takes at any length: "\\?\C:\dir\name" or "\\?\UNC\server\share\name".
// current is the current folder. Forward slashes become backslashes, "." and
// ".." are resolved (never above the root), and the trailing dots and spaces
// that Windows drops from a name are dropped, since the extended form would
// keep them. A path that already has the "\\?\" or "\\.\" form is left alone.
std::wstring extended_path(std::wstring_view path, std::wstring_view current);

} // namespace txconv
