#pragma once

// How Windows reads a path's last part, written out as plain functions of
// strings so that the tests can try them on any system: the extended form,
// device names, stream parts, trailing dots and spaces.

#include <string>
#include <string_view>

namespace txconv {

// The extended-length form of a full Windows path, as GetFullPathNameW gives
// it, which the file system takes at any length: "\\?\C:\dir\name" or
// "\\?\UNC\server\share\name". A path that already has the "\\?\" or
// "\\.\" form (a device, such as \\.\NUL) is left alone.
std::wstring extended_form(std::wstring_view full);

// Rules of Windows names that Windows applies itself but that the extended
// form would switch off, so txconv applies them. They look at the last part
// of a path only, as Windows does.

// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case, with or
// without an extension: names Windows takes for devices.
bool is_reserved_device_name(std::wstring_view path);

// A name with a stream part, such as "t.txt:s".
bool names_a_stream(std::wstring_view path);

// The name Windows opens for path: trailing dots and spaces of its last
// part dropped ("e.tx." opens "e.tx").
std::wstring as_windows_opens(std::wstring_view path);

} // namespace txconv
