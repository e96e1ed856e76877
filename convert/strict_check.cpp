#include "convert/conversions.hpp"

#include <algorithm>

namespace txconv {

namespace {

constexpr std::string_view KEY = "uv=";
// "uv=" and the digits.
constexpr std::size_t LINE_TEXT = 3 + FIELD_CHARS;

finding fault_at(line_fault fault, std::size_t at, std::uint32_t detail = 0)
{
    return {.fault = fault, .column = static_cast<std::uint32_t>(at + 1), .detail = detail};
}

// What is wrong with what follows "uv=": the run of hex digits there, and
// the byte that ended it, where one did. text_end is where the line's last
// byte that is no space ends.
finding judge_value(std::uint64_t digits, int stop, std::size_t text_end)
{
    const std::size_t at = KEY.size() + digits;
    if (stop == ' ' && digits == FIELD_CHARS && text_end <= at) {
        return fault_at(line_fault::trailing_space, at);
    }
    if (stop == ' ' || stop == '\t') {
        return fault_at(stop == ' ' ? line_fault::space : line_fault::tab, at);
    }
    if (stop >= 0) {
        return fault_at(line_fault::not_hex, at, static_cast<std::uint32_t>(stop));
    }
    if (digits != FIELD_CHARS) {
        return {.count = digits, .fault = digits < FIELD_CHARS ? line_fault::few_digits : line_fault::many_digits};
    }
    return {};
}

// What is wrong with a line that is not as written: the first fault met,
// reading it from the start. line is its first bytes, length its length,
// equals where its first '=' stands, however far, value what judge_value
// found of its value.
finding judge_line(std::string_view line, std::size_t length, std::size_t equals, std::uint64_t number,
                   bool lone_carriage_return, finding value)
{
    if (number == 1 && line.starts_with(UTF8_MARK)) {
        return {.fault = line_fault::byte_order_mark};
    }
    if (length == 0) {
        return {.fault = lone_carriage_return ? line_fault::lone_carriage_return : line_fault::empty};
    }
    if (equals == std::string_view::npos) {
        return {.fault = line_fault::no_key};
    }
    const std::size_t key_end = line.substr(0, equals).find_last_not_of(" \t") + 1;
    const std::string_view key = line.substr(0, key_end);
    const bool key_is_uv = key.size() == 2 && ascii_lower(key[0]) == 'u' && ascii_lower(key[1]) == 'v';
    if (!key_is_uv) {
        return {.fault = line_fault::other_key};
    }
    if (key_end < equals) {
        return fault_at(line_fault::space_before, key_end);
    }
    if (key != "uv") {
        return {.fault = line_fault::key_case};
    }
    if (equals + 1 < line.size() && (line[equals + 1] == ' ' || line[equals + 1] == '\t')) {
        return fault_at(line_fault::space_after, equals + 1);
    }
    if (value.fault == line_fault::other && lone_carriage_return) {
        value.fault = line_fault::lone_carriage_return;
    }
    return value;
}

} // namespace

void strict_check::end_line(bool lone_carriage_return)
{
    ++lines_;
    // As written: "uv=" and nothing but the 8 digits behind it.
    const bool as_written = line_.column == LINE_TEXT && line_.digits == FIELD_CHARS &&
                            std::string_view(line_.text.data(), KEY.size()) == KEY;
    if (!as_written || lone_carriage_return) {
        if (bad_.size() < NAMED) {
            finding found = judge_line(std::string_view(line_.text.data(), std::min(line_.column, KEPT)), line_.column,
                                       line_.equals, lines_, lone_carriage_return,
                                       judge_value(line_.digits, line_.stop, line_.text_end));
            found.kind = finding_kind::bad_line;
            found.line = lines_;
            bad_.push_back(found);
        } else {
            ++more_bad_;
        }
    }
    line_ = {};
}

void strict_check::feed(std::span<const char> chunk)
{
    for (const char c : chunk) {
        if (c == '\n') {
            end_line(false);
            continue;
        }
        if (line_.carriage_return) {
            // A CR on its own ends a line too, one not as written.
            end_line(true);
        }
        if (c == '\r') {
            line_.carriage_return = true;
            continue;
        }
        // Where the value's run of digits stands, a digit adds to it and
        // anything else ends it.
        const bool in_value = line_.column == KEY.size() + line_.digits;
        line_.digits += in_value && hex_digit(c) >= 0 ? 1U : 0U;
        line_.stop = in_value && hex_digit(c) < 0 ? static_cast<unsigned char>(c) : line_.stop;
        if (line_.column < KEPT) {
            line_.text[line_.column] = c;
        }
        ++line_.column;
        line_.text_end = c != ' ' ? line_.column : line_.text_end;
        line_.equals = c == '=' ? std::min(line_.equals, line_.column - 1) : line_.equals;
    }
}

std::vector<finding> strict_check::finish()
{
    if (line_.column > 0 || line_.carriage_return) {
        end_line(line_.carriage_return);
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
