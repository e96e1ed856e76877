#pragma once

// The jobs a run is made of, in either mode, and the one driver that runs
// them: it plans each job's output, reads and converts its inputs, stages
// and commits the outputs together, then reports every job in its order. It
// reaches files only through fileio/.

#include "convert/conversions.hpp"
#include "fileio/file_access.hpp"

#include <variant>

namespace txconv {

// How --show and --diff print what they find: for people, or for scripts.
enum class output_format { text, csv, json };

// What a job makes of its input.
enum class job_kind {
    convert, // the other form
    check,   // nothing: the input is only judged
    show,    // its values, as text
    plot,    // an SVG picture of its values
    diff,    // the slots in which it and a second input differ
};

// One input of a job: a file or standard input, and how to read it.
struct job_source {
    subject from;
    // to_table: it is a listing; to_listing: it is a table file.
    direction way = direction::to_table;
};

// One file to convert, check, show, plot or compare, and where its result
// goes: every job of every mode, standard streams included, runs through
// the same steps.
struct job {
    job_kind kind = job_kind::convert;
    // Its inputs in the order given: one, or the two of a comparison, or the
    // tables of one chart. The first names the job.
    std::vector<job_source> inputs;
    const job_source& input() const { return inputs.front(); }
    // Where its result goes, a file or standard output, and how it meets a
    // file there: as the stager takes it, before the inputs are known.
    output_request output{.to = subject::standard_output()};
    // Any departure from the form txconv writes is an error: a listing must
    // be 95 lines of "uv=" and 8 hex digits, a table file one table.
    bool strict = false;
    // Which table of a file that holds several; chosen on purpose where
    // given, so that the others go unsaid.
    std::optional<table_choice> choice;
    // One of several inputs shown: each is named with what is shown of it.
    bool show_name = false;
    // Whether the csv's header row comes first: the first job of the run.
    bool csv_header = true;
    output_format format = output_format::text;
    // Nothing is printed of what it finds but trouble: no warnings, and no
    // differences of a comparison.
    bool quiet = false;
    // A chart spans the whole range a value can take, not what the values do.
    bool full_range = false;
};

// Why a job was refused, where the files themselves were fine: what only a
// run of txconv makes.
enum class refusal_kind : std::uint8_t {
    short_table,           // fewer bytes than one table
    not_as_written,        // a strict check found the input not in the form txconv writes
    binary_to_terminal,    // a table would go to a terminal
    no_such_table,         // the table asked for is beyond what the file holds
    shared_output,         // the output is that of an earlier input too
    unmarked_utf16,        // a listing in UTF-16 without a byte order mark
    out_of_memory,         // memory ran out before the job was done
    out_of_memory_writing, // memory ran out while its output was being written
};

struct refusal {
    refusal_kind kind = refusal_kind::short_table;
    subject about;
    std::uint64_t bytes = 0;  // short_table
    std::uint64_t wanted = 0; // no_such_table
    std::uint64_t tables = 0; // no_such_table
    subject output;           // shared_output
    subject earlier;          // shared_output: the input that writes it first
};

using job_failure = std::variant<failure, refusal>;

// How the run talks to the user.
struct run_style {
    bool notices = false; // a notice for each failure, as the menu shows them
    bool verbose = false; // a line for each file that worked
};

// An output written although its input warned.
struct warned_output {
    subject output;
    std::size_t warnings = 0;
};

struct run_summary {
    // How many jobs worked, left an output alone as it exists, or failed
    // otherwise: what a batch ends by saying, and what the run exits with.
    std::size_t converted = 0;
    std::size_t left_alone = 0;
    std::size_t failed = 0;
    bool any_failed() const { return left_alone + failed > 0; }
    // A comparison found a difference.
    bool any_differed = false;
    // Outputs written although their inputs warned, and those warnings: what
    // a closing notice quotes.
    std::vector<warned_output> warned;
    std::vector<std::string> warnings;
    // What the menu said of each output that already held something before
    // it was added to: what a closing notice quotes too.
    std::vector<std::string> added_to;
};

// Runs the jobs in order: plans each one's output, reads and converts its
// input, stages the output, commits the outputs together, then reports
// every job in its order.
run_summary run_jobs(std::span<const job> jobs, const run_style& style);

// Asks, for each job that would make a new file where one exists, whether to
// replace it, as Explorer asks on a name clash: Yes replaces that file, and
// no other, whole; No drops the job. Returns how many were dropped. Nothing
// is read or written.
std::size_t ask_before_replacing(std::vector<job>& jobs, bool (*ask)(std::string_view question));

} // namespace txconv
