#pragma once

#include "platform/native_file.hpp"

namespace txconv {

// The whole run; returns the exit status. Each platform's entry point hands
// over its arguments. Any option means the command-line mode; without one,
// the paths go to the menu.
int run_txconv(int argc, const path_char* const* argv);

} // namespace txconv
