#pragma once

// Reads a listing chunk by chunk into a value_table, by the value rule:
// every '=' in the input starts a field of the eight bytes behind it,
// whatever stands in front of it and even inside another field, and fields
// fill the slots in order. A field is read by read_hex_field; one cut short
// by the end of the input ends there. Fields beyond the table's last slot
// are only counted. The memory it takes is one chunk, whatever the length.

#include "convert/conversions.hpp"
#include "convert/finding.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace txconv {

// Feed it the listing's chunks in order, of any size; after the last one,
// call finish().
class listing_scanner {
public:
    // Starts over on a new listing, reading the chosen run of 95 fields
    // rather than the first: what appending makes, one run per append.
    void reset(table_choice image = {});

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
    std::uint64_t images() const { return images_; }

private:
    // The field of the '=' at at, which ends at end.
    void take_field(std::size_t at, std::size_t end);
    void ignore_from(std::size_t at, std::uint64_t count);
    // The line of buffer offset at, counted on from the last one asked.
    std::uint64_t line_at(std::size_t at);

    // The bytes carried over from the last chunk (an '=' whose field had not
    // arrived whole, and what follows it), then the chunk.
    std::vector<char> buffer_;
    std::size_t carried_ = 0;

    value_table table_{};
    std::size_t filled_ = 0;
    // Fields still to pass over before the chosen run, whether the last run
    // is wanted, and how many fields the runs before table_'s held.
    std::uint64_t skip_ = 0;
    bool last_ = false;
    std::uint64_t fields_before_ = 0;
    std::uint64_t images_ = 0;
    std::vector<finding> findings_;
    // Where fields beyond the last slot are counted, once there are any.
    std::size_t ignored_at_ = 0;
    // line_ is the line at buffer offset counted_.
    std::uint64_t line_ = 1;
    std::size_t counted_ = 0;
};

} // namespace txconv
