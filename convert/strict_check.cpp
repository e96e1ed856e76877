#include "convert/strict_check.hpp"

#include "convert/table_format.hpp"

#include <string_view>

namespace txconv {

namespace {

constexpr std::string_view KEY = "uv=";
// "uv=" and the digits.
constexpr std::size_t LINE_TEXT = 3 + FIELD_CHARS;

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

void strict_check::end_line()
{
    ++lines_;
    if (!(right_ && column_ == LINE_TEXT)) {
        if (bad_.size() < NAMED) {
            bad_.push_back({finding_kind::bad_line, lines_, 0});
        } else {
            ++more_bad_;
        }
    }
    column_ = 0;
    right_ = true;
    carriage_return_ = false;
}

void strict_check::feed(std::span<const char> chunk)
{
    for (const char c : chunk) {
        if (c == '\n') {
            end_line();
            continue;
        }
        if (carriage_return_) {
            // A CR on its own ends a line too, one not as written.
            right_ = false;
            end_line();
        }
        if (c == '\r') {
            right_ = right_ && column_ == LINE_TEXT;
            carriage_return_ = true;
            continue;
        }
        const bool fits = column_ < KEY.size() ? c == KEY[column_] : column_ < LINE_TEXT && is_hex(c);
        right_ = right_ && fits;
        ++column_;
    }
}

std::vector<finding> strict_check::finish()
{
    if (carriage_return_) {
        right_ = false;
    }
    if (column_ > 0 || carriage_return_) {
        end_line();
    }
    std::vector<finding> departures = std::move(bad_);
    if (more_bad_ > 0) {
        departures.push_back({finding_kind::more_bad_lines, 0, more_bad_});
    }
    if (lines_ != TABLE_SLOTS) {
        departures.push_back({finding_kind::line_count, 0, lines_});
    }
    return departures;
}

} // namespace txconv
