#pragma once

#include "platform/native_file.hpp"

#include <span>

namespace txconv {

// The run without the menu. Returns 0 when every file worked, 1 when any
// failed, 2 on a usage error.
int run_command_line(std::span<const path_string> arguments);

} // namespace txconv
