#pragma once

// Looking inside tables: showing one, plotting one, comparing two.

#include "app/driver.hpp"
#include "convert/table_format.hpp"

#include <span>
#include <string>
#include <string_view>

namespace txconv {

// One row per slot: the slot, the value in 8 upper-case hex digits and in
// decimal.
std::string shown_table(const value_table& values);

// A standalone SVG line chart of the values: slot across, value up, over the
// whole range a value can take, under title.
std::string plot_svg(const value_table& values, std::string_view title);

// Compares the tables of two jobs, each a listing or a table file. Prints
// the slots that differ, with both values, unless quiet. Returns 0 when they
// are equal, 1 when they differ, 2 when either could not be read, as cmp
// and diff do.
int run_diff(std::span<const job> pair, bool quiet);

} // namespace txconv
