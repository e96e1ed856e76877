#include "platform/long_path.hpp"

#include <vector>

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

bool has_device_prefix(std::wstring_view path)
{
    return path.size() >= 4 && is_slash(path[0]) && is_slash(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
           is_slash(path[3]);
}

// An absolute path taken apart: "\\?\C:" or "\\?\UNC\server\share", and
// the names below it.
struct absolute_path {
    std::wstring root;
    std::vector<std::wstring> names;
};

// Adds the names of rest below path's, resolving "." and "..".
void descend(absolute_path& path, std::wstring_view rest)
{
    std::size_t at = 0;
    while (at <= rest.size()) {
        std::size_t end = at;
        while (end < rest.size() && !is_slash(rest[end])) {
            ++end;
        }
        std::wstring name(rest.substr(at, end - at));
        if (name == L"..") {
            if (!path.names.empty()) {
                path.names.pop_back();
            }
        } else if (name != L".") {
            while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
                name.pop_back();
            }
            if (!name.empty()) {
                path.names.push_back(std::move(name));
            }
        }
        at = end + 1;
    }
}

// Skips one name and the slashes behind it; returns where the next begins.
std::size_t past_name(std::wstring_view path, std::size_t at)
{
    while (at < path.size() && !is_slash(path[at])) {
        ++at;
    }
    while (at < path.size() && is_slash(path[at])) {
        ++at;
    }
    return at;
}

bool is_unc(std::wstring_view path)
{
    return path.size() >= 2 && is_slash(path[0]) && is_slash(path[1]);
}

bool is_drive_absolute(std::wstring_view path)
{
    return path.size() >= 3 && is_letter(path[0]) && path[1] == L':' && is_slash(path[2]);
}

// An absolute path: "C:\dir", "\\server\share\dir", or either behind
// the "\\?\" prefix, as the current folder may be.
absolute_path take_apart(std::wstring_view path)
{
    absolute_path out;
    if (has_device_prefix(path)) {
        path.remove_prefix(4);
        if (path.size() >= 4 && path.substr(0, 3) == L"UNC" && is_slash(path[3])) {
            return take_apart(L"\\\\" + std::wstring(path.substr(4)));
        }
    }
    if (is_unc(path)) {
        const std::size_t share = past_name(path, 2);
        const std::size_t rest = past_name(path, share);
        std::wstring server(path.substr(2, share - 2));
        std::wstring name(path.substr(share, rest - share));
        for (std::wstring* part : {&server, &name}) {
            while (!part->empty() && is_slash(part->back())) {
                part->pop_back();
            }
        }
        out.root = L"\\\\?\\UNC\\" + server + L"\\" + name;
        descend(out, path.substr(rest));
    } else if (path.size() >= 2 && is_letter(path[0]) && path[1] == L':') {
        out.root = L"\\\\?\\" + std::wstring(path.substr(0, 2));
        descend(out, path.substr(2));
    }
    return out;
}

absolute_path resolve(std::wstring_view path, std::wstring_view current)
{
    if (is_unc(path) || is_drive_absolute(path)) {
        return take_apart(path);
    }
    absolute_path out = take_apart(current);
    if (path.size() >= 2 && is_letter(path[0]) && path[1] == L':') {
        // "D:name": below the current folder when that is on D:, else below
        // D:'s root, as no other drive's current folder is known here.
        const bool same_drive = out.root.size() == 6 && (out.root[4] | 0x20) == (path[0] | 0x20);
        if (!same_drive) {
            out = take_apart(std::wstring(path.substr(0, 2)) + L"\\");
        }
        path.remove_prefix(2);
    } else if (!path.empty() && is_slash(path[0])) {
        // "\\name": below the root of the current folder's drive or share.
        out.names.clear();
    }
    descend(out, path);
    return out;
}

} // namespace

std::wstring extended_path(std::wstring_view path, std::wstring_view current)
{
    if (path.size() >= 4 && path.substr(0, 4) == L"\\\\?\\") {
        return std::wstring(path);
    }
    if (has_device_prefix(path)) {
        // "\\.\pipe\name" and the like, or a prefix written with slashes.
        std::wstring device(path);
        for (wchar_t& c : device) {
            c = is_slash(c) ? L'\\' : c;
        }
        return device;
    }
    const absolute_path absolute = resolve(path, current);
    std::wstring out = absolute.root;
    for (const std::wstring& name : absolute.names) {
        out += L"\\" + name;
    }
    if (absolute.names.empty()) {
        out += L"\\";
    }
    return out;
}

} // namespace txconv
