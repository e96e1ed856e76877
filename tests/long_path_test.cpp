#include "platform/long_path.hpp"

#include <gtest/gtest.h>

#include <string>

namespace txconv {
namespace {

struct long_path_case {
    std::wstring path;
    std::wstring current;
    std::wstring expected;
};

// Windows takes a path of any length only in its extended form; these are the
// forms a user can give.
TEST(ExtendedPath, EveryFormBecomesAbsoluteAndPrefixed)
{
    const long_path_case cases[] = {
        {L"pts.txt", L"C:\\work", L"\\\\?\\C:\\work\\pts.txt"},
        {L"sub\\pts.txt", L"C:\\work\\", L"\\\\?\\C:\\work\\sub\\pts.txt"},
        {L"D:\\data\\pts.txt", L"C:\\work", L"\\\\?\\D:\\data\\pts.txt"},
        {L"\\\\server\\share\\dir\\pts.txt", L"C:\\work", L"\\\\?\\UNC\\server\\share\\dir\\pts.txt"},
        {L"\\\\?\\C:\\a/b\\..\\c", L"D:\\", L"\\\\?\\C:\\a/b\\..\\c"},
        {L"\\\\.\\pipe\\name", L"C:\\", L"\\\\.\\pipe\\name"},
        {L"C:/work/sub/pts.txt", L"D:\\", L"\\\\?\\C:\\work\\sub\\pts.txt"},
        {L"..\\other\\.\\pts.txt", L"C:\\work\\sub", L"\\\\?\\C:\\work\\other\\pts.txt"},
        {L"C:\\..\\..\\pts.txt", L"D:\\", L"\\\\?\\C:\\pts.txt"},
        {L"a\\\\b", L"C:\\w", L"\\\\?\\C:\\w\\a\\b"},
        {L"\\top\\pts.txt", L"C:\\work", L"\\\\?\\C:\\top\\pts.txt"},
        {L"\\top\\pts.txt", L"\\\\srv\\sh\\dir", L"\\\\?\\UNC\\srv\\sh\\top\\pts.txt"},
        {L"C:pts.txt", L"c:\\work", L"\\\\?\\c:\\work\\pts.txt"},
        {L"D:pts.txt", L"C:\\work", L"\\\\?\\D:\\pts.txt"},
        {L"pts.txt", L"\\\\?\\C:\\deep", L"\\\\?\\C:\\deep\\pts.txt"},
        {L"pts.txt", L"\\\\?\\UNC\\srv\\sh\\d", L"\\\\?\\UNC\\srv\\sh\\d\\pts.txt"},
        {L"//srv/sh/x.tx", L"C:\\", L"\\\\?\\UNC\\srv\\sh\\x.tx"},
        // Windows drops trailing dots and spaces from a name; the extended
        // form would keep them and miss the file.
        {L"C:\\dir.\\pts.txt. ", L"D:\\", L"\\\\?\\C:\\dir\\pts.txt"},
        {L"", L"C:\\work", L"\\\\?\\C:\\work"},
    };
    for (const auto& [path, current, expected] : cases) {
        EXPECT_EQ(extended_path(path, current), expected) << std::string(path.begin(), path.end());
    }
}

TEST(ExtendedPath, LengthIsNoLimit)
{
    std::wstring deep = L"C:\\";
    for (int i = 0; i < 40; ++i) {
        deep += L"folder" + std::to_wstring(i) + L"\\";
    }
    deep += L"x.txt";
    ASSERT_GT(deep.size(), 260U);
    EXPECT_EQ(extended_path(deep, L"D:\\"), L"\\\\?\\" + deep);
}

} // namespace
} // namespace txconv
