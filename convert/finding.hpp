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

struct finding {
    finding_kind kind = finding_kind::malformed_field;
    std::uint64_t line = 0; // counted from 1; 0 where no line applies
    std::uint64_t count = 0;

    bool operator==(const finding&) const = default;
};

} // namespace txconv
