#include "fileio/file_access.hpp"

#include <algorithm>

namespace txconv {

namespace {

bool is_separator(path_char c)
{
    return c == path_char('/') || c == path_char('\\');
}

// Reading covers opening, reading and closing the input alike: to the user
// each means the file could not be read.
failure cannot_read(const path_string& path, os_error reason)
{
    return {NOTICE_CANNOT_OPEN, display_path(path), std::move(reason)};
}

failure cannot_write(const path_string& path, os_error reason)
{
    return {NOTICE_CANNOT_WRITE, display_path(path), std::move(reason)};
}

// Puts the file back the way append_to_file found it, still under its lock.
os_error roll_back(native_file& file, const path_string& path, std::uint64_t length)
{
    os_error trouble = file.truncate(length);
    if (trouble.empty() && file.created() && length == 0) {
        trouble = remove_file(path);
    }
    return trouble;
}

} // namespace

path_string output_name_for(const path_string& path, std::string_view extension)
{
    const auto name = std::find_if(path.rbegin(), path.rend(), is_separator).base();
    // Just behind the file name's last '.', or at the name's start when it has none.
    const auto cut = std::find(path.rbegin(), std::make_reverse_iterator(name), path_char('.')).base();
    path_string out = cut == name ? path + path_char('.') : path_string(path.begin(), cut);
    for (const char c : extension) {
        out.push_back(static_cast<path_char>(c));
    }
    return out;
}

outcome open_input(const path_string& path, native_file& file)
{
    if (os_error reason = file.open_for_reading(path); !reason.empty()) {
        return cannot_read(path, std::move(reason));
    }
    return {};
}

outcome read_chunk(native_file& file, const path_string& path, std::span<char> into, std::size_t& got)
{
    got = 0;
    while (got < into.size()) {
        std::size_t n = 0;
        if (os_error reason = file.read_some(into.subspan(got), n); !reason.empty()) {
            return cannot_read(path, std::move(reason));
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return {};
}

outcome close_input(native_file& file, const path_string& path)
{
    if (os_error reason = file.close(); !reason.empty()) {
        return cannot_read(path, std::move(reason));
    }
    return {};
}

outcome refuse_same_file(const native_file& input, const path_string& output)
{
    if (input.is_same_file_as(output)) {
        return failure{NOTICE_SAME_FILE, display_path(output), "output would overwrite the input it is made from"};
    }
    return {};
}

outcome append_to_file(const path_string& path, std::span<const char> data)
{
    if (data.empty()) {
        return {};
    }
    native_file file;
    if (os_error reason = file.open_for_appending(path); !reason.empty()) {
        return cannot_write(path, std::move(reason));
    }
    std::uint64_t before = 0;
    if (os_error reason = file.size(before); !reason.empty()) {
        return cannot_write(path, std::move(reason));
    }
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(WRITE_CHUNK, data.size() - done);
        std::size_t put = 0;
        os_error reason = file.write_some(data.subspan(done, step), put);
        if (reason.empty() && put == 0) {
            reason = "the system accepted no bytes";
        }
        if (!reason.empty()) {
            if (os_error undo = roll_back(file, path, before); !undo.empty()) {
                reason += "; cutting the file back failed too: " + undo;
            }
            return cannot_write(path, std::move(reason));
        }
        done += put;
    }
    if (os_error reason = file.close(); !reason.empty()) {
        return cannot_write(path, std::move(reason));
    }
    return {};
}

} // namespace txconv
