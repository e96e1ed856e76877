#pragma once

#include "platform/native_file.hpp"

namespace txconv {

// The whole run: menu, answer, path notice, at most one conversion. Returns
// the exit status. Each platform's entry point hands over its arguments.
int run_txconv(int argc, const path_char* const* argv);

} // namespace txconv
