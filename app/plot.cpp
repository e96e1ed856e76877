#include "app/messages.hpp"
#include "app/table_views.hpp"
#include "app/translation.hpp"

#include <algorithm>
#include <cmath>

namespace txconv {

namespace {

// What the chart is made of, in SVG user units.
constexpr double WIDTH = 800;
constexpr double HEIGHT = 480;
constexpr double LEFT = 110;
constexpr double RIGHT = 20;
constexpr double TOP = 48;
constexpr double BOTTOM = 60;
constexpr std::uint64_t HIGHEST = 0xFFFFFFFFU;
// As many ticks as a reader takes in at a glance, about.
constexpr std::uint64_t TICKS = 6;

// Where several tables share a chart, their legend stands in a column of
// its own right of the plotting area, one row each.
constexpr double LEGEND = 190;
constexpr double ROW = 16;
// Told apart by people who tell few colours apart, too, and past six by a
// dash as well: no two lines of a chart alike.
constexpr std::string_view COLOURS[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b"};
constexpr std::string_view DASHES[] = {"none", "7 4"};
static_assert(std::size(COLOURS) * std::size(DASHES) == MOST_PLOTTED);
// How wide text is at most, in ems: a conservative guess for any sans-serif
// font, so that what is cut to fit does fit.
constexpr double EM_ASCII = 0.62;
constexpr double EM_WIDE = 1.0;

double x_of(std::size_t slot, double right)
{
    return LEFT + static_cast<double>(slot) * (right - LEFT) / static_cast<double>(TABLE_SLOTS - 1);
}

// How wide text of size is at most, by the guess above.
double width_of(std::string_view text, double size)
{
    double ems = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        ems += byte < 0x80 ? EM_ASCII : (byte & 0xC0U) == 0xC0U ? EM_WIDE : 0;
    }
    return ems * size;
}

// text, cut in the middle between characters until it fits width at size.
std::string fitted(std::string_view text, double width, double size)
{
    if (width_of(text, size) <= width) {
        return std::string(text);
    }
    // A third from each end at most, then a byte less of each until it fits.
    for (std::size_t head = text.size() / 3, keep = head;;) {
        const std::string_view front = utf8_prefix(text, head);
        const std::string_view back = utf8_suffix(text, keep);
        std::string cut = std::string(front) + "..." + std::string(back);
        if (width_of(cut, size) <= width || (front.empty() && back.empty())) {
            return cut;
        }
        head = front.empty() ? 0 : front.size() - 1;
        keep = back.empty() ? 0 : back.size() - 1;
    }
}

double y_of(std::uint64_t value, const value_axis& axis)
{
    const double span = static_cast<double>(axis.high - axis.low);
    return TOP + (HEIGHT - TOP - BOTTOM) * (1 - static_cast<double>(value - axis.low) / span);
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
    constexpr std::string_view MARKUP = "&<>\"'";
    constexpr std::string_view ENTITIES[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    std::string out;
    for (const char c : text) {
        const std::size_t which = MARKUP.find(c);
        out += which == std::string_view::npos ? std::string_view(&c, 1) : ENTITIES[which];
    }
    return out;
}

std::string label(double x, double y, std::string_view anchor, std::string_view text, std::string_view style = {})
{
    return "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" text-anchor=\"" + std::string(anchor) + "\"" +
           (style.empty() ? "" : " " + std::string(style)) + ">" + escaped(text) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, std::string_view style = {})
{
    return "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" + number(y2) +
           "\"" + (style.empty() ? "" : " " + std::string(style)) + "/>\n";
}

// The colour and the dash of the chart's nth line.
std::string stroke(std::size_t nth)
{
    return "stroke=\"" + std::string(COLOURS[nth % std::size(COLOURS)]) + "\" stroke-dasharray=\"" +
           std::string(DASHES[nth / std::size(COLOURS)]) + "\"";
}

// The step between round ticks: 1, 2 or 5 times a power of ten, the least
// that spans the range in at most TICKS steps.
std::uint64_t round_step(std::uint64_t range)
{
    for (std::uint64_t power = 1;; power *= 10) {
        for (const std::uint64_t times : {1U, 2U, 5U}) {
            if (range <= power * times * TICKS) {
                return power * times;
            }
        }
    }
}

// The axes, the gridlines behind the data, and their labels.
std::string axes(const value_axis& axis, bool full_range, double right)
{
    const double bottom = HEIGHT - BOTTOM;
    const auto at_slot = [right](std::size_t slot) { return x_of(slot, right); };
    std::string grid = "<g stroke=\"#e4e4e4\" stroke-width=\"1\">\n";
    std::string marks =
        "<g stroke=\"black\" stroke-width=\"1\">\n" + line(LEFT, TOP, LEFT, bottom) + line(LEFT, bottom, right, bottom);
    std::string labels = "<g fill=\"black\">\n";
    for (std::size_t slot = 0; slot < TABLE_SLOTS; slot += 10) {
        grid += line(at_slot(slot), TOP, at_slot(slot), bottom);
        marks += line(at_slot(slot), bottom, at_slot(slot), bottom + 5);
        labels += label(at_slot(slot), bottom + 18, "middle", std::to_string(slot));
    }
    for (std::uint64_t tick = axis.low; tick <= axis.high; tick += axis.step) {
        const double y = y_of(tick, axis);
        grid += line(LEFT, y, right, y);
        marks += line(LEFT - 5, y, LEFT, y);
        labels += label(LEFT - 8, y, "end", "0x" + hex8(static_cast<std::uint32_t>(tick)));
        labels += label(LEFT - 8, y + 11, "end", std::to_string(tick), "font-size=\"10\" fill=\"#666666\"");
    }
    labels += label((LEFT + right) / 2, HEIGHT - 16, "middle", tr("slot"));
    labels += "<text transform=\"translate(20 " + number((TOP + bottom) / 2) +
              ") rotate(-90)\" text-anchor=\"middle\">" +
              std::string(full_range ? tr("value (full range 0 to 2^32-1)") : tr("value (range fitted to the data)")) +
              "</text>\n";
    return grid + "</g>\n" + marks + "</g>\n" + labels + "</g>\n";
}

// One table's line, the nth of the chart, with a marker for each slot that
// says what it holds; drawn a little see-through, so that a line under
// another still shows.
std::string series(const plotted_table& table, std::size_t nth, const value_axis& axis, double right)
{
    std::string points;
    std::string markers = "<g fill=\"" + std::string(COLOURS[nth % std::size(COLOURS)]) + "\" fill-opacity=\"0.8\">\n";
    for (std::size_t slot = 0; slot < TABLE_SLOTS; ++slot) {
        const std::uint32_t value = (*table.values)[slot];
        const std::string x = number(x_of(slot, right));
        const std::string y = number(y_of(value, axis));
        points += (slot > 0 ? " " : "") + x + "," + y;
        markers += "<circle cx=\"" + x + "\" cy=\"" + y + "\" r=\"2.5\"><title>" +
                   escaped(fill(tr("%s, slot %s: %s (%s)"),
                                {table.name, std::to_string(slot), "0x" + hex8(value), std::to_string(value)})) +
                   "</title></circle>\n";
    }
    return "<polyline fill=\"none\" " + stroke(nth) + " stroke-opacity=\"0.8\" stroke-width=\"1.5\" points=\"" +
           points + "\"><title>" + escaped(table.name) + "</title></polyline>\n" + markers + "</g>\n";
}

// Which line stands for which table, in a column right of the plotting
// area: each row a stretch of the line, and the name, cut to fit.
std::string legend(std::span<const plotted_table> tables, double right)
{
    const double x = right + 12;
    std::string svg = "<g class=\"legend\">\n";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const double y = TOP + 12 + (ROW * static_cast<double>(i));
        svg += line(x, y - 4, x + 24, y - 4, stroke(i) + " stroke-width=\"2\"");
        svg += label(x + 30, y, "start", fitted(tables[i].name, WIDTH - (x + 30) - 4, 12));
    }
    return svg + "</g>\n";
}

} // namespace

value_axis fit_axis(std::span<const plotted_table> tables, bool full_range)
{
    if (full_range) {
        return {0, HIGHEST, std::uint64_t{1} << 30U};
    }
    std::uint64_t low = HIGHEST;
    std::uint64_t high = 0;
    for (const plotted_table& table : tables) {
        const auto [least, most] = std::minmax_element(table.values->begin(), table.values->end());
        low = std::min<std::uint64_t>(low, *least);
        high = std::max<std::uint64_t>(high, *most);
    }
    if (low == high) {
        // A flat table gets a range of its own around its value.
        const std::uint64_t spread = std::max<std::uint64_t>(high / 10, 5);
        low = low > spread ? low - spread : 0;
        high = std::min(high + spread, HIGHEST);
    }
    const std::uint64_t step = round_step(high - low);
    const std::uint64_t top = (high + step - 1) / step * step;
    return {low / step * step, std::min(top, HIGHEST), step};
}

std::string plot_svg(std::span<const plotted_table> tables, std::string_view title, bool full_range)
{
    const value_axis axis = fit_axis(tables, full_range);
    // The right edge of the plotting area.
    const double right = WIDTH - RIGHT - (tables.size() > 1 ? LEGEND : 0);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"480\" viewBox=\"0 0 800 480\" "
                      "font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<title>" + escaped(title) + "</title>\n<rect width=\"800\" height=\"480\" fill=\"white\"/>\n";
    // The plotting area, drawn as nothing: what the legend and the title keep out of.
    svg += "<rect class=\"plot-area\" x=\"" + number(LEFT) + "\" y=\"" + number(TOP) + "\" width=\"" +
           number(right - LEFT) + "\" height=\"" + number(HEIGHT - TOP - BOTTOM) + "\" fill=\"none\"/>\n";
    svg += label(WIDTH / 2, 26, "middle", fitted(title, WIDTH - 20, 16), "font-size=\"16\"");
    svg += axes(axis, full_range, right);
    for (std::size_t i = 0; i < tables.size(); ++i) {
        svg += series(tables[i], i, axis, right);
    }
    if (tables.size() > 1) {
        svg += legend(tables, right);
    }
    return svg + "</svg>\n";
}

} // namespace txconv
