#pragma once

// What convert/ offers the layers above: the two forms of a table, the rule
// by which a listing's fields are read, and the two directions as pure
// functions, bytes in and bytes or a table out. Nothing here touches a file
// or the system.

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

// Something about an input that its reader should hear of. Which of these
// only warn and which fail a conversion is the caller's call: a strict check
// fails on every one. The line kinds come from the strict check alone.
enum class finding_kind : std::uint8_t {
    malformed_field, // a field that is not hex digits; its slot holds 0 (line)
    short_field,     // a field that the end cut short; its digits count (line; count: digits; detail: value)
    values_ignored,  // fields beyond the last slot (count; line: the first one's)
    too_few_values,  // fewer fields than slots (count: how many there were)
    short_table,     // fewer bytes than one table: nothing to read (count: bytes)
    beyond_table,    // more bytes than one table; the first table is read (count: bytes)
    cut_short_table, // a chosen table read from a file that ends in part of one (count: bytes)
    goes_on,         // a stream that was read no further than this, as it went on (count: bytes)
    bad_line,        // not a line of "uv=" and 8 hex digits, as written (line)
    more_bad_lines,  // that many more such lines, past the ones found each (count)
    line_count,      // a listing of other than 95 lines (count: lines)
    utf16,           // a listing in UTF-16 behind its byte order mark (count: 1 where big-endian)
    long_value,      // a field of 8 digits with more behind it; the first 8 count (line; count: digits)
    other_key,       // a key other than most lines' (line; key, usual; count: 1 where values moved)
};

// What is wrong with a line that a strict check finds not as written.
enum class line_fault : std::uint8_t {
    other,                // none of the below: not a line of "uv=" and 8 hex digits
    byte_order_mark,      // the file starts with a UTF-8 byte order mark
    empty,                // nothing on the line
    no_key,               // no '=' on the line
    key_case,             // "UV=" or "Uv=": the key in another case
    other_key,            // a key other than "uv"
    space_before,         // a space or tab between the key and '=' (column)
    space_after,          // a space or tab between '=' and the digits (column)
    trailing_space,       // a space behind the digits, and nothing else (column)
    space,                // a space where digits belong (column)
    tab,                  // a tab (column)
    lone_carriage_return, // a CR without LF ends the line
    // Those with a detail come last.
    not_hex,     // a byte that is no hex digit (column; byte)
    few_digits,  // fewer than 8 digits (count: digits)
    many_digits, // more than 8 digits (count: digits)
};

struct finding {
    finding_kind kind = finding_kind::malformed_field;
    std::uint64_t line = 0; // counted from 1; 0 where no line applies
    std::uint64_t count = 0;
    // For a bad line: what is wrong, where in the line (from 1; 0 where no
    // place applies), and the byte that is; count holds the digits there are.
    line_fault fault = line_fault::other;
    std::uint32_t column = 0;
    std::uint32_t detail = 0;
    // For another key: the key, as far as it is kept, and the one most lines use.
    std::string key;
    std::string usual;

    bool operator==(const finding&) const = default;
};

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
// What Notepad may put before UTF-8 text: no part of the first line.
inline constexpr std::string_view UTF8_MARK = "\xEF\xBB\xBF";

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
value_table decode_table(const table_image& image);

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

// Reads a listing chunk by chunk into a value_table, by the value rule:
// every '=' in the input starts a field of the eight bytes behind it,
// whatever stands in front of it and even inside another field, and fields
// fill the slots in order. A field is read by read_hex_field; one cut short
// by the end of the input ends there. Fields beyond the table's last slot
// are only counted. The memory it takes is one chunk, whatever the length.
// Feed it the listing's chunks in order, of any size; after the last one,
// call finish().
class listing_scanner {
public:
    // Reads the chosen run of 95 fields rather than the first: what
    // appending makes, one run per append.
    explicit listing_scanner(table_choice choice = {});

    void feed(std::span<const char> chunk);
    void finish();

    const value_table& table() const { return table_; }
    // Whether the table is filled and no other run is wanted: what follows
    // is only counted.
    bool complete() const { return filled_ == TABLE_SLOTS && skip_ == 0 && !last_; }
    // In the order of the listing; at most one per slot and two more, so
    // their number is bounded whatever the input.
    const std::vector<finding>& findings() const { return findings_; }
    // After finish(): how many runs of 95 fields the listing holds, a last
    // short one included.
    std::uint64_t tables() const { return tables_; }
    // How many digits of a value typed too long are counted, at the most: a
    // long_value of that many may have more.
    static constexpr std::size_t DIGITS_COUNTED = 32;

private:
    // The field of the '=' at at, which ends at end.
    void take_field(std::size_t at, std::size_t end);
    // What stands between the start of the line and buffer offset at, its
    // last KEY_MOST bytes at the most.
    std::string key_before(std::size_t at) const;
    // The keys that differ from the one most of the run's lines use, in a
    // run of that many values.
    void judge_keys(std::uint64_t values);

    static constexpr std::size_t KEY_MOST = 16;
    // How many hex digits behind a field are counted, at the most; and the
    // digits behind the field that ends at at.
    static constexpr std::size_t MORE_DIGITS = DIGITS_COUNTED - FIELD_CHARS;
    std::size_t digits_behind(std::size_t at) const;
    void ignore_from(std::size_t at, std::uint64_t count);
    // The line of buffer offset at, counted on from the last one asked.
    std::uint64_t line_at(std::size_t at);

    // The last chunk, kept until the next one needs its place; from keep_ on,
    // the bytes it carries over to the next (an '=' whose field had not
    // arrived whole, and what follows it).
    std::vector<char> buffer_;
    std::size_t keep_ = 0;
    // The start of the line that the carried bytes stand in, as the chunk
    // before held it: the key of a field cut off from its line.
    std::string line_start_;
    // Of the fields that filled the run's slots, how many stand behind "uv",
    // and the others with their keys: one for each slot at the most.
    std::uint64_t uv_keys_ = 0;
    std::vector<finding> keys_;

    value_table table_{};
    std::size_t filled_ = 0;
    // Fields still to pass over before the chosen run, whether the last run
    // is wanted, and how many fields the runs before table_'s held.
    std::uint64_t skip_ = 0;
    bool last_ = false;
    std::uint64_t fields_before_ = 0;
    std::uint64_t tables_ = 0;
    std::vector<finding> findings_;
    // Where fields beyond the last slot are counted, once there are any.
    std::size_t ignored_at_ = 0;
    // line_ is the line at buffer offset counted_.
    std::uint64_t line_ = 1;
    std::size_t counted_ = 0;
};

// Checks a listing, chunk by chunk, against the form txconv writes, give or
// take line ends and the case of the digits: exactly 95 lines of "uv=" and 8
// hex digits, each ending in CR LF or LF, the last one perhaps in nothing.
// This is what a strict check asks; reading a listing asks far less. Each
// bad line is said with what is wrong with it, and where.
class strict_check {
public:
    // How many lines that depart from the form are named one by one.
    static constexpr std::size_t NAMED = 5;

    void feed(std::span<const char> chunk);
    // The departures, in the order of the listing: bad lines (the first
    // NAMED), how many more there were, and a wrong number of lines.
    std::vector<finding> finish();

private:
    // How much of a line is kept to say what is wrong with it: a line as
    // written and more than enough to see past it.
    static constexpr std::size_t KEPT = 32;

    void end_line(bool lone_carriage_return);

    std::uint64_t lines_ = 0;
    // The current line, made new as each one ends: its length, its first
    // KEPT bytes, where its last byte that is no space ends, where its first
    // '=' stands, the run of hex digits from where a value begins and the
    // byte that ended it (counted whole, however long the line), and whether
    // a CR waits to see what follows it.
    struct {
        std::size_t column = 0;
        std::size_t text_end = 0;
        std::size_t equals = std::string_view::npos;
        std::uint64_t digits = 0;
        int stop = -1;
        std::array<char, KEPT> text{};
        bool carriage_return = false;
    } line_;
    std::vector<finding> bad_;
    std::uint64_t more_bad_ = 0;
};

// How a listing's bytes are text, from its first bytes. Notepad's "Unicode"
// and "Unicode big endian" write UTF-16 behind a byte order mark; UTF-16
// without one shows as NUL at every other byte of the first 64 (a listing
// whose field ends in a NUL has them at no such even spacing).
enum class text_encoding : std::uint8_t { bytes, utf16_le, utf16_be, utf16_unmarked };
text_encoding encoding_of(std::span<const char> start);

// Turns UTF-16 into UTF-8, chunk by chunk, whatever the chunks' sizes: a
// byte or a surrogate that a chunk cuts in two waits for the next.
class utf16_decoder {
public:
    explicit utf16_decoder(bool big_endian) : big_endian_(big_endian) {}
    std::string decode(std::span<const char> chunk);

private:
    bool big_endian_;
    int odd_byte_ = -1;
    std::uint32_t high_surrogate_ = 0;
};

// ASCII text in the encoding given: in UTF-16 without a mark, as what is
// added behind a listing that Notepad saved so; else as it is.
std::string encoded_as(std::string ascii, text_encoding encoding);

} // namespace txconv
