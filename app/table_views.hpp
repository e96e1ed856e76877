#pragma once

// Looking inside tables: showing one, comparing two, and the picture
// --plot draws, a standalone SVG line chart of one table or of several on
// one set of axes.

#include "app/driver.hpp"

namespace txconv {

// What --show prints of one input's values: for text, a row per slot; for
// csv, "slot,hex,decimal" rows under a header row when header says so; for
// json, one object per input, on one line. named: the input is one of
// several, and is named in each form's own way.
std::string shown_values(const value_table& values, output_format format, std::string_view name, bool named,
                         bool header);

// What --diff prints of two inputs' values: for text, a "--- A" and a "+++ B"
// line, then a row per slot that differs, and nothing at all when none
// does; for csv and json, the slots that differ, however few.
std::string compared_values(const value_table& left, const value_table& right, output_format format,
                            std::string_view left_name, std::string_view right_name);

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
