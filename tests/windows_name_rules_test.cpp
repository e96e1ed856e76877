#include "platform/windows_name_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace txconv {
namespace {

std::string narrow_ascii(const std::wstring& text)
{
    return {text.begin(), text.end()};
}

// Windows resolves a path itself (GetFullPathNameW); what is left is the
// extended form of the full path, which takes any length.
TEST(ExtendedPath, FullPathsGetTheExtendedForm)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\work\\pts.txt", L"\\\\?\\C:\\work\\pts.txt"},
        {L"\\\\server\\share\\dir\\pts.txt", L"\\\\?\\UNC\\server\\share\\dir\\pts.txt"},
        {L"\\\\?\\C:\\a\\b", L"\\\\?\\C:\\a\\b"},
        {L"\\\\.\\NUL", L"\\\\.\\NUL"},
        {L"\\\\.\\pipe\\name", L"\\\\.\\pipe\\name"},
        {L"C:\\data \\d.tx", L"\\\\?\\C:\\data \\d.tx"},
    };
    for (const auto& [full, expected] : cases) {
        EXPECT_EQ(extended_form(full), expected) << narrow_ascii(full);
    }
}

// What Windows does to a name that the extended form would not.
TEST(WindowsNames, DevicesStreamsAndTrailingDots)
{
    struct name_case {
        std::wstring path;
        bool device;
        bool stream;
        std::wstring opened;
    };
    const name_case cases[] = {
        {L"aux.tx", true, false, L"aux.tx"},
        {L"dir\\NUL", true, false, L"dir\\NUL"},
        {L"Com9.txt", true, false, L"Com9.txt"},
        {L"lpt1", true, false, L"lpt1"},
        {L"com0.tx", false, false, L"com0.tx"},
        {L"console.tx", false, false, L"console.tx"},
        {L"auxiliary", false, false, L"auxiliary"},
        {L"nul .txt", true, false, L"nul .txt"},
        {L"t.txt:s", false, true, L"t.txt:s"},
        {L"C:t.txt", false, false, L"C:t.txt"},
        {L"C:\\dir\\t.txt", false, false, L"C:\\dir\\t.txt"},
        {L"e.tx.", false, false, L"e.tx"},
        {L"data \\d.tx. . ", false, false, L"data \\d.tx"},
        {L"..", false, false, L".."},
    };
    for (const auto& [path, device, stream, opened] : cases) {
        EXPECT_EQ(is_reserved_device_name(path), device) << narrow_ascii(path);
        EXPECT_EQ(names_a_stream(path), stream) << narrow_ascii(path);
        EXPECT_EQ(as_windows_opens(path), opened) << narrow_ascii(path);
    }
}

} // namespace
} // namespace txconv
