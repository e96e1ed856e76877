#pragma once

// The picture --plot draws: a standalone SVG line chart of one table or of
// several on one set of axes.

#include "convert/conversions.hpp"

#include <span>
#include <string>

namespace txconv {

// The most tables one chart draws, each with a line of its own.
inline constexpr std::size_t MOST_PLOTTED = 12;

// One table on the chart, and the name its legend gives it.
struct plotted_table {
    const value_table* values = nullptr;
    std::string name;
};

// Slot across, value up; a line and a marker for each slot of each table
// (whose <title> gives slot and value, hex and decimal), light gridlines, and
// a legend where there are several. The value axis fits the data with round
// ticks, labelled in hex with the decimal below, unless full_range asks for
// the whole range a value can take; the axis says which.
std::string plot_svg(std::span<const plotted_table> tables, std::string_view title, bool full_range);

// The range a value axis spans, and its ticks: for the values, or all of
// 0 to 2^32-1 where full_range says so.
struct value_axis {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::uint64_t step = 1;
};
value_axis fit_axis(std::span<const plotted_table> tables, bool full_range);

} // namespace txconv
