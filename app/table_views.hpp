#pragma once

// Looking inside tables: showing one, plotting one.

#include "convert/table_format.hpp"

#include <string>
#include <string_view>

namespace txconv {

// text in width characters, right-aligned.
std::string padded(std::string text, std::size_t width);

// One row per slot: the slot, the value in 8 upper-case hex digits and in
// decimal.
std::string shown_table(const value_table& values);

// A standalone SVG line chart of the values: slot across, value up, over the
// whole range a value can take, under title.
std::string plot_svg(const value_table& values, std::string_view title);

} // namespace txconv
