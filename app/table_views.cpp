#include "app/table_views.hpp"
#include "app/translation.hpp"

namespace txconv {

namespace {

// text in width characters, right-aligned.
std::string padded(std::string text, std::size_t width)
{
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

// text as a JSON string: quoted, with quotes, backslashes and control
// characters escaped.
std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += c == '"' || c == '\\' ? std::string{'\\', c}
               : byte < 0x20
                   ? std::string{'\\', 'u', '0', '0', "0123456789abcdef"[byte >> 4U], "0123456789abcdef"[byte & 0xFU]}
                   : std::string(1, c);
    }
    return out + "\"";
}

// text as one CSV field: quoted, with its quotes doubled, where it holds a
// comma, a quote or a line end.
std::string csv_field(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

} // namespace

std::string shown_values(const value_table& values, output_format format, std::string_view name, bool named,
                         bool header)
{
    const bool csv = format == output_format::csv;
    const bool json = format == output_format::json;
    std::string text = json            ? "{\"file\": " + json_string(name) + ", \"slots\": ["
                       : csv && header ? std::string(named ? "file," : "") + "slot,hex,decimal\n"
                       : !csv && named ? std::string(name) + ":\n"
                                       : "";
    // One row per slot: the slot, the value in 8 hex digits and in decimal;
    // in columns for people.
    const std::string_view row = json  ? "%s{\"slot\": %s, \"hex\": \"%s\", \"value\": %s}"
                                 : csv ? "%s%s,%s,%s\n"
                                       : "%s%s  %s  %s\n";
    const std::size_t columns = json || csv ? 0 : 1;
    const std::string file = csv && named ? csv_field(name) + "," : "";
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        text += fill(row, {json && slot > 0 ? ", " : file, padded(std::to_string(slot), 2 * columns),
                           hex8(values[slot]), padded(std::to_string(values[slot]), 10 * columns)});
    }
    return json ? text + "]}\n" : text;
}

std::string compared_values(const value_table& left, const value_table& right, output_format format,
                            std::string_view left_name, std::string_view right_name)
{
    const bool csv = format == output_format::csv;
    const bool json = format == output_format::json;
    // Each value in hex and in decimal, and how far the second lies from the
    // first; new columns and keys come after the old ones.
    const std::string_view row =
        json  ? "%s{\"slot\": %s, \"a\": \"%s\", \"b\": \"%s\", \"a_value\": %s, \"b_value\": %s, \"difference\": %s}"
        : csv ? "%s%s,%s,%s,%s,%s,%s\n"
              : "%s%s  %s  %s  %s  %s  %s\n";
    const std::size_t columns = json || csv ? 0 : 1;
    std::string rows;
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        const std::int64_t change = std::int64_t{right[slot]} - std::int64_t{left[slot]};
        if (change != 0) {
            rows += fill(row, {json && !rows.empty() ? ", " : "", padded(std::to_string(slot), 2 * columns),
                               hex8(left[slot]), hex8(right[slot]), padded(std::to_string(left[slot]), 10 * columns),
                               padded(std::to_string(right[slot]), 10 * columns),
                               padded((change > 0 && !json ? "+" : "") + std::to_string(change), 11 * columns)});
        }
    }
    return json ? "{\"a\": " + json_string(left_name) + ", \"b\": " + json_string(right_name) + ", \"differences\": [" +
                      rows + "]}\n"
           : csv          ? "slot,a,b,a_value,b_value,difference\n" + rows
           : rows.empty() ? rows
                          : "--- " + std::string(left_name) + "\n+++ " + std::string(right_name) + "\n" + rows;
}

} // namespace txconv
