#pragma once

// The steps of one job, for the driver alone.

#include "app/driver.hpp"
#include "convert/listing_scanner.hpp"

#include <string>
#include <vector>

namespace txconv {

// One job on its way: what is known of it before its output is committed.
struct job_record {
    const job* of = nullptr;
    std::vector<std::string> warnings;
    output_outcome outcome;
    // Whether its output waits in the commit, whose outcomes come in order.
    bool staged = false;
};

// Reads, converts and judges one job's input, and stages its output unless
// it failed or only checks.
void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record);

} // namespace txconv
