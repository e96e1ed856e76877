// Where files get their names on Windows: looking at a name, new files
// written under a hidden one and moved to theirs once whole.
#include "platform/long_path.hpp"
#include "platform/native_file.hpp"
#include "platform/native_file_shared.hpp"
#include "platform/utf16_windows.hpp"
#include "platform/windows_shared.hpp"

#include <utility>

namespace txconv {

const std::basic_string_view<path_char> SEPARATORS = L"\\/";

std::string system_message(std::uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"system error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' ||
                                message.back() == L'\x3002' || message.back() == L' ')) {
        message.pop_back();
    }
    return narrow(message);
}

std::string display_path(const path_string& path)
{
    return narrow(path);
}

io_result inspect_path(const path_string& path, path_kind& kind, file_identity& identity, bool follow)
{
    const DWORD flags = (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT) | FILE_FLAG_BACKUP_SEMANTICS;
    const HANDLE file = open_path(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, flags);
    if (file == INVALID_HANDLE_VALUE) {
        const io_result failed = from_last_error();
        kind = path_kind::missing;
        return failed.is(io_reason::missing) ? io_ok : failed;
    }
    handle_facts facts;
    const io_result looked = facts_of(file, facts);
    ::CloseHandle(file);
    identity = identity_of(facts);
    kind = facts.link ? path_kind::symlink : facts.regular ? path_kind::regular : path_kind::other;
    return looked;
}

path_string resolve_links(const path_string& path)
{
    // Moving a file onto a link's name replaces the link itself on Windows
    // as well; links there are rare enough to be left at that.
    return path;
}

io_result sync_folder(const path_string&)
{
    // Names are made with MOVEFILE_WRITE_THROUGH, which returns only once
    // the move is on the disk; Windows offers no flush of a folder as such.
    return io_ok;
}

bool syncs_file_systems()
{
    // Windows can flush a whole volume only for an administrator, so each
    // file's FlushFileBuffers does the work.
    return false;
}

io_result sync_file_systems(std::span<native_file* const>)
{
    return io_ok;
}

std::size_t open_files_to_spare()
{
    // Handles are limited only by memory.
    return 1024;
}

io_result native_file::create_unnamed(const path_string& beside, std::uint32_t)
{
    release();
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        path_string name = temporary_name_beside(beside);
        // DELETE, so that a file that never gets its name can be removed
        // through this handle rather than by a name somebody may have reused.
        const HANDLE file = open_path(name, GENERIC_WRITE | DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(file);
            temporary_ = std::move(name);
            return io_ok;
        }
        if (const io_result failed = from_last_error(); !failed.is(io_reason::exists)) {
            return failed;
        }
    }
    return from_code(ERROR_FILE_EXISTS);
}

io_result native_file::publish(const path_string& path, bool replace)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(system_path(temporary_).c_str(), system_path(path).c_str(), flags)) {
        temporary_.clear();
        return io_ok;
    }
    // A file that another program holds open cannot be replaced until it
    // lets go: access denied, or a sharing violation.
    const DWORD code = ::GetLastError();
    return replace && code == ERROR_ACCESS_DENIED ? io_result{io_reason::busy, code} : from_code(code);
}

io_result native_file::adopt_permissions_of(const path_string& old)
{
    // The attributes that say who sees the file and how it is kept; the
    // rest Windows sets for itself.
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes = ::GetFileAttributesW(system_path(old).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return from_last_error();
    }
    // Windows will not move a file over a read-only one, and Wine would
    // clear the flag: either way it was meant to stay.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return {io_reason::read_only};
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & kept) != 0 ? attributes & kept : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(as_handle(handle_), FileBasicInfo, &basic, sizeof basic) ? io_ok
                                                                                                 : from_last_error();
}

io_result native_file::unpublish(const path_string&)
{
    return delete_by_handle(as_handle(handle_));
}

} // namespace txconv
