#include "convert/conversions.hpp"

#include <algorithm>
#include <cstring>

namespace txconv {

std::optional<std::uint32_t> read_hex_field(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4U) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

table_image encode_table(const value_table& table)
{
    table_image image{};
    std::memcpy(image.data(), table.data(), TABLE_BYTES);
    return image;
}

value_table decode_table(std::span<const char, TABLE_BYTES> image)
{
    value_table table{};
    std::memcpy(table.data(), image.data(), TABLE_BYTES);
    return table;
}

namespace {

// The eight upper-case hexadecimal digits of value, most significant first.
void write_hex8(std::uint32_t value, char* out)
{
    for (std::size_t i = FIELD_CHARS; i-- > 0; value >>= 4U) {
        out[i] = "0123456789ABCDEF"[value & 0xFU];
    }
}

} // namespace

std::string hex8(std::uint32_t value)
{
    std::string text(FIELD_CHARS, '0');
    write_hex8(value, text.data());
    return text;
}

listing_text format_listing(const value_table& table)
{
    listing_text text{};
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        char* const line = text.data() + (slot * LINE_BYTES);
        std::memcpy(line, "uv=", 3);
        write_hex8(table[slot], line + 3);
        std::memcpy(line + 3 + FIELD_CHARS, "\r\n", 2);
    }
    return text;
}

std::optional<finding> judge_table_length(std::uint64_t length, bool chosen)
{
    if (length < TABLE_BYTES) {
        return finding{finding_kind::short_table, 0, length};
    }
    if (chosen && length % TABLE_BYTES != 0) {
        return finding{finding_kind::cut_short_table, 0, length};
    }
    if (!chosen && length > TABLE_BYTES) {
        return finding{finding_kind::beyond_table, 0, length};
    }
    return std::nullopt;
}

listing_reading txt_to_tx(std::string_view listing, table_choice choice)
{
    listing_scanner scanner;
    scanner.reset(choice);
    scanner.feed(listing);
    scanner.finish();
    return {scanner.table(), scanner.findings(), scanner.images()};
}

listing_text tx_to_txt(std::span<const char, TABLE_BYTES> image)
{
    return format_listing(decode_table(image));
}

} // namespace txconv
