#pragma once

#include "convert/finding.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace txconv {

enum class direction {
    to_table,   // a listing in, a table out
    to_listing, // a table in, a listing out
};

// The extension of the files that a direction makes.
constexpr std::string_view made_extension(direction way)
{
    return way == direction::to_table ? "tx" : "txt";
}

// A table file is its values' bytes as they are in memory, and formatting
// reads digits a word at a time: both take a little-endian machine, which
// every target is.
static_assert(std::endian::native == std::endian::little, "txconv assumes a little-endian machine");

inline constexpr std::size_t TABLE_SLOTS = 95;
inline constexpr std::size_t TABLE_BYTES = TABLE_SLOTS * 4;
inline constexpr std::size_t FIELD_CHARS = 8;
// "uv=", eight hexadecimal digits, CR LF.
inline constexpr std::size_t LINE_BYTES = 13;
inline constexpr std::size_t LISTING_BYTES = TABLE_SLOTS * LINE_BYTES;

using value_table = std::array<std::uint32_t, TABLE_SLOTS>;
using table_image = std::array<char, TABLE_BYTES>;
using listing_text = std::array<char, LISTING_BYTES>;

// The value that text spells in hexadecimal, read up to its first NUL byte;
// nothing when it holds no digit there or any byte that is not a hexadecimal
// digit. Digits beyond the eighth push the first ones out at the top.
std::optional<std::uint32_t> read_hex_field(std::string_view text);

namespace detail {

inline constexpr std::uint64_t EACH_BYTE = 0x0101010101010101U;
inline constexpr std::uint64_t HIGH_BITS = 0x80U * EACH_BYTE;

// The high bit of each byte of x that lies in [low, high], where no byte of
// x has its high bit set, so that no byte's sum carries into the next.
constexpr std::uint64_t bytes_within(std::uint64_t x, std::uint8_t low, std::uint8_t high)
{
    const std::uint64_t at_least_low = x + (0x80U - low) * EACH_BYTE;
    const std::uint64_t above_high = x + (0x7FU - high) * EACH_BYTE;
    return at_least_low & ~above_high & HIGH_BITS;
}

} // namespace detail

// The value of FIELD_CHARS bytes at field that are known to be hexadecimal
// digits.
inline std::uint32_t digits_value(const char* field)
{
    using namespace detail;
    std::uint64_t x = 0;
    std::memcpy(&x, field, sizeof x);
    // A letter has bit 6 set and counts 9 more than its low nibble. Byte
    // swapped, the first digit is the most significant byte; neighbouring
    // digits are then folded together, twice as wide each time.
    std::uint64_t y = std::byteswap((x & (0x0FU * EACH_BYTE)) + ((x >> 6U) & EACH_BYTE) * 9U);
    y = (y | (y >> 4U)) & 0x00FF00FF00FF00FFU;
    y = (y | (y >> 8U)) & 0x0000FFFF0000FFFFU;
    return static_cast<std::uint32_t>(y | (y >> 16U));
}

// The same for exactly FIELD_CHARS bytes at field, which must all be
// hexadecimal digits: the common case, where a listing as written spends
// most of its reading. The eight bytes are read as one word, and a few
// operations judge and convert all of them at once.
inline std::optional<std::uint32_t> read_exact_field(const char* field)
{
    using namespace detail;
    std::uint64_t x = 0;
    std::memcpy(&x, field, sizeof x);
    const std::uint64_t digits = bytes_within(x, '0', '9');
    const std::uint64_t letters = bytes_within(x | (0x20U * EACH_BYTE), 'a', 'f');
    if ((x & HIGH_BITS) != 0 || (digits | letters) != HIGH_BITS) {
        return std::nullopt;
    }
    return digits_value(field);
}

// The table file's image: the slots in order, each a little-endian word.
table_image encode_table(const value_table& table);
value_table decode_table(std::span<const char, TABLE_BYTES> image);

// One "uv=XXXXXXXX\r\n" line per slot, slot 0 first.
listing_text format_listing(const value_table& table);

// What the length of a table file says: fewer bytes than one table leave
// nothing to read, and more hold more than the table that is read, unless
// that table was chosen on purpose from several. Either way, a file that
// ends in part of a table was cut short. Nothing for exactly one table.
std::optional<finding> judge_table_length(std::uint64_t length, bool chosen);

// Which table of a file that holds several: the n-th, counted from 1, or
// the last, what the latest append added.
struct table_choice {
    std::uint64_t number = 1;
    bool last = false;
};

// value in 8 upper-case hexadecimal digits.
std::string hex8(std::uint32_t value);

} // namespace txconv
