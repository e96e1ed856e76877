#include "app/table_views.hpp"

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
    // One row per slot: the slot, the value in 8 hex digits and in decimal.
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        const std::string number = std::to_string(slot);
        const std::string hex = hex8(values[slot]);
        const std::string decimal = std::to_string(values[slot]);
        text += json ? (slot > 0 ? ", " : "") + std::string("{\"slot\": ") + number + ", \"hex\": \"" + hex +
                           "\", \"value\": " + decimal + "}"
                : csv ? (named ? csv_field(name) + "," : std::string()) + number + "," + hex + "," + decimal + "\n"
                      : padded(number, 2) + "  " + hex + "  " + padded(decimal, 10) + "\n";
    }
    return json ? text + "]}\n" : text;
}

std::string compared_values(const value_table& left, const value_table& right, output_format format,
                            std::string_view left_name, std::string_view right_name)
{
    const bool csv = format == output_format::csv;
    const bool json = format == output_format::json;
    std::string rows;
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        if (left[slot] == right[slot]) {
            continue;
        }
        // Each value in hex and in decimal, and how far the second lies from
        // the first; new columns and keys come after the old ones.
        const std::string number = std::to_string(slot);
        const std::string a = std::to_string(left[slot]);
        const std::string b = std::to_string(right[slot]);
        const std::int64_t change = std::int64_t{right[slot]} - std::int64_t{left[slot]};
        const std::string difference = (change > 0 ? "+" : "") + std::to_string(change);
        rows += json ? (rows.empty() ? "" : ", ") + std::string("{\"slot\": ") + number + ", \"a\": \"" +
                           hex8(left[slot]) + "\", \"b\": \"" + hex8(right[slot]) + "\", \"a_value\": " + a +
                           ", \"b_value\": " + b + ", \"difference\": " + std::to_string(change) + "}"
                : csv ? number + "," + hex8(left[slot]) + "," + hex8(right[slot]) + "," + a + "," + b + "," +
                            difference + "\n"
                      : padded(number, 2) + "  " + hex8(left[slot]) + "  " + hex8(right[slot]) + "  " + padded(a, 10) +
                            "  " + padded(b, 10) + "  " + padded(difference, 11) + "\n";
    }
    return json ? "{\"a\": " + json_string(left_name) + ", \"b\": " + json_string(right_name) + ", \"differences\": [" +
                      rows + "]}\n"
           : csv          ? "slot,a,b,a_value,b_value,difference\n" + rows
           : rows.empty() ? rows
                          : "--- " + std::string(left_name) + "\n+++ " + std::string(right_name) + "\n" + rows;
}

} // namespace txconv
