#pragma once

// Helpers that the Windows files of this layer share; not for the layers
// above.

#include "platform/native_file.hpp"

#include <string_view>

#include <windows.h>

namespace txconv {

// Windows speaks UTF-16; the rest of the program speaks UTF-8.
std::string narrow(std::wstring_view text);
std::wstring widen(std::string_view text);

inline std::unexpected<io_error> from_code(DWORD code)
{
    // A sharing or lock violation is another program that holds the file:
    // worth waiting for, as for a lock.
    const io_reason reason = code == ERROR_FILE_NOT_FOUND                                      ? io_reason::missing
                             : code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS       ? io_reason::exists
                             : code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ? io_reason::busy
                                                                                               : io_reason::system;
    return io_failed(reason, code);
}

inline std::unexpected<io_error> from_last_error()
{
    return from_code(::GetLastError());
}

// Nothing from a call that reports FALSE and GetLastError() on failure.
inline io_expected<> unless_failed(BOOL done)
{
    return done ? io_expected<>() : io_expected<>(from_last_error());
}

inline HANDLE as_handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

inline constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens path in its extended form, so that no length limit applies, sharing
// it with every other program.
HANDLE open_path(const path_string& path, DWORD access, DWORD disposition, DWORD flags);

// The extended form of path, which the file system takes at any length.
std::wstring system_path(const path_string& path);

// Marks the file behind a handle opened with DELETE access to be deleted,
// or not, when its last handle closes, however the process ends: the file
// itself goes, whatever its name points to by now.
io_expected<> mark_for_deletion(HANDLE file, bool deleted);

struct handle_facts {
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular = false;
    // A symbolic link or a junction: a name that stands for another. Other
    // reparse points, such as cloud files that are not downloaded yet, are
    // files in their own right.
    bool link = false;
    // The 128-bit file id where the volume gives one, else the 64-bit index.
    file_identity identity;
    // When the file was last written: a file that takes a freed number, as
    // Wine's may, still differs from the one that had it.
    std::int64_t changed = 0;
};

io_expected<handle_facts> facts_of(HANDLE file);

} // namespace txconv
