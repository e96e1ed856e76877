#pragma once

#include "app/messages.hpp"
#include "convert/conversions.hpp"
#include "fileio/outputs.hpp"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace txconv {

// What a job makes of its input.
enum class job_kind {
    convert, // the other form
    check,   // nothing: the input is only judged
    show,    // its values, as text on standard output
    plot,    // an SVG picture of its values
};

// One file to convert, and where its result goes.
struct job {
    path_string input; // "-" when from_standard_input
    bool from_standard_input = false;
    direction way = direction::to_table;
    // Where the result goes; none means standard output.
    std::optional<path_string> output;
    // The user typed the output's path, rather than txconv making it up.
    bool output_typed = false;
    write_mode mode = write_mode::append;
    // Any departure from the form txconv writes is an error: a listing must
    // be 95 lines of "uv=" and 8 hex digits, a table file one table.
    bool strict = false;
    job_kind kind = job_kind::convert;
    // Which table of a file that holds several, counted from 1; 0 for the
    // last. Chosen on purpose, so that the others go unsaid.
    std::uint64_t image = 1;
    bool image_chosen = false;
    // A line naming the input comes before what is shown of it.
    bool show_name = false;
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
