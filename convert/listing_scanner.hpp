#pragma once

#include "convert/table_format.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace txconv {

// Reads a listing chunk by chunk into a value_table. Every '=' in the input
// starts a field of the eight bytes behind it, whatever stands in front of it
// and even inside another field; fields fill the slots in order. A field is
// read by hex_to_value, and one cut short by the end of the input ends there.
// Fields beyond the table's last slot are only counted.
//
// Fill space() with the next chunk, then call scan() with the number of bytes
// placed there; after the last chunk, call finish().
class listing_scanner {
public:
    static constexpr std::size_t CHUNK_BYTES = 64 * 1024;

    // Told the line (counted from 1) of each field that is stored as 0
    // because it is malformed.
    using malformed_sink = std::function<void(std::uint64_t line)>;

    // on_short is told the line of each field that keeps its value although
    // it is not 8 hex digits, because a NUL byte or the end of the input cut
    // it short: fine for reading, not for a strict check.
    explicit listing_scanner(malformed_sink on_malformed = {}, malformed_sink on_short = {});

    // Starts over on a new listing, keeping the buffer and the sinks.
    void reset();

    std::span<char> space();
    void scan(std::size_t count);
    void finish();

    const value_table& table() const { return table_; }
    std::uint64_t ignored() const { return ignored_; }
    std::size_t filled() const { return filled_; }
    // The line of the first field beyond the table's last slot, where lines
    // are counted (a sink was given); 0 when there was none.
    std::uint64_t first_ignored_line() const { return first_ignored_line_; }

private:
    bool full() const { return filled_ == TABLE_SLOTS; }
    void take_field(std::size_t at, std::size_t end);
    void count_lines_up_to(std::size_t at);
    void ignore_from(std::size_t at);
    bool counts_lines() const { return on_malformed_ || on_short_; }

    // A few bytes carried over from the previous chunk (an '=' whose field
    // had not arrived whole yet, and what follows it), then the chunk.
    std::unique_ptr<char[]> buffer_;
    std::size_t carried_ = 0;

    value_table table_{};
    std::size_t filled_ = 0;
    std::uint64_t ignored_ = 0;
    std::uint64_t first_ignored_line_ = 0;

    // Line numbers are counted lazily: line_ is the line at buffer offset
    // counted_.
    std::uint64_t line_ = 1;
    std::size_t counted_ = 0;
    malformed_sink on_malformed_;
    malformed_sink on_short_;
};

} // namespace txconv
