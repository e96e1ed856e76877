#include "convert/conversions.hpp"

namespace txconv {

namespace {

// Opens the input and names its output, which must not be the input itself.
outcome start_conversion(const path_string& path, std::string_view extension, native_file& input, path_string& target)
{
    if (auto failed = open_input(path, input)) {
        return failed;
    }
    target = output_name_for(path, extension);
    return refuse_same_file(input, target);
}

} // namespace

outcome txt_to_tx(const path_string& path, const warning_sink& warn)
{
    native_file input;
    path_string target;
    if (auto failed = start_conversion(path, "tx", input, target)) {
        return failed;
    }

    const std::string shown = display_path(path);
    listing_scanner scanner([&](std::uint64_t line) {
        warn(shown + ":" + std::to_string(line) + ": value is not 8 hex digits; stored as 0");
    });
    std::size_t got = 0;
    do {
        const std::span<char> space = scanner.space();
        if (auto failed = read_chunk(input, path, space, got)) {
            return failed;
        }
        scanner.scan(got);
    } while (got == listing_scanner::CHUNK_BYTES);
    scanner.finish();
    if (auto failed = close_input(input, path)) {
        return failed;
    }

    if (scanner.ignored() > 0) {
        warn(shown + ": " + std::to_string(scanner.ignored()) + " values after the first " +
             std::to_string(TABLE_SLOTS) + " were ignored");
    }
    return append_to_file(target, encode_table(scanner.table()));
}

outcome tx_to_txt(const path_string& path)
{
    native_file input;
    path_string target;
    if (auto failed = start_conversion(path, "txt", input, target)) {
        return failed;
    }

    // Only the first image counts, so only its bytes are read.
    table_image image{};
    std::size_t got = 0;
    if (auto failed = read_chunk(input, path, image, got)) {
        return failed;
    }
    if (auto failed = close_input(input, path)) {
        return failed;
    }
    if (got < TABLE_BYTES) {
        return failure{NOTICE_SHORT_TABLE, display_path(path),
                       "holds " + std::to_string(got) + " bytes; a table takes " + std::to_string(TABLE_BYTES)};
    }
    return append_to_file(target, format_listing(decode_table(image)));
}

} // namespace txconv
