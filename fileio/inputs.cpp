#include "fileio/inputs.hpp"

#include <algorithm>

namespace txconv {

namespace {

bool is_separator(path_char c)
{
    return c == path_char('/') || c == path_char('\\');
}

// Opening, reading and closing the input alike: to the user each means the
// file could not be read.
failure cannot_read(const path_string& path, io_result cause)
{
    return {failure_kind::cannot_read, path, cause};
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

maybe_failure open_input(const path_string& path, input_file& input)
{
    input.path = path;
    file_status status;
    if (const io_result opened = input.file.open_for_reading(path, status); !opened.ok()) {
        return cannot_read(path, opened);
    }
    input.identity = status.identity;
    input.size = status.size;
    input.permissions = status.permissions;
    return std::nullopt;
}

std::size_t output_name_length(const path_string& path)
{
    return static_cast<std::size_t>(std::find_if(path.rbegin(), path.rend(), is_separator) - path.rbegin());
}

maybe_failure open_standard_input(input_file& input)
{
    input.file = native_file::standard_input();
    input.path = path_string(1, path_char('-'));
    file_status status;
    // A file that cannot say which file it is might be the output.
    if (const io_result looked = input.file.status(status); !looked.ok()) {
        return failure{failure_kind::cannot_read, input.path, {io_reason::unknown_identity}};
    }
    input.identity = status.identity;
    return std::nullopt;
}

maybe_failure read_chunk(input_file& input, std::span<char> into, std::size_t& got)
{
    got = 0;
    while (got < into.size()) {
        std::size_t n = 0;
        if (const io_result read = input.file.read_some(into.subspan(got), n); !read.ok()) {
            return cannot_read(input.path, read);
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return std::nullopt;
}

maybe_failure close_input(input_file& input)
{
    if (const io_result closed = input.file.close(); !closed.ok()) {
        return cannot_read(input.path, closed);
    }
    return std::nullopt;
}

} // namespace txconv
