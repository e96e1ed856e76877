#include "platform/windows_name_rules.hpp"

#include <algorithm>
#include <array>

namespace txconv {

namespace {

bool is_slash(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool is_letter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The last part of path: behind its last slash, and behind "X:" where that
// is all there is before it.
std::wstring_view last_part(std::wstring_view path)
{
    const std::size_t at = path.find_last_of(L"\\/") + 1;
    return path.substr(at == 0 && path.size() >= 2 && is_letter(path[0]) && path[1] == L':' ? 2 : at);
}

wchar_t upper(wchar_t c)
{
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

} // namespace

std::wstring extended_form(std::wstring_view full)
{
    if (full.size() >= 4 && is_slash(full[0]) && is_slash(full[1]) && (full[2] == L'?' || full[2] == L'.') &&
        is_slash(full[3])) {
        return std::wstring(full);
    }
    if (full.size() >= 2 && is_slash(full[0]) && is_slash(full[1])) {
        return L"\\\\?\\UNC\\" + std::wstring(full.substr(2));
    }
    const bool drive = full.size() >= 3 && is_letter(full[0]) && full[1] == L':' && is_slash(full[2]);
    return (drive ? L"\\\\?\\" : L"") + std::wstring(full);
}

bool is_reserved_device_name(std::wstring_view path)
{
    std::wstring_view name = last_part(path);
    // The part before the first dot, less trailing spaces: "nul.txt",
    // "COM1 .tx" name devices too.
    name = name.substr(0, name.find(L'.'));
    std::wstring stem(name.substr(0, name.find_last_not_of(L' ') + 1));
    std::ranges::transform(stem, stem.begin(), upper);
    static constexpr std::array<std::wstring_view, 4> plain = {L"CON", L"PRN", L"AUX", L"NUL"};
    return std::ranges::find(plain, stem) != plain.end() ||
           (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) && stem[3] >= L'1' &&
            stem[3] <= L'9');
}

bool names_a_stream(std::wstring_view path)
{
    return last_part(path).find(L':') != std::wstring_view::npos;
}

std::wstring as_windows_opens(std::wstring_view path)
{
    const std::size_t part = path.size() - last_part(path).size();
    const std::size_t end = std::max(part, path.find_last_not_of(L". ") + 1);
    // "." and ".." keep their dots: they are folders, not names with dots.
    const std::wstring_view name = path.substr(part);
    return std::wstring(name == L"." || name == L".." ? path : path.substr(0, end));
}

} // namespace txconv
