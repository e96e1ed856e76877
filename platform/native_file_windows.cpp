#include "platform/long_path.hpp"
#include "platform/native_file.hpp"
#include "platform/native_file_shared.hpp"
#include "platform/utf16_windows.hpp"

#include <utility>

#include <windows.h>

namespace txconv {

const std::basic_string_view<path_char> SEPARATORS = L"\\/";

namespace {

os_error describe(DWORD code)
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

os_error last_error()
{
    return describe(::GetLastError());
}

HANDLE as_handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// Keeps one syscall's worth of bytes inside what a DWORD can count.
DWORD clamp(std::size_t count)
{
    constexpr std::size_t most = 1U << 30U;
    return static_cast<DWORD>(count < most ? count : most);
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Every path goes to the system in its extended form, so that no length
// limit applies; the user still sees the path as given.
std::wstring system_path(const path_string& path)
{
    std::wstring current(MAX_PATH, L'\0');
    DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (length >= current.size()) {
        current.resize(length);
        length = ::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    }
    if (length == 0 || length >= current.size()) {
        return path;
    }
    current.resize(length);
    return extended_path(path, current);
}

HANDLE open_path(const path_string& path, DWORD access, DWORD disposition, DWORD flags)
{
    return ::CreateFileW(system_path(path).c_str(), access, share_all, nullptr, disposition, flags, nullptr);
}

struct handle_facts {
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular = false;
    // A symbolic link or a junction: a name that stands for another. Other
    // reparse points, such as cloud files that are not downloaded yet, are
    // files in their own right.
    bool link = false;
};

os_error facts_of(HANDLE file, handle_facts& facts)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        // A pipe, a console or a device: not a file, and nothing more to know.
        return {};
    }
    if (!::GetFileInformationByHandle(file, &facts.info)) {
        return last_error();
    }
    const DWORD attributes = facts.info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
        facts.link = IsReparseTagNameSurrogate(tag.ReparseTag);
    }
    facts.regular = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return {};
}

file_identity identity_of(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32U) | info.nFileIndexLow};
}

// Opens the file at path itself, never what a link there points to, and only
// a regular file. Returns INVALID_HANDLE_VALUE with reason set otherwise.
HANDLE open_unlinked(const path_string& path, DWORD access, os_error& reason, bool& missing)
{
    const HANDLE file = open_path(path, access, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        missing = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        reason = last_error();
        return file;
    }
    handle_facts facts;
    reason = facts_of(file, facts);
    if (reason.empty() && facts.link) {
        reason = REASON_SYMLINK;
    } else if (reason.empty() && !facts.regular) {
        reason = REASON_NOT_REGULAR;
    }
    if (!reason.empty()) {
        ::CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    if ((facts.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return file;
    }
    // A reparse point that is not a link: open it properly, so that its
    // driver does its work, and make sure it is still the same file.
    const HANDLE proper = open_path(path, access, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    handle_facts again;
    reason = proper == INVALID_HANDLE_VALUE ? last_error() : facts_of(proper, again);
    ::CloseHandle(file);
    if (reason.empty() && identity_of(again.info) != identity_of(facts.info)) {
        reason = "was replaced while it was opened";
    }
    if (!reason.empty() && proper != INVALID_HANDLE_VALUE) {
        ::CloseHandle(proper);
        return INVALID_HANDLE_VALUE;
    }
    return proper;
}

// Deletes the file behind an open handle that was opened with DELETE access:
// the file itself goes, whatever its name points to by now.
os_error delete_by_handle(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) ? os_error{}
                                                                                                     : last_error();
}

} // namespace

std::string display_path(const path_string& path)
{
    return narrow(path);
}

os_error inspect_path(const path_string& path, path_kind& kind, file_identity& identity)
{
    const HANDLE file = open_path(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        kind = path_kind::missing;
        return code == ERROR_FILE_NOT_FOUND ? os_error{} : describe(code);
    }
    handle_facts facts;
    os_error reason = facts_of(file, facts);
    ::CloseHandle(file);
    identity = identity_of(facts.info);
    kind = facts.link ? path_kind::symlink : facts.regular ? path_kind::regular : path_kind::other;
    return reason;
}

os_error sync_folder(const path_string&)
{
    // Names are made with MOVEFILE_WRITE_THROUGH, which returns only once
    // the move is on the disk; Windows offers no flush of a folder as such.
    return {};
}

os_error sync_together(std::span<native_file* const>, bool& synced)
{
    // Windows can flush a whole volume only for an administrator, so each
    // file's FlushFileBuffers does the work.
    synced = false;
    return {};
}

std::size_t open_files_to_spare()
{
    // Handles are limited only by memory.
    return 1024;
}

native_file native_file::standard_input()
{
    native_file file;
    file.handle_ = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_INPUT_HANDLE));
    file.borrowed_ = true;
    return file;
}

native_file native_file::standard_output()
{
    native_file file;
    file.handle_ = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_OUTPUT_HANDLE));
    file.borrowed_ = true;
    return file;
}

void native_file::release() noexcept
{
    if (handle_ != -1 && !borrowed_) {
        if (!temporary_.empty()) {
            (void)delete_by_handle(as_handle(handle_));
        }
        ::CloseHandle(as_handle(handle_));
    }
    handle_ = -1;
    temporary_.clear();
}

os_error native_file::open_for_reading(const path_string& path, file_status& status)
{
    release();
    const HANDLE file = open_path(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        return last_error();
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    os_error reason = this->status(status);
    if (reason.empty() && !status.regular) {
        reason = REASON_NOT_REGULAR;
    }
    if (!reason.empty()) {
        release();
    }
    return reason;
}

os_error native_file::open_for_appending(const path_string& path, bool& missing)
{
    release();
    // Only what an append needs: no DELETE, so that a program that shares the
    // file for reading and writing does not lock us out.
    os_error reason;
    missing = false;
    const HANDLE file = open_unlinked(path, GENERIC_WRITE, reason, missing);
    if (file == INVALID_HANDLE_VALUE) {
        return reason;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return {};
}

os_error native_file::create_unnamed(const path_string& beside)
{
    release();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_string name = temporary_name_beside(beside);
        // DELETE, so that a file that never gets its name can be removed
        // through this handle rather than by a name somebody may have reused.
        const HANDLE file = open_path(name, GENERIC_WRITE | DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(file);
            temporary_ = std::move(name);
            return {};
        }
        if (::GetLastError() != ERROR_FILE_EXISTS) {
            return last_error();
        }
    }
    return "no free temporary name in its folder";
}

os_error native_file::publish(const path_string& path, bool replace, bool& taken)
{
    taken = false;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(system_path(temporary_).c_str(), system_path(path).c_str(), flags)) {
        temporary_.clear();
        return {};
    }
    const DWORD code = ::GetLastError();
    taken = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS;
    return describe(code);
}

os_error native_file::unpublish(const path_string&)
{
    return delete_by_handle(as_handle(handle_));
}

lock_attempt native_file::try_lock(os_error& reason)
{
    OVERLAPPED whole{};
    if (::LockFileEx(as_handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                     &whole)) {
        return lock_attempt::taken;
    }
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
        return lock_attempt::busy;
    }
    reason = describe(code);
    return lock_attempt::failed;
}

os_error native_file::read_some(std::span<char> into, std::size_t& got)
{
    DWORD n = 0;
    got = 0;
    if (!::ReadFile(as_handle(handle_), into.data(), clamp(into.size()), &n, nullptr)) {
        // A pipe whose writer has gone is at its end.
        return ::GetLastError() == ERROR_BROKEN_PIPE ? os_error{} : last_error();
    }
    got = n;
    return {};
}

os_error native_file::write_some(std::span<const char> from, std::size_t& put)
{
    // Every write lands at the current end of the file, as on POSIX with
    // O_APPEND; the file is locked while we write, so the end stays ours.
    const HANDLE file = as_handle(handle_);
    const LARGE_INTEGER none{};
    DWORD n = 0;
    put = 0;
    if (::GetFileType(file) == FILE_TYPE_DISK && !::SetFilePointerEx(file, none, nullptr, FILE_END)) {
        return last_error();
    }
    if (!::WriteFile(file, from.data(), clamp(from.size()), &n, nullptr)) {
        return last_error();
    }
    put = n;
    return {};
}

os_error native_file::status(file_status& status) const
{
    handle_facts facts;
    FILE_STANDARD_INFO standard{};
    if (os_error reason = facts_of(as_handle(handle_), facts); !reason.empty()) {
        return reason;
    }
    if (facts.regular && !::GetFileInformationByHandleEx(as_handle(handle_), FileStandardInfo, &standard,
                                                         sizeof standard)) {
        return last_error();
    }
    status.identity = identity_of(facts.info);
    status.size = (std::uint64_t{facts.info.nFileSizeHigh} << 32U) | facts.info.nFileSizeLow;
    status.regular = facts.regular;
    status.removed = standard.DeletePending != FALSE;
    return {};
}

os_error native_file::truncate(std::uint64_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(as_handle(handle_), FileEndOfFileInfo, &end, sizeof end) ? os_error{}
                                                                                                 : last_error();
}

os_error native_file::sync()
{
    return ::FlushFileBuffers(as_handle(handle_)) ? os_error{} : last_error();
}

os_error native_file::close()
{
    if (borrowed_) {
        handle_ = -1;
        return {};
    }
    if (!temporary_.empty()) {
        (void)delete_by_handle(as_handle(handle_));
        temporary_.clear();
    }
    return ::CloseHandle(as_handle(std::exchange(handle_, -1))) ? os_error{} : last_error();
}

} // namespace txconv
