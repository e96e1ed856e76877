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
    // Where a strict check failed an input: its first departures, in order.
    std::vector<std::string> departures;
    std::optional<job_failure> failed;
    std::optional<io_error> late_close;
    // What the output held before it was added to.
    std::uint64_t held_before = 0;
    // Whether its output waits in the commit, whose outcomes come in order.
    bool staged = false;
    // A comparison found a difference.
    bool differed = false;
};

// What an output request of the job looks like before its inputs are open:
// enough to name the file it lands in.
output_request planned_output(const job& task);

// Reads, converts and judges one job's inputs, and stages its output unless
// it failed or has nothing to write.
void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record);

} // namespace txconv
