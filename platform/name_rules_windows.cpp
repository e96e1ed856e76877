// What Windows makes of a name before a file is looked at: devices, streams,
// trailing dots, and wildcards that no shell has expanded.
#include "platform/native_file.hpp"
#include "platform/native_file_shared.hpp"
#include "platform/windows_name_rules.hpp"
#include "platform/windows_shared.hpp"

#include <algorithm>

namespace txconv {

io_expected<> check_name(const path_string& path, bool output_named_by_user)
{
    if (names_a_stream(path)) {
        return io_failed(io_reason::stream_name);
    }
    if (!output_named_by_user && is_reserved_device_name(path)) {
        return io_failed(io_reason::device_name);
    }
    return {};
}

path_string name_as_opened(const path_string& path)
{
    return as_windows_opens(path);
}

void expand_wildcards(std::vector<path_string>& arguments)
{
    std::vector<path_string> files;
    for (const path_string& argument : arguments) {
        const std::size_t folder = file_name_start(argument);
        const bool wild = argument.find_first_of(L"*?", folder) != path_string::npos;
        if (!wild || ::GetFileAttributesW(system_path(argument).c_str()) != INVALID_FILE_ATTRIBUTES) {
            files.push_back(argument);
            continue;
        }
        std::vector<path_string> matched;
        WIN32_FIND_DATAW found{};
        const HANDLE search =
            ::FindFirstFileExW(argument.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    matched.push_back(argument.substr(0, folder) + found.cFileName);
                }
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        std::sort(matched.begin(), matched.end());
        if (matched.empty()) {
            files.push_back(argument);
        }
        files.insert(files.end(), matched.begin(), matched.end());
    }
    arguments = std::move(files);
}

bool slash_options()
{
    return true;
}

} // namespace txconv
