#include "platform/native_file.hpp"
#include "platform/native_file_shared.hpp"
#include "platform/windows_shared.hpp"

#include <utility>

namespace txconv {

namespace {

// Keeps one syscall's worth of bytes inside what a DWORD can count.
DWORD clamp(std::size_t count)
{
    constexpr std::size_t most = 1U << 30U;
    return static_cast<DWORD>(count < most ? count : most);
}

// Opens the file at path itself, never what a link there points to, and only
// a regular file. Returns INVALID_HANDLE_VALUE with result set otherwise.
HANDLE open_unlinked(const path_string& path, DWORD access, io_result& result)
{
    const HANDLE file = open_path(path, access, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        result = from_last_error();
        return file;
    }
    handle_facts facts;
    result = facts_of(file, facts);
    if (result.ok() && facts.link) {
        result = {io_reason::symlink};
    } else if (result.ok() && !facts.regular) {
        result = {io_reason::not_regular};
    }
    if (!result.ok()) {
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
    result = proper == INVALID_HANDLE_VALUE ? from_last_error() : facts_of(proper, again);
    ::CloseHandle(file);
    if (result.ok() && identity_of(again) != identity_of(facts)) {
        result = {io_reason::not_regular};
    }
    if (!result.ok() && proper != INVALID_HANDLE_VALUE) {
        ::CloseHandle(proper);
        return INVALID_HANDLE_VALUE;
    }
    return proper;
}

} // namespace

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

io_result native_file::open_for_reading(const path_string& path, file_status& status)
{
    release();
    const HANDLE file = open_path(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder cannot be opened as a file at all: say so, not "access
        // denied".
        const io_result failed = from_last_error();
        const DWORD attributes = ::GetFileAttributesW(system_path(path).c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return folder ? io_result{io_reason::folder} : failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    io_result result = this->status(status);
    if (result.ok() && !status.regular) {
        result = {io_reason::not_regular};
    }
    if (!result.ok()) {
        release();
    }
    return result;
}

io_result native_file::open_for_appending(const path_string& path, bool follow)
{
    release();
    // Only what an append needs: no DELETE, so that a program that shares the
    // file for reading and writing does not lock us out.
    io_result result;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (follow) {
        file = open_path(path, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        result = file == INVALID_HANDLE_VALUE ? from_last_error() : io_ok;
    } else {
        file = open_unlinked(path, GENERIC_WRITE, result);
    }
    if (file != INVALID_HANDLE_VALUE) {
        handle_ = reinterpret_cast<std::intptr_t>(file);
    }
    return result;
}

io_result native_file::open_stream(const path_string& path)
{
    release();
    const HANDLE file = open_path(path, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        return from_last_error();
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return io_ok;
}

io_result native_file::position(std::uint64_t& at) const
{
    const LARGE_INTEGER none{};
    LARGE_INTEGER now{};
    if (!::SetFilePointerEx(as_handle(handle_), none, &now, FILE_CURRENT)) {
        return from_last_error();
    }
    at = static_cast<std::uint64_t>(now.QuadPart);
    return io_ok;
}

io_result native_file::try_lock()
{
    OVERLAPPED whole{};
    if (::LockFileEx(as_handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                     &whole)) {
        return io_ok;
    }
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) {
        return {io_reason::busy, code};
    }
    return from_code(code);
}

io_result native_file::read_some(std::span<char> into, std::size_t& got)
{
    DWORD n = 0;
    got = 0;
    if (!::ReadFile(as_handle(handle_), into.data(), clamp(into.size()), &n, nullptr)) {
        // A pipe whose writer has gone is at its end.
        return ::GetLastError() == ERROR_BROKEN_PIPE ? io_ok : from_last_error();
    }
    got = n;
    return io_ok;
}

io_result native_file::write_some(std::span<const char> from, std::size_t& put)
{
    // Every write lands at the current end of the file, as on POSIX with
    // O_APPEND; the file is locked while we write, so the end stays ours.
    const HANDLE file = as_handle(handle_);
    const LARGE_INTEGER none{};
    DWORD n = 0;
    put = 0;
    if (::GetFileType(file) == FILE_TYPE_DISK && !::SetFilePointerEx(file, none, nullptr, FILE_END)) {
        return from_last_error();
    }
    if (!::WriteFile(file, from.data(), clamp(from.size()), &n, nullptr)) {
        return from_last_error();
    }
    put = n;
    return io_ok;
}

io_result native_file::status(file_status& status) const
{
    handle_facts facts;
    FILE_STANDARD_INFO standard{};
    if (const io_result looked = facts_of(as_handle(handle_), facts); !looked.ok()) {
        return looked;
    }
    if (facts.regular &&
        !::GetFileInformationByHandleEx(as_handle(handle_), FileStandardInfo, &standard, sizeof standard)) {
        return from_last_error();
    }
    status.identity = identity_of(facts);
    status.size = (std::uint64_t{facts.info.nFileSizeHigh} << 32U) | facts.info.nFileSizeLow;
    status.permissions = facts.info.dwFileAttributes;
    status.regular = facts.regular;
    status.removed = standard.DeletePending != FALSE;
    return io_ok;
}

io_result native_file::truncate(std::uint64_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(as_handle(handle_), FileEndOfFileInfo, &end, sizeof end) ? io_ok
                                                                                                 : from_last_error();
}

io_result native_file::sync()
{
    return ::FlushFileBuffers(as_handle(handle_)) ? io_ok : from_last_error();
}

io_result native_file::close()
{
    if (borrowed_) {
        handle_ = -1;
        return io_ok;
    }
    if (!temporary_.empty()) {
        (void)delete_by_handle(as_handle(handle_));
        temporary_.clear();
    }
    return ::CloseHandle(as_handle(std::exchange(handle_, -1))) ? io_ok : from_last_error();
}

} // namespace txconv
