// What the Windows files of this layer share: paths in their extended form,
// and what a handle tells of its file.
#include "platform/long_path.hpp"
#include "platform/windows_shared.hpp"

namespace txconv {

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

io_result delete_by_handle(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)
               ? io_ok
               : from_last_error();
}

HANDLE open_path(const path_string& path, DWORD access, DWORD disposition, DWORD flags)
{
    return ::CreateFileW(system_path(path).c_str(), access, share_all, nullptr, disposition, flags, nullptr);
}

io_result facts_of(HANDLE file, handle_facts& facts)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        // A pipe, a console or a device: not a file, and nothing more to know.
        return io_ok;
    }
    if (!::GetFileInformationByHandle(file, &facts.info)) {
        return from_last_error();
    }
    const DWORD attributes = facts.info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
        facts.link = IsReparseTagNameSurrogate(tag.ReparseTag);
    }
    facts.regular = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return io_ok;
}

} // namespace txconv
