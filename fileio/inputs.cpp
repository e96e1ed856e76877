#include "fileio/inputs.hpp"

#include "platform/console.hpp"

#include <algorithm>

namespace txconv {

namespace {

// Opening, reading and closing the input alike: to the user each means the
// file could not be read.
std::unexpected<failure> cannot_read(const subject& about, io_error cause)
{
    return std::unexpected(failure{.kind = failure_kind::cannot_read, .about = about, .cause = cause});
}

// The first stem characters of path, a '.' and the extension, in one string.
path_string named_with(const path_string& path, std::size_t stem, std::string_view extension)
{
    path_string out;
    out.reserve(stem + 1 + extension.size());
    out.append(path, 0, stem).push_back(path_char('.'));
    for (const char c : extension) {
        out.push_back(static_cast<path_char>(c));
    }
    return out;
}

} // namespace

path_string output_name_for(const path_string& path, std::string_view extension)
{
    const auto name = path.begin() + static_cast<std::ptrdiff_t>(file_name_start(path));
    // Just behind the file name's last '.', or at the name's start when it has none.
    const auto cut = std::find(path.rbegin(), std::make_reverse_iterator(name), path_char('.')).base();
    return named_with(path, cut == name ? path.size() : static_cast<std::size_t>(cut - 1 - path.begin()), extension);
}

path_string output_name_beside(const path_string& path, std::string_view extension)
{
    return named_with(path, path.size(), extension);
}

file_expected<input_file> open_input(const path_string& path)
{
    input_file input;
    input.about = {subject_kind::file, path};
    const io_expected<file_status> status = input.file.open_for_reading(path);
    if (!status) {
        return cannot_read(input.about, status.error());
    }
    input.identity = status->identity;
    input.size = status->size;
    input.permissions = status->permissions;
    return input;
}

file_expected<input_file> open_standard_input()
{
    input_file input;
    input.about = subject::standard_input();
    if (closed_at_start(standard_stream::input)) {
        return cannot_read(input.about, {io_reason::closed});
    }
    input.file = native_file::standard_input();
    // A file that cannot say which file it is might be the output.
    const io_expected<file_status> status = input.file.status();
    if (!status) {
        return cannot_read(input.about, {io_reason::unknown_identity});
    }
    input.identity = status->identity;
    if (status->regular) {
        // A file given as txconv - < t.tx lends what is made from it its
        // permissions, as it would given by name; its length is the rest
        // of it from where the stream stands.
        input.permissions = status->permissions;
        const io_expected<std::uint64_t> at = input.file.position();
        if (at && *at <= status->size) {
            input.start = *at;
            input.size = status->size - *at;
        }
    }
    return input;
}

file_expected<std::size_t> read_chunk(input_file& input, std::span<char> into)
{
    std::size_t got = 0;
    while (got < into.size()) {
        const io_expected<std::size_t> read = input.file.read_some(into.subspan(got));
        if (!read) {
            return cannot_read(input.about, read.error());
        }
        if (*read == 0) {
            break;
        }
        got += *read;
    }
    return got;
}

file_expected<> skip_to(input_file& input, std::uint64_t offset)
{
    if (const io_expected<> moved = input.file.seek(input.start + offset); !moved) {
        return cannot_read(input.about, moved.error());
    }
    return {};
}

file_expected<> close_input(input_file& input)
{
    if (const io_expected<> closed = input.file.close(); !closed) {
        return cannot_read(input.about, closed.error());
    }
    return {};
}

} // namespace txconv
