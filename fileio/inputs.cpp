#include "fileio/file_access.hpp"

#include "platform/console.hpp"

#include <algorithm>
#include <array>

namespace txconv {

namespace {

// Fills into from the input, and gives the bytes it got: less only at the
// end of the file.
file_expected<std::size_t> read_chunk(input_file& input, std::span<char> into)
{
    std::size_t got = 0;
    while (got < into.size()) {
        const io_expected<std::size_t> read = input.file.read_some(into.subspan(got));
        if (!read) {
            return std::unexpected(cannot_read(input.about, read.error()));
        }
        if (*read == 0) {
            break;
        }
        got += *read;
    }
    return got;
}

// Closes an input that has been read, and gives what it read.
template <class T> file_expected<T> close_input(input_file& input, T read)
{
    const io_expected<> closed = input.file.close();
    return closed ? file_expected<T>(read) : std::unexpected(cannot_read(input.about, closed.error()));
}

} // namespace

path_string output_name_for(const path_string& path, std::string_view extension)
{
    const auto name = path.begin() + static_cast<std::ptrdiff_t>(file_name_start(path));
    // Just behind the file name's last '.', or at the name's start when it has none.
    const auto cut = std::find(path.rbegin(), std::make_reverse_iterator(name), path_char('.')).base();
    return path_string(path.begin(), cut == name ? path.end() : cut - 1) + path_char('.') +
           path_string(extension.begin(), extension.end());
}

path_string output_name_beside(const path_string& path, std::string_view extension)
{
    // As a name that ends in a '.': all of it stays.
    return output_name_for(path + path_char('.'), extension);
}

file_expected<input_file> open_input(const path_string& path)
{
    input_file input{.about = {subject_kind::file, path}};
    // A name the system keeps for a device is no file to read.
    const io_expected<> named = check_name(path, false);
    const io_expected<file_status> status = named ? input.file.open_for_reading(path) : std::unexpected(named.error());
    if (!status) {
        return std::unexpected(cannot_read(input.about, status.error()));
    }
    input.identity = status->identity;
    input.size = status->size;
    input.permissions = status->permissions;
    return input;
}

file_expected<input_file> open_standard_input()
{
    input_file input{.file = native_file::standard(standard_stream::input), .about = subject::standard_input()};
    // A file that cannot say which file it is might be the output.
    const io_expected<file_status> status =
        closed_at_start(standard_stream::input) ? io_failed(io_reason::closed) : input.file.status();
    if (!status) {
        return std::unexpected(cannot_read(input.about, status.error()));
    }
    if (status->regular) {
        // A file given as txconv - < t.tx lends what is made from it its
        // permissions, as it would given by name; its length is the rest
        // of it from where the stream stands.
        input.identity = status->identity;
        input.permissions = status->permissions;
        const io_expected<std::uint64_t> at = input.file.position();
        if (at && *at <= status->size) {
            input.start = *at;
            input.size = status->size - *at;
        }
    }
    return input;
}

file_expected<read_extent> read_whole_file(input_file& input, const std::function<void(std::span<const char>)>& take)
{
    // One chunk for every input of the run: a batch of many asks for no
    // memory per file.
    static std::array<char, READ_CHUNK> chunk;
    const std::uint64_t bound = input.size.value_or(INPUT_BUDGET);
    read_extent extent;
    while (extent.bytes < bound) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(READ_CHUNK, bound - extent.bytes));
        const file_expected<std::size_t> got = read_chunk(input, std::span(chunk).first(wanted));
        if (!got) {
            return std::unexpected(got.error());
        }
        take(std::span(chunk).first(*got));
        extent.bytes += *got;
        if (*got < wanted) {
            return close_input(input, extent);
        }
    }
    // A regular file ends where it did when it was opened; a stream that has
    // a byte more went on past the budget.
    char more = 0;
    const file_expected<std::size_t> got = input.size ? 0 : read_chunk(input, std::span(&more, 1));
    extent.ended = got == 0;
    return got ? close_input(input, extent) : std::unexpected(got.error());
}

file_expected<std::size_t> read_part(input_file& input, std::uint64_t offset, std::span<char> into)
{
    if (const io_expected<> moved = input.file.seek(input.start + offset); !moved) {
        return std::unexpected(cannot_read(input.about, moved.error()));
    }
    const file_expected<std::size_t> got = read_chunk(input, into);
    return got ? close_input(input, *got) : got;
}

} // namespace txconv
