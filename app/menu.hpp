#pragma once

// The run without options, as Explorer starts it with the files dropped on
// the program: the two-line menu, its answer, the notice of the paths, and
// the jobs that append each result beside its input.

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// The cursor waits behind the underscore.
inline constexpr std::string_view MENU = "1 TXT to TX;\n2 TX to TXT_";

enum class menu_choice { none, txt_to_tx, tx_to_txt };

// The answer's leading decimal number, read as atoi reads it: white space,
// an optional sign, digits. Anything but 1 or 2, however large, is none.
menu_choice parse_choice(std::string_view answer);

// The run with the menu: it asks once, shows every path in one notice, and
// appends each one's result next to it; a failure gets its own notice and
// stops no other. Returns 1 when any conversion failed, else 0.
int run_menu(std::span<const path_string> paths);

} // namespace txconv
