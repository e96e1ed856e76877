#include "convert/table_format.hpp"

namespace txconv {

namespace {

std::optional<std::uint32_t> hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint32_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint32_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::uint32_t> read_hex_field(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const auto digit = hex_digit(c);
        if (!digit) {
            return std::nullopt;
        }
        value = (value << 4U) | *digit;
    }
    return value;
}

table_image encode_table(const value_table& table)
{
    table_image image{};
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        for (std::size_t byte = 0; byte < 4; ++byte) {
            image[4 * slot + byte] = static_cast<char>((table[slot] >> (8 * byte)) & 0xFFU);
        }
    }
    return image;
}

value_table decode_table(std::span<const char, TABLE_BYTES> image)
{
    value_table table{};
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        for (std::size_t byte = 0; byte < 4; ++byte) {
            const auto octet = static_cast<std::uint32_t>(static_cast<unsigned char>(image[4 * slot + byte]));
            table[slot] |= octet << (8 * byte);
        }
    }
    return table;
}

listing_text format_listing(const value_table& table)
{
    static constexpr std::string_view digits = "0123456789ABCDEF";
    listing_text text{};
    char* line = text.data();
    for (const std::uint32_t value : table) {
        line[0] = 'u';
        line[1] = 'v';
        line[2] = '=';
        for (std::size_t i = 0; i < FIELD_CHARS; ++i) {
            line[3 + i] = digits[(value >> (4 * (FIELD_CHARS - 1 - i))) & 0xFU];
        }
        line[11] = '\r';
        line[12] = '\n';
        line += LINE_BYTES;
    }
    return text;
}

std::optional<finding> judge_table_length(std::uint64_t length)
{
    if (length < TABLE_BYTES) {
        return finding{finding_kind::short_table, 0, length};
    }
    if (length % TABLE_BYTES != 0) {
        return finding{finding_kind::not_whole_tables, 0, length};
    }
    return std::nullopt;
}

} // namespace txconv
