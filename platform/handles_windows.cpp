// What the Windows files of this layer share: paths in their extended form,
// and what a handle tells of its file.
#include "platform/windows_name_rules.hpp"
#include "platform/windows_shared.hpp"

#include <cstring>

namespace txconv {

std::wstring system_path(const path_string& path)
{
    // Windows resolves the path as it would for any program: each drive's
    // own current folder, trailing dots and spaces of the last part, device
    // names. The extended form then lifts the length limit.
    // Measured first: the length it gives counts the closing NUL.
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    return extended_form(full);
}

io_expected<> mark_for_deletion(HANDLE file, bool deleted)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return unless_failed(::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition));
}

HANDLE open_path(const path_string& path, DWORD access, DWORD disposition, DWORD flags)
{
    return ::CreateFileW(system_path(path).c_str(), access, share_all, nullptr, disposition, flags, nullptr);
}

io_expected<handle_facts> facts_of(HANDLE file)
{
    handle_facts facts;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        // A pipe, a console or a device: not a file, and nothing more to know.
        return facts;
    }
    if (!::GetFileInformationByHandle(file, &facts.info)) {
        return from_last_error();
    }
    const BY_HANDLE_FILE_INFORMATION& info = facts.info;
    facts.identity = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32U) | info.nFileIndexLow};
    facts.changed = static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32U) |
                                              info.ftLastWriteTime.dwLowDateTime);
    // Where the volume has them (ReFS, Dev Drives), the 128-bit file id is
    // the one that is unique; the 64-bit index may not be.
    FILE_ID_INFO id{};
    if (::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
        std::memcpy(&facts.identity.index, id.FileId.Identifier, sizeof facts.identity.index);
        std::memcpy(&facts.identity.index_high, id.FileId.Identifier + 8, sizeof facts.identity.index_high);
    }
    const DWORD attributes = info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
        facts.link = IsReparseTagNameSurrogate(tag.ReparseTag);
    }
    facts.regular = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return facts;
}

// Both measure first, then convert; an empty text measures 0 and stays empty.
std::string narrow(std::wstring_view text)
{
    const int in = static_cast<int>(text.size());
    std::string out(
        static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, nullptr, 0, nullptr, nullptr)),
        '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view text)
{
    const int in = static_cast<int>(text.size());
    std::wstring out(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, text.data(), in, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), in, out.data(), static_cast<int>(out.size()));
    return out;
}

} // namespace txconv
