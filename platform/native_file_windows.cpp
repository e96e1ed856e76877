#include "platform/native_file.hpp"
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
// a regular file.
io_expected<HANDLE> open_unlinked(const path_string& path, DWORD access)
{
    const HANDLE file = open_path(path, access, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        return from_last_error();
    }
    io_expected<handle_facts> facts = facts_of(file);
    if (facts && (facts->link || !facts->regular)) {
        facts = io_failed(facts->link ? io_reason::symlink : io_reason::not_regular);
    }
    if (!facts) {
        ::CloseHandle(file);
        return std::unexpected(facts.error());
    }
    if ((facts->info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return file;
    }
    // A reparse point that is not a link: open it properly, so that its
    // driver does its work, and make sure it is still the same file.
    const HANDLE proper = open_path(path, access, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    io_expected<handle_facts> again = proper == INVALID_HANDLE_VALUE ? from_last_error() : facts_of(proper);
    ::CloseHandle(file);
    if (again && again->identity != facts->identity) {
        again = io_failed(io_reason::not_regular);
    }
    if (!again) {
        if (proper != INVALID_HANDLE_VALUE) {
            ::CloseHandle(proper);
        }
        return std::unexpected(again.error());
    }
    return proper;
}

} // namespace

native_file native_file::standard(standard_stream stream)
{
    native_file file;
    file.handle_ = reinterpret_cast<std::intptr_t>(
        ::GetStdHandle(stream == standard_stream::input ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE));
    file.borrowed_ = true;
    return file;
}

io_expected<file_status> native_file::open_for_reading(const path_string& path)
{
    release();
    const HANDLE file = open_path(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder cannot be opened as a file at all: say so, not "access
        // denied".
        const auto failed = from_last_error();
        const DWORD attributes = ::GetFileAttributesW(system_path(path).c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A wildcard that matched nothing stayed as it was typed.
        const bool wild = path.find_first_of(L"*?", file_name_start(path)) != path_string::npos;
        return folder ? io_failed(io_reason::folder) : wild ? io_failed(io_reason::no_match) : failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    io_expected<file_status> status = this->status();
    if (status && !status->regular) {
        status = io_failed(io_reason::not_regular);
    }
    if (!status) {
        release();
    }
    return status;
}

io_expected<> native_file::open_for_appending(const path_string& path)
{
    release();
    // Only what an append needs: no DELETE, so that a program that shares the
    // file for reading and writing does not lock us out.
    const io_expected<HANDLE> file = open_unlinked(path, GENERIC_WRITE);
    handle_ = file ? reinterpret_cast<std::intptr_t>(*file) : -1;
    return file ? io_expected<>() : std::unexpected(file.error());
}

io_expected<> native_file::open_stream(const path_string& path)
{
    release();
    handle_ = reinterpret_cast<std::intptr_t>(open_path(path, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    return as_handle(handle_) == INVALID_HANDLE_VALUE ? io_expected<>(from_last_error()) : io_expected<>();
}

io_expected<std::uint64_t> native_file::position() const
{
    const LARGE_INTEGER none{};
    LARGE_INTEGER now{};
    return ::SetFilePointerEx(as_handle(handle_), none, &now, FILE_CURRENT)
               ? io_expected<std::uint64_t>(static_cast<std::uint64_t>(now.QuadPart))
               : from_last_error();
}

io_expected<bool> native_file::writes_at_end() const
{
    // Every write to a file does: see write_some().
    return ::GetFileType(as_handle(handle_)) == FILE_TYPE_DISK;
}

io_expected<> native_file::seek(std::uint64_t offset)
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return unless_failed(::SetFilePointerEx(as_handle(handle_), to, nullptr, FILE_BEGIN));
}

io_expected<> native_file::try_lock()
{
    // Another program's lock fails it at once, as busy (see from_code()).
    OVERLAPPED whole{};
    return unless_failed(::LockFileEx(as_handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                      MAXDWORD, MAXDWORD, &whole));
}

io_expected<std::size_t> native_file::read_some(std::span<char> into)
{
    DWORD n = 0;
    // A pipe whose writer has gone is at its end.
    return ::ReadFile(as_handle(handle_), into.data(), clamp(into.size()), &n, nullptr) ? io_expected<std::size_t>(n)
           : ::GetLastError() == ERROR_BROKEN_PIPE                                      ? io_expected<std::size_t>(0)
                                                                                        : from_last_error();
}

io_expected<std::size_t> native_file::write_some(std::span<const char> from)
{
    // Every write lands at the current end of the file, as on POSIX with
    // O_APPEND; the file is locked while we write, so the end stays ours.
    const HANDLE file = as_handle(handle_);
    const LARGE_INTEGER none{};
    DWORD n = 0;
    if (::GetFileType(file) == FILE_TYPE_DISK && !::SetFilePointerEx(file, none, nullptr, FILE_END)) {
        return from_last_error();
    }
    return ::WriteFile(file, from.data(), clamp(from.size()), &n, nullptr) ? io_expected<std::size_t>(n)
                                                                           : from_last_error();
}

io_expected<file_status> native_file::status() const
{
    const io_expected<handle_facts> facts = facts_of(as_handle(handle_));
    if (!facts) {
        return std::unexpected(facts.error());
    }
    FILE_STANDARD_INFO standard{};
    if (facts->regular &&
        !::GetFileInformationByHandleEx(as_handle(handle_), FileStandardInfo, &standard, sizeof standard)) {
        return from_last_error();
    }
    return file_status{.identity = facts->identity,
                       .size = (std::uint64_t{facts->info.nFileSizeHigh} << 32U) | facts->info.nFileSizeLow,
                       .permissions = facts->info.dwFileAttributes,
                       .regular = facts->regular,
                       .removed = standard.DeletePending != FALSE};
}

io_expected<> native_file::truncate(std::uint64_t length)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return unless_failed(::SetFileInformationByHandle(as_handle(handle_), FileEndOfFileInfo, &end, sizeof end));
}

io_expected<> native_file::sync()
{
    return unless_failed(::FlushFileBuffers(as_handle(handle_)));
}

io_expected<> native_file::close()
{
    if (borrowed_) {
        handle_ = -1;
        return {};
    }
    if (!temporary_.empty()) {
        (void)mark_for_deletion(as_handle(handle_), true);
        temporary_.clear();
    }
    return unless_failed(::CloseHandle(as_handle(std::exchange(handle_, -1))));
}

} // namespace txconv
