#pragma once

#include "convert/finding.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace txconv {

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

// The table file's image: the slots in order, each a little-endian word.
table_image encode_table(const value_table& table);
value_table decode_table(std::span<const char, TABLE_BYTES> image);

// One "uv=XXXXXXXX\r\n" line per slot, slot 0 first.
listing_text format_listing(const value_table& table);

// What the length of a table file says: fewer bytes than one table leave
// nothing to read; more that are not whole tables do not make a table file.
// Nothing for a length of whole tables.
std::optional<finding> judge_table_length(std::uint64_t length);

} // namespace txconv
