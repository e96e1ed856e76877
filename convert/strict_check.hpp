#pragma once

#include "convert/finding.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace txconv {

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
    // The current line: its length, its first KEPT bytes, whether it still
    // reads as written, and whether a CR waits to see what follows it.
    std::size_t column_ = 0;
    std::array<char, KEPT> text_{};
    bool right_ = true;
    bool carriage_return_ = false;
    std::vector<finding> bad_;
    std::uint64_t more_bad_ = 0;
};

} // namespace txconv
