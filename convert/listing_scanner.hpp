#pragma once

#include "convert/finding.hpp"
#include "convert/table_format.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace txconv {

// Reads a listing chunk by chunk into a value_table. Every '=' in the input
// starts a field of the eight bytes behind it, whatever stands in front of it
// and even inside another field; fields fill the slots in order. A field is
// read by read_hex_field, and one cut short by the end of the input ends
// there. Fields beyond the table's last slot are only counted.
//
// Fill space() with the next chunk, then call scan() with the number of bytes
// placed there; after the last chunk, call finish(). The memory it takes is
// one chunk, whatever the listing's length.
class listing_scanner {
public:
    static constexpr std::size_t CHUNK_BYTES = 128 * 1024;

    // What the scanner reads into: the chunk and a few bytes carried over.
    // Each chunk is read to the same place, LEAD bytes in, where the system
    // copies fastest; the bytes carried over go just in front of it.
    static constexpr std::size_t LEAD = 64;
    static constexpr std::size_t BUFFER_BYTES = LEAD + CHUNK_BYTES;

    // Reads into buffer, of BUFFER_BYTES, where given; else into one of its
    // own, made on first use.
    explicit listing_scanner(std::span<char> buffer = {});

    // Starts over on a new listing, keeping the buffer.
    void reset();

    // Reads the chosen run of 95 fields rather than the first: what
    // appending makes, one run per append. Call after reset().
    void select_image(table_choice image);

    std::span<char> space();
    void scan(std::size_t count);
    void finish();

    const value_table& table() const { return table_; }
    // Whether the table is filled and no other run is wanted: what follows
    // is only counted.
    bool complete() const { return full() && skip_ == 0 && !last_; }
    // In the order of the listing; at most one per slot and two more, so
    // their number is bounded whatever the input.
    const std::vector<finding>& findings() const { return findings_; }
    // After finish(): how many runs of 95 fields the listing holds, a last
    // short one included.
    std::uint64_t images() const { return images_; }

private:
    bool full() const { return filled_ == TABLE_SLOTS; }
    // Another run of fields begins where the last one is wanted.
    void start_next_run();
    // A field that is not 8 hexadecimal digits, between at and end.
    void take_field(std::size_t at, std::size_t end);
    // Takes the field at hit and those of the lines behind it for as long as
    // each is exact and the next line's '=' follows it as txconv writes them;
    // returns the first '=' it did not take.
    const char* take_regular_lines(const char* hit, const char* end);
    void count_lines_up_to(std::size_t at);
    void ignore_from(std::size_t at, std::uint64_t count);

    // A few bytes carried over from the previous chunk (an '=' whose field
    // had not arrived whole yet, and what follows it), then the chunk.
    std::unique_ptr<char[]> owned_;
    char* buffer_ = nullptr;
    // Where the carried bytes and the current chunk begin.
    char* data_ = nullptr;
    std::size_t carried_ = 0;
    // After a scan, the chunk stays in place until the next one needs it;
    // what it keeps for that one lies between these.
    bool kept_ = false;
    std::size_t kept_from_ = 0;
    std::size_t kept_end_ = 0;

    value_table table_{};
    std::size_t filled_ = 0;
    // Fields still to pass over before the selected run, whether the last
    // run is wanted, and how many fields the runs before table_'s held.
    std::uint64_t skip_ = 0;
    bool last_ = false;
    std::uint64_t fields_before_ = 0;
    std::uint64_t images_ = 0;
    std::vector<finding> findings_;
    // Where fields beyond the last slot are counted, once there are any.
    std::size_t ignored_at_ = 0;

    // Line numbers are counted lazily: line_ is the line at buffer offset
    // counted_.
    std::uint64_t line_ = 1;
    std::size_t counted_ = 0;
};

} // namespace txconv
