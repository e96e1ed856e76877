#pragma once

// The steps of one job, for the driver alone.

#include "app/driver.hpp"
#include "convert/listing_scanner.hpp"
#include "fileio/inputs.hpp"

#include <string>
#include <vector>

namespace txconv {

// One job on its way: what is known of it before its output is committed.
struct job_record {
    const job* of = nullptr;
    std::vector<std::string> warnings;
    // Where a strict check failed the input: every departure, in order.
    std::vector<finding> departures;
    output_outcome outcome;
    // Whether its output waits in the commit, whose outcomes come in order.
    bool staged = false;
};

// Opens one job's input: its file, or standard input where it was not
// closed at start.
maybe_failure open_job_input(const job& task, input_file& input);

// Reads the values of one job's input, as a listing or a table, from the
// table it asks for, and judges what it found.
maybe_failure read_values(const job& task, input_file& input, listing_scanner& scanner, job_record& record,
                          value_table& values);

// Reads, converts and judges one job's input, and stages its output unless
// it failed or only checks.
void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record);

} // namespace txconv
