#include "platform/native_file.hpp"
#include "platform/utf16_windows.hpp"

#include <utility>

#include <windows.h>

namespace txconv {

namespace {

os_error describe(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"system error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
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

} // namespace

std::string display_path(const path_string& path)
{
    return narrow(path);
}

os_error remove_file(const path_string& path)
{
    return ::DeleteFileW(path.c_str()) ? os_error{} : last_error();
}

void native_file::release() noexcept
{
    if (handle_ != -1) {
        ::CloseHandle(as_handle(handle_));
        handle_ = -1;
    }
}

os_error native_file::open_for_reading(const path_string& path)
{
    release();
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return last_error();
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return {};
}

os_error native_file::open_for_appending(const path_string& path)
{
    release();
    for (;;) {
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, share_all, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return last_error();
        }
        const bool made = ::GetLastError() != ERROR_ALREADY_EXISTS;
        OVERLAPPED whole{};
        FILE_STANDARD_INFO info{};
        LARGE_INTEGER none{};
        if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) ||
            !::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) ||
            !::SetFilePointerEx(file, none, nullptr, FILE_END)) {
            os_error reason = last_error();
            ::CloseHandle(file);
            return reason;
        }
        if (info.DeletePending) {
            // Whoever held the lock before us made the file, failed and
            // removed it again; what we would write here would be lost.
            ::CloseHandle(file);
            continue;
        }
        handle_ = reinterpret_cast<std::intptr_t>(file);
        created_ = made;
        return {};
    }
}

os_error native_file::read_some(std::span<char> into, std::size_t& got)
{
    DWORD n = 0;
    if (!::ReadFile(as_handle(handle_), into.data(), clamp(into.size()), &n, nullptr)) {
        got = 0;
        return last_error();
    }
    got = n;
    return {};
}

os_error native_file::write_some(std::span<const char> from, std::size_t& put)
{
    DWORD n = 0;
    if (!::WriteFile(as_handle(handle_), from.data(), clamp(from.size()), &n, nullptr)) {
        put = 0;
        return last_error();
    }
    put = n;
    return {};
}

os_error native_file::size(std::uint64_t& length) const
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(as_handle(handle_), &size)) {
        return last_error();
    }
    length = static_cast<std::uint64_t>(size.QuadPart);
    return {};
}

os_error native_file::truncate(std::uint64_t length)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(as_handle(handle_), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(as_handle(handle_))) {
        return last_error();
    }
    return {};
}

os_error native_file::close()
{
    return ::CloseHandle(as_handle(std::exchange(handle_, -1))) ? os_error{} : last_error();
}

bool native_file::is_same_file_as(const path_string& path) const
{
    const HANDLE other =
        ::CreateFileW(path.c_str(), 0, share_all, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION mine{};
    BY_HANDLE_FILE_INFORMATION theirs{};
    const bool same = ::GetFileInformationByHandle(as_handle(handle_), &mine) &&
                      ::GetFileInformationByHandle(other, &theirs) &&
                      mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                      mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
    ::CloseHandle(other);
    return same;
}

} // namespace txconv
