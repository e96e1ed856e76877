#pragma once

// What convert/ offers the layers above: the two forms of a table, the rule
// by which a listing's fields are read, and the two directions as pure
// functions, bytes in and bytes or a table out. Nothing here touches a file
// or the system.

#include "convert/finding.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// A table file is its values' bytes as they are in memory: that takes a
// little-endian machine, which every target is.
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

// The one hexadecimal digit rule: 0-9, A-F and a-f, and nothing else. The
// digit's value, or -1.
constexpr int hex_digit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

// c in lower case where it is an ASCII capital: the only case folding
// txconv does, whatever the locale.
constexpr char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value that text spells in hexadecimal, read up to its first NUL byte;
// nothing when it holds no digit there or any byte that is not a hexadecimal
// digit. Digits beyond the eighth push the first ones out at the top.
std::optional<std::uint32_t> read_hex_field(std::string_view text);

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

// What a whole listing reads as: its chosen table, what was found on the
// way, and how many runs of 95 fields it holds.
struct listing_reading {
    value_table table{};
    std::vector<finding> findings;
    std::uint64_t tables = 1;
};

// Listing to table, for a listing that is all in memory; the driver reads
// one chunk at a time through listing_scanner instead, by the same rule.
listing_reading txt_to_tx(std::string_view listing, table_choice choice = {});

// Table to listing: the listing of the table image.
listing_text tx_to_txt(std::span<const char, TABLE_BYTES> image);

} // namespace txconv
