// Where files get their names on Windows: looking at a name, new files
// written under a hidden one and moved to theirs once whole.
#include "platform/native_file.hpp"
#include "platform/windows_name_rules.hpp"
#include "platform/windows_shared.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace txconv {

std::size_t file_name_start(const path_string& path)
{
    const auto cut = path.find_last_of(L"\\/");
    return cut == path_string::npos ? 0 : cut + 1;
}

std::string system_message(std::uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"system error " + std::to_wstring(code);
    ::LocalFree(text);
    message.erase(message.find_last_not_of(L"\n\r.\x3002 ") + 1);
    return narrow(message);
}

std::string display_path(const path_string& path)
{
    return narrow(path);
}

io_expected<path_facts> inspect_path(const path_string& path, bool follow)
{
    const DWORD flags = (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT) | FILE_FLAG_BACKUP_SEMANTICS;
    const HANDLE file = open_path(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, flags);
    if (file == INVALID_HANDLE_VALUE) {
        const auto failed = from_last_error();
        return failed.error().is(io_reason::missing) ? io_expected<path_facts>{} : failed;
    }
    const io_expected<handle_facts> facts = facts_of(file);
    ::CloseHandle(file);
    if (!facts) {
        return std::unexpected(facts.error());
    }
    return path_facts{facts->link      ? path_kind::symlink
                      : facts->regular ? path_kind::regular
                                       : path_kind::other,
                      facts->identity, facts->changed};
}

std::optional<standard_stream> standard_stream_behind(const path_string&)
{
    // Windows has no links that lead to a process's own streams.
    return std::nullopt;
}

path_string resolve_links(const path_string& path)
{
    // Moving a file onto a link's name replaces the link itself on Windows
    // as well; links there are rare enough to be left at that.
    return path;
}

io_expected<> sync_folder(const path_string&)
{
    // Windows offers no flush of a folder as such: each new name is made
    // durable by a flush of its file right after the rename, whose failure
    // takes the name back (see publish()).
    return {};
}

bool syncs_file_systems()
{
    // Windows can flush a whole volume only for an administrator, so each
    // file's FlushFileBuffers does the work.
    return false;
}

io_expected<> sync_file_system_of(const native_file&)
{
    return {};
}

std::size_t open_files_to_spare()
{
    // Handles are limited only by memory.
    return 1024;
}

namespace {

// The one temporary whose mark is cleared, in the instant before it takes
// its name: a Ctrl-C, Ctrl-Break or closed console then marks it again.
HANDLE volatile unmarked = nullptr;

BOOL WINAPI on_console_event(DWORD)
{
    if (const HANDLE file = unmarked; file != nullptr) {
        (void)mark_for_deletion(file, true);
    }
    return FALSE;
}

// Gives the file behind file the name path, through the handle itself, and
// where flush says, makes the new name durable.
io_expected<> rename_by_handle(HANDLE file, const path_string& path, bool flush = true)
{
    const std::wstring target = system_path(path);
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(bytes, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, target.data(), target.size() * sizeof(wchar_t));
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(bytes))) {
        return from_last_error();
    }
    // The bytes were flushed before; this makes the new name follow them to
    // the disk, and a name that may not survive a power cut is no success.
    return flush ? unless_failed(::FlushFileBuffers(file)) : io_expected<>{};
}

// Gives a file from create_unnamed() the name path, which must be free. It
// is kept from deletion only while it takes its name; where the name was
// given but could not be made durable, the file goes with it when closed.
io_expected<> name_unnamed(HANDLE file, const path_string& path)
{
    unmarked = file;
    const io_expected<> named = in_turn(mark_for_deletion(file, false), [&] { return rename_by_handle(file, path); });
    unmarked = nullptr;
    if (!named) {
        (void)mark_for_deletion(file, true);
    }
    return named;
}

} // namespace

io_expected<> native_file::create_unnamed(const path_string& beside, std::uint32_t)
{
    release();
    static const BOOL handled = ::SetConsoleCtrlHandler(on_console_event, TRUE);
    (void)handled;
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        path_string name = temporary_name_beside(beside);
        // Hidden, kept in memory where it can be, and marked for deletion at
        // once through its own handle: until it has its name, nothing of it
        // survives the process, however the process ends.
        const HANDLE file =
            open_path(name, GENERIC_WRITE | DELETE, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(file);
            temporary_ = std::move(name);
            return mark_for_deletion(file, true);
        }
        if (const auto failed = from_last_error(); !failed.error().is(io_reason::exists)) {
            return failed;
        }
    }
    return from_code(ERROR_FILE_EXISTS);
}

io_expected<> native_file::publish(const path_string& path)
{
    // Out of hiding first, said outright: FAT and Wine keep the hidden
    // attribute but not the temporary one, so what is left tells nothing.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    const io_expected<> named =
        in_turn(unless_failed(::SetFileInformationByHandle(as_handle(handle_), FileBasicInfo, &basic, sizeof basic)),
                [&] { return name_unnamed(as_handle(handle_), path); });
    if (named) {
        temporary_.clear();
    }
    return named;
}

io_expected<> native_file::replace(const path_string& path, const path_facts& old)
{
    // What stands at path, opened so that it can be moved by its handle: it
    // is checked, moved aside, and deleted only once ours has its name.
    const HANDLE theirs = open_path(path, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (theirs == INVALID_HANDLE_VALUE) {
        const auto failed = from_last_error();
        // A program that holds the file without sharing its deletion is
        // waited for, as for a lock.
        return failed.error().code == ERROR_ACCESS_DENIED ? io_failed(io_reason::busy, ERROR_ACCESS_DENIED)
               : failed.error().is(io_reason::missing)    ? publish(path)
                                                          : failed;
    }
    const io_expected<handle_facts> facts = facts_of(theirs);
    io_expected<> done = !facts ? std::unexpected(facts.error())
                         : facts->identity != old.identity || facts->changed != old.changed
                             ? io_failed(io_reason::changed)
                             : rename_by_handle(theirs, temporary_name_beside(path), false);
    // Ours has taken on the old file's attributes: named as it is.
    if (done) {
        done = name_unnamed(as_handle(handle_), path);
        if (!done) {
            // Ours gives the name up as it closes; theirs takes it back.
            release();
            (void)rename_by_handle(theirs, path, false);
        } else {
            temporary_.clear();
            (void)mark_for_deletion(theirs, true);
        }
    }
    ::CloseHandle(theirs);
    return done;
}

io_expected<> native_file::adopt_permissions_of(const path_string& old)
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
        return io_failed(io_reason::read_only);
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & kept) != 0 ? attributes & kept : FILE_ATTRIBUTE_NORMAL;
    return unless_failed(::SetFileInformationByHandle(as_handle(handle_), FileBasicInfo, &basic, sizeof basic));
}

io_expected<> native_file::unpublish(const path_string&)
{
    return mark_for_deletion(as_handle(handle_), true);
}

io_expected<> check_name(const path_string& path, bool output_named_by_user)
{
    return names_a_stream(path)                                     ? io_failed(io_reason::stream_name)
           : !output_named_by_user && is_reserved_device_name(path) ? io_failed(io_reason::device_name)
                                                                    : io_expected<>();
}

path_string name_as_opened(const path_string& path)
{
    return as_windows_opens(path);
}

void expand_wildcards(std::vector<path_string>& arguments)
{
    std::vector<path_string> files;
    for (const path_string& argument : arguments) {
        const std::size_t folder = file_name_start(argument);
        const bool wild = argument.find_first_of(L"*?", folder) != path_string::npos;
        if (!wild || ::GetFileAttributesW(system_path(argument).c_str()) != INVALID_FILE_ATTRIBUTES) {
            files.push_back(argument);
            continue;
        }
        std::vector<path_string> matched;
        WIN32_FIND_DATAW found{};
        const HANDLE search =
            ::FindFirstFileExW(argument.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    matched.push_back(argument.substr(0, folder) + found.cFileName);
                }
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        std::sort(matched.begin(), matched.end());
        if (matched.empty()) {
            files.push_back(argument);
        }
        files.insert(files.end(), matched.begin(), matched.end());
    }
    arguments = std::move(files);
}

bool slash_options()
{
    return true;
}

} // namespace txconv
