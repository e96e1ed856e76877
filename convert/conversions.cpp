#include "convert/conversions.hpp"

#include <algorithm>
#include <cstring>

namespace txconv {

std::optional<std::uint32_t> read_hex_field(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4U) | static_cast<std::uint32_t>(digit);
    }
    return text.empty() ? std::nullopt : std::optional(value);
}

table_image encode_table(const value_table& table)
{
    return std::bit_cast<table_image>(table);
}

value_table decode_table(const table_image& image)
{
    return std::bit_cast<value_table>(image);
}

namespace {

// The eight upper-case hexadecimal digits of value, most significant first:
// each 4 bits spread to a byte of their own, then all made digits at once,
// 7 more where past 9 to skip from '9' to 'A'. Every value of a listing that
// is written goes through here.
void write_hex8(std::uint32_t value, char* out)
{
    constexpr std::uint64_t ONES = 0x0101010101010101U;
    std::uint64_t nibbles = ((std::uint64_t{value} << 16U) | value) & 0x0000FFFF0000FFFFU;
    nibbles = ((nibbles << 8U) | nibbles) & 0x00FF00FF00FF00FFU;
    nibbles = std::byteswap(((nibbles << 4U) | nibbles) & (ONES * 0xF));
    const std::uint64_t digits = nibbles + (ONES * '0') + ((((nibbles + (ONES * 6)) >> 4U) & ONES) * 7);
    std::memcpy(out, &digits, sizeof digits);
}

// UTF-8: one byte for ASCII, as every byte that the value rule reads; else a
// lead byte that counts the ones behind it, 6 bits each.
void put_utf8(std::string& text, std::uint32_t unit)
{
    const unsigned more = unit < 0x80 ? 0 : unit < 0x800 ? 1 : unit < 0x10000 ? 2 : 3;
    text += static_cast<char>(more == 0 ? unit : ((0xFF00U >> (more + 1)) & 0xFFU) | (unit >> (6 * more)));
    for (unsigned i = more; i-- > 0;) {
        text += static_cast<char>(0x80U | ((unit >> (6 * i)) & 0x3FU));
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
        std::ranges::copy(std::string_view("uv="), line);
        write_hex8(table[slot], line + 3);
        std::ranges::copy(std::string_view("\r\n"), line + 3 + FIELD_CHARS);
    }
    return text;
}

std::optional<finding> judge_table_length(std::uint64_t length, bool chosen)
{
    const finding_kind kind = length < TABLE_BYTES ? finding_kind::short_table
                              : chosen             ? finding_kind::cut_short_table
                                                   : finding_kind::beyond_table;
    const bool said = length < TABLE_BYTES || (chosen ? length % TABLE_BYTES != 0 : length > TABLE_BYTES);
    return said ? std::optional(finding{kind, 0, length}) : std::nullopt;
}

text_encoding encoding_of(std::span<const char> start)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(start[i]); };
    if (const std::string_view mark(start.data(), std::min<std::size_t>(start.size(), 2));
        mark == "\xFF\xFE" || mark == "\xFE\xFF") {
        return mark[0] == '\xFF' ? text_encoding::utf16_le : text_encoding::utf16_be;
    }
    const std::size_t looked = std::min<std::size_t>(start.size(), 64) & ~std::size_t{1};
    bool low_nul = looked >= 8;
    bool high_nul = looked >= 8;
    for (std::size_t i = 0; i < looked && (low_nul || high_nul); i += 2) {
        low_nul = low_nul && byte(i) != 0 && byte(i + 1) == 0;
        high_nul = high_nul && byte(i) == 0 && byte(i + 1) != 0;
    }
    return low_nul || high_nul ? text_encoding::utf16_unmarked : text_encoding::bytes;
}

std::string encoded_as(std::string ascii, text_encoding encoding)
{
    if (encoding != text_encoding::utf16_le && encoding != text_encoding::utf16_be) {
        return ascii;
    }
    std::string text;
    for (const char c : ascii) {
        text += encoding == text_encoding::utf16_be ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return text;
}

std::string utf16_decoder::decode(std::span<const char> chunk)
{
    std::string text;
    text.reserve(chunk.size());
    for (const char c : chunk) {
        if (odd_byte_ < 0) {
            odd_byte_ = static_cast<unsigned char>(c);
            continue;
        }
        const auto other = static_cast<std::uint32_t>(static_cast<unsigned char>(c));
        std::uint32_t unit = big_endian_ ? (static_cast<std::uint32_t>(odd_byte_) << 8U) | other
                                         : (other << 8U) | static_cast<std::uint32_t>(odd_byte_);
        odd_byte_ = -1;
        // Half a surrogate pair is no character: it reads as U+FFFD, which no
        // rule takes for a digit, rather than as nothing, so that a value it
        // stands in is not read as if it were not there.
        const bool paired = high_surrogate_ != 0 && unit >= 0xDC00 && unit < 0xE000;
        if (high_surrogate_ != 0 && !paired) {
            put_utf8(text, 0xFFFD);
        }
        unit = paired ? 0x10000 + ((high_surrogate_ - 0xD800) << 10U) + (unit - 0xDC00) : unit;
        high_surrogate_ = unit >= 0xD800 && unit < 0xDC00 ? unit : 0;
        if (high_surrogate_ == 0) {
            put_utf8(text, unit >= 0xDC00 && unit < 0xE000 ? 0xFFFD : unit);
        }
    }
    return text;
}

} // namespace txconv
