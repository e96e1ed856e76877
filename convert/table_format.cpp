#include "convert/table_format.hpp"

#include <bit>
#include <cstring>

namespace txconv {

namespace {

constexpr std::uint8_t NOT_HEX = 0xFF;

// Each byte's value as a hexadecimal digit, or NOT_HEX: one look-up a byte.
constexpr std::array<std::uint8_t, 256> HEX_VALUES = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(NOT_HEX);
    for (std::size_t i = 0; i < 10; ++i) {
        values['0' + i] = static_cast<std::uint8_t>(i);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        values['A' + i] = static_cast<std::uint8_t>(10 + i);
        values['a' + i] = static_cast<std::uint8_t>(10 + i);
    }
    return values;
}();

} // namespace

std::optional<std::uint32_t> read_hex_field(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const std::uint8_t digit = HEX_VALUES[static_cast<unsigned char>(c)];
        if (digit == NOT_HEX) {
            return std::nullopt;
        }
        value = (value << 4U) | digit;
    }
    return value;
}

namespace {

constexpr std::uint64_t EACH_BYTE = 0x0101010101010101U;

// The eight upper-case hexadecimal digits of value, most significant first.
void write_hex_word(std::uint32_t value, char* out)
{
    std::uint64_t x = value;
    x = (x | (x << 16U)) & 0x0000FFFF0000FFFFU;
    x = (x | (x << 8U)) & 0x00FF00FF00FF00FFU;
    x = (x | (x << 4U)) & (0x0FU * EACH_BYTE);
    x = __builtin_bswap64(x);
    const std::uint64_t letters = ((x + 6U * EACH_BYTE) >> 4U) & EACH_BYTE;
    x += '0' * EACH_BYTE + letters * ('A' - '9' - 1);
    std::memcpy(out, &x, sizeof x);
}

} // namespace

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

listing_text format_listing(const value_table& table)
{
    listing_text text{};
    char* line = text.data();
    for (const std::uint32_t value : table) {
        line[0] = 'u';
        line[1] = 'v';
        line[2] = '=';
        write_hex_word(value, line + 3);
        line[11] = '\r';
        line[12] = '\n';
        line += LINE_BYTES;
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

std::string hex8(std::uint32_t value)
{
    std::string text(FIELD_CHARS, '0');
    write_hex_word(value, text.data());
    return text;
}

} // namespace txconv
