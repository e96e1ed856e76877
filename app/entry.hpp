#pragma once

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// Which program the sources are built into, and what it can do that the
// other cannot.
struct front_end {
    // No console window: the windowed twin that Explorer's verbs start. It
    // has no menu, since there is nobody at a console to answer it.
    bool windowed = false;
    // Asks a question that Yes or No answers; where set, a target that
    // exists is asked about before it is replaced.
    bool (*ask)(std::string_view question) = nullptr;
};

// The whole run from the program's arguments; returns the exit status. Any
// option means the command-line mode; without one, the paths go to the menu.
int run_txconv(int argc, const path_char* const* argv, const front_end& how);

} // namespace txconv
