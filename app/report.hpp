#pragma once

#include "fileio/file_access.hpp"

#include <string>

namespace txconv {

// Prints "txconv: " and line on standard error.
void print_diagnostic(const std::string& line);

// Prints "txconv: SUBJECT: REASON" on standard error.
void print_failure(const failure& failed);

} // namespace txconv
