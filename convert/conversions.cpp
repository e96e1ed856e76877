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

std::string hex8(std::uint32_t value)
{
    std::string text(FIELD_CHARS, '0');
    for (std::size_t i = FIELD_CHARS; i-- > 0; value >>= 4U) {
        text[i] = "0123456789ABCDEF"[value & 0xFU];
    }
    return text;
}

listing_text format_listing(const value_table& table)
{
    listing_text text{};
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        const std::string line = "uv=" + hex8(table[slot]) + "\r\n";
        std::copy(line.begin(), line.end(), text.begin() + static_cast<std::ptrdiff_t>(slot * LINE_BYTES));
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
