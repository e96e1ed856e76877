#include "app/table_views.hpp"

#include <cmath>

namespace txconv {

namespace {

// What the plot is made of, in SVG user units.
constexpr double WIDTH = 800;
constexpr double HEIGHT = 480;
constexpr double LEFT = 110;
constexpr double RIGHT = 20;
constexpr double TOP = 40;
constexpr double BOTTOM = 60;
constexpr double HIGHEST = 4294967295.0;

double x_of(double slot)
{
    return LEFT + slot * (WIDTH - LEFT - RIGHT) / static_cast<double>(TABLE_SLOTS - 1);
}

double y_of(double value)
{
    return TOP + (HEIGHT - TOP - BOTTOM) * (1 - value / HIGHEST);
}

// A coordinate to a tenth: plain digits, no printf machinery for three
// decimals in a static binary.
std::string number(double value)
{
    const auto tenths = static_cast<std::uint64_t>(std::llround(value * 10));
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// Text for XML: the five characters that could end or open markup.
std::string escaped(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string label(double x, double y, std::string_view anchor, std::string_view text)
{
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" + std::string(anchor) + "\">" +
           escaped(text) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2)
{
    return "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" + number(y2) +
           "\"/>\n";
}

} // namespace

std::string padded(std::string text, std::size_t width)
{
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

namespace {

// text as a JSON string: quoted, with quotes, backslashes and control
// characters escaped.
std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[byte >> 4U];
            out += "0123456789abcdef"[byte & 0xFU];
        } else {
            out += c;
        }
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
    std::string text;
    switch (format) {
    case output_format::text:
        return (named ? std::string(name) + ":\n" : std::string()) + shown_table(values);
    case output_format::csv:
        text = header ? (named ? "file,slot,hex,decimal\n" : "slot,hex,decimal\n") : "";
        for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
            text += (named ? csv_field(name) + "," : std::string()) + std::to_string(slot) + "," + hex8(values[slot]) +
                    "," + std::to_string(values[slot]) + "\n";
        }
        return text;
    case output_format::json:
        text = "{\"file\": " + json_string(name) + ", \"slots\": [";
        for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
            text += (slot > 0 ? ", " : "") + std::string("{\"slot\": ") + std::to_string(slot) + ", \"hex\": \"" +
                    hex8(values[slot]) + "\", \"value\": " + std::to_string(values[slot]) + "}";
        }
        return text + "]}\n";
    }
    return text;
}

std::string compared_values(const value_table& left, const value_table& right, output_format format,
                            std::string_view left_name, std::string_view right_name)
{
    std::string rows;
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        if (left[slot] == right[slot]) {
            continue;
        }
        switch (format) {
        case output_format::text:
            rows += padded(std::to_string(slot), 2) + "  " + hex8(left[slot]) + "  " + hex8(right[slot]) + "\n";
            break;
        case output_format::csv:
            rows += std::to_string(slot) + "," + hex8(left[slot]) + "," + hex8(right[slot]) + "\n";
            break;
        case output_format::json:
            rows += (rows.empty() ? "" : ", ") + std::string("{\"slot\": ") + std::to_string(slot) + ", \"a\": \"" +
                    hex8(left[slot]) + "\", \"b\": \"" + hex8(right[slot]) + "\"}";
            break;
        }
    }
    switch (format) {
    case output_format::text:
        return rows.empty() ? rows : "--- " + std::string(left_name) + "\n+++ " + std::string(right_name) + "\n" + rows;
    case output_format::csv:
        return "slot,a,b\n" + rows;
    case output_format::json:
        return "{\"a\": " + json_string(left_name) + ", \"b\": " + json_string(right_name) + ", \"differences\": [" +
               rows + "]}\n";
    }
    return rows;
}

std::string shown_table(const value_table& values)
{
    std::string text;
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        text += padded(std::to_string(slot), 2) + "  " + hex8(values[slot]) + "  " +
                padded(std::to_string(values[slot]), 10) + "\n";
    }
    return text;
}

std::string plot_svg(const value_table& values, std::string_view title)
{
    const double bottom = HEIGHT - BOTTOM;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"480\" viewBox=\"0 0 800 480\" "
                      "font-family=\"sans-serif\" font-size=\"12\">\n"
                      "<rect width=\"800\" height=\"480\" fill=\"white\"/>\n";
    svg += "<title>" + escaped(title) + "</title>\n";
    svg += "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-size=\"16\">" + escaped(title) + "</text>\n";
    svg += "<g stroke=\"black\" stroke-width=\"1\">\n" + line(LEFT, TOP, LEFT, bottom) +
           line(LEFT, bottom, WIDTH - RIGHT, bottom);
    for (std::size_t slot = 0; slot < TABLE_SLOTS; slot += 10) {
        svg += line(x_of(static_cast<double>(slot)), bottom, x_of(static_cast<double>(slot)), bottom + 5);
    }
    for (int quarter = 0; quarter <= 4; ++quarter) {
        svg += line(LEFT - 5, y_of(HIGHEST * quarter / 4), LEFT, y_of(HIGHEST * quarter / 4));
    }
    svg += "</g>\n<g fill=\"black\">\n";
    for (std::size_t slot = 0; slot < TABLE_SLOTS; slot += 10) {
        svg += label(x_of(static_cast<double>(slot)), bottom + 18, "middle", std::to_string(slot));
    }
    static constexpr std::string_view ticks[] = {"0x00000000", "0x40000000", "0x80000000", "0xC0000000", "0xFFFFFFFF"};
    for (int quarter = 0; quarter <= 4; ++quarter) {
        svg += label(LEFT - 8, y_of(HIGHEST * quarter / 4) + 4, "end", ticks[quarter]);
    }
    svg += label((LEFT + WIDTH - RIGHT) / 2, HEIGHT - 16, "middle", "slot");
    svg += "<text transform=\"translate(20 " + number((TOP + bottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">value (fixed range 0 to 2^32-1)</text>\n</g>\n";
    svg += "<polyline fill=\"none\" stroke=\"#1f77b4\" stroke-width=\"2\" points=\"";
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        if (slot > 0) {
            svg += ' ';
        }
        svg += number(x_of(static_cast<double>(slot)));
        svg += ',';
        svg += number(y_of(static_cast<double>(values[slot])));
    }
    return svg + "\"/>\n</svg>\n";
}

} // namespace txconv
