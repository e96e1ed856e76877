#pragma once

// The listing scanner's searches and its reading of lines as txconv writes
// them; not for other files.

#include "convert/table_format.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace txconv::scan {

inline const char* find_byte(const char* from, const char* end, char wanted)
{
    if (from == end) {
        return nullptr; // an empty range, which may have no address at all
    }
    return static_cast<const char*>(std::memchr(from, wanted, static_cast<std::size_t>(end - from)));
}

// Counts in blocks small enough that a byte holds each lane's tally, so that
// the compiler keeps the tallies in vector registers: a compare and a
// subtract for 16 bytes or more at a time, where a search per hit would pay
// a call for every line of a dense listing.
inline std::uint64_t count_byte(const char* from, const char* end, char wanted)
{
    // Where there is none at all, as in a file of NULs, the library's search
    // says so fastest.
    from = find_byte(from, end, wanted);
    if (from == nullptr) {
        return 0;
    }
    constexpr std::size_t LANES = 32;
    constexpr std::size_t BLOCK = LANES * 255;
    std::uint64_t count = 0;
    while (from != end) {
        const auto block = std::min(static_cast<std::size_t>(end - from), BLOCK);
        std::size_t i = 0;
        std::array<std::uint8_t, LANES> tallies{};
        for (; i + LANES <= block; i += LANES) {
            for (std::size_t lane = 0; lane < LANES; ++lane) {
                tallies[lane] = static_cast<std::uint8_t>(tallies[lane] + (from[i + lane] == wanted ? 1 : 0));
            }
        }
        for (const std::uint8_t tally : tallies) {
            count += tally;
        }
        for (; i < block; ++i) {
            count += from[i] == wanted ? 1 : 0;
        }
        from += block;
    }
    return count;
}

// Sixteen bytes, compared and combined all at once: the compiler makes these
// vector instructions wherever the machine has them (SSE2 on any x86-64).
using byte_lanes = unsigned char __attribute__((vector_size(16)));
using lane_masks = signed char __attribute__((vector_size(16)));

constexpr std::size_t LANES = sizeof(byte_lanes);

// The lanes of the sixteen bytes at hit, an '=', that keep them from being
// a field of 8 hexadecimal digits followed by one more line as txconv writes
// them: no '=' in the four bytes behind the digits, and an '=' right after
// those. All zero for such a line.
inline lane_masks wrong_lanes(const char* hit)
{
    // Lanes 1 to 8 hold the digits, 9 to 12 what stands between them and the
    // next line's '=', which is in lane 13.
    static_assert(FIELD_CHARS == 8 && LINE_BYTES == 13);
    constexpr lane_masks DIGITS = {0, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0};
    constexpr lane_masks BETWEEN = {0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0};
    constexpr lane_masks NEXT = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0};
    byte_lanes bytes;
    std::memcpy(&bytes, hit, LANES);
    // A byte lies in [low, low + count) when, moved so that low lands on the
    // smallest signed value, it stays below the smallest plus count: one add
    // and one signed compare.
    const auto within = [](byte_lanes b, unsigned char low, signed char count) {
        return reinterpret_cast<lane_masks>(b + static_cast<unsigned char>(0x80U - low)) <
               static_cast<signed char>(-128 + count);
    };
    const lane_masks hex = within(bytes, '0', 10) | within(bytes | 0x20, 'a', 6);
    const lane_masks equals = bytes == '=';
    return (DIGITS & ~hex) | (BETWEEN & equals) | (NEXT & ~equals);
}

inline bool no_lane_set(lane_masks lanes)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

// Whether the line at hit, an '=', is one as txconv writes it, and so is the
// start of the next: see wrong_lanes.
inline bool line_as_written(const char* hit)
{
    return no_lane_set(wrong_lanes(hit));
}

// The same for the LINES lines from hit on, with one test for all of them:
// nearly every line of a listing is as written, and the test is what a line
// costs most.
template <std::size_t LINES> bool lines_as_written(const char* hit)
{
    lane_masks wrong = wrong_lanes(hit);
    for (std::size_t i = 1; i < LINES; ++i) {
        wrong |= wrong_lanes(hit + (i * LINE_BYTES));
    }
    return no_lane_set(wrong);
}

} // namespace txconv::scan
