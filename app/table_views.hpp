#pragma once

// Looking inside tables: showing one, comparing two.

#include "app/driver.hpp"
#include "convert/conversions.hpp"

#include <string>
#include <string_view>

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

} // namespace txconv
