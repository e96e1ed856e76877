#pragma once

#include <cstdint>

namespace txconv {

// Something about an input that its reader should hear of. Which of these
// only warn and which fail a conversion is the caller's call: a strict check
// fails on every one. The line kinds come from the strict check alone.
enum class finding_kind : std::uint8_t {
    malformed_field, // a field that is not hex digits; its slot holds 0 (line)
    short_field,     // a field that a NUL or the end cut short; its digits count (line)
    values_ignored,  // fields beyond the last slot (count; line: the first one's)
    too_few_values,  // fewer fields than slots (count: how many there were)
    short_table,     // fewer bytes than one table: nothing to read (count: bytes)
    beyond_table,    // more bytes than one table; the first table is read (count: bytes)
    cut_short_table, // a chosen table read from a file that ends in part of one (count: bytes)
    goes_on,         // a stream that was read no further than this, as it went on (count: bytes)
    bad_line,        // not a line of "uv=" and 8 hex digits, as written (line)
    more_bad_lines,  // that many more such lines, past the ones found each (count)
    line_count,      // a listing of other than 95 lines (count: lines, 96 for more)
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
    not_hex,              // a byte that is no hex digit (column; byte)
    few_digits,           // fewer than 8 digits (digits)
    many_digits,          // more than 8 digits (digits)
    lone_carriage_return, // a CR without LF ends the line
};

struct finding {
    finding_kind kind = finding_kind::malformed_field;
    std::uint64_t line = 0; // counted from 1; 0 where no line applies
    std::uint64_t count = 0;
    // For a bad line: what is wrong, where in the line (from 1; 0 where no
    // place applies), and the byte that is, or the digits there are.
    line_fault fault = line_fault::other;
    std::uint32_t column = 0;
    std::uint32_t detail = 0;

    bool operator==(const finding&) const = default;
};

} // namespace txconv
