#pragma once

#include "app/messages.hpp"
#include "convert/conversions.hpp"
#include "fileio/outputs.hpp"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace txconv {

// One file to convert, and where its result goes.
struct job {
    path_string input; // "-" when from_standard_input
    bool from_standard_input = false;
    // None when nothing says whether the input is a listing or a table.
    std::optional<direction> way;
    // Where the result goes; none means standard output.
    std::optional<path_string> output;
    // The user typed the output's path, rather than txconv making it up.
    bool output_typed = false;
    write_mode mode = write_mode::append;
    // Every finding is an error, and a listing must hold exactly 95 fields
    // of 8 hex digits, a table file whole tables.
    bool strict = false;
    // Read and judge the input; write nothing.
    bool check_only = false;
};

// How the run talks to the user.
struct run_style {
    bool notices = false; // a notice for each failure, as the menu shows them
    bool verbose = false; // a line for each file that worked
    bool quiet = false;   // no warnings
};

struct run_summary {
    bool any_failed = false;
    // Outputs written although their inputs warned, and those warnings: what
    // a closing notice quotes.
    std::vector<warned_output> warned;
    std::vector<std::string> warnings;
};

// Runs the jobs in order: reads and converts each, stages its output, commits
// the outputs together, then reports every job in its order.
run_summary run_jobs(std::span<const job> jobs, const run_style& style);

} // namespace txconv
