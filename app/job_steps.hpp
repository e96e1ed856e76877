#pragma once

// The steps of one job before its output is committed, for the driver alone:
// open the inputs, look at the output, read and judge the inputs, make the
// result and stage it.

#include "app/driver.hpp"

#include <map>
#include <utility>

namespace txconv {

// One job on its way, and at last how it ended.
struct job_record {
    // What reading its inputs found, and in which: warnings, or where a
    // strict check failed an input, its departures. Words come at the report.
    std::vector<std::pair<subject, finding>> findings;
    std::expected<written, job_failure> outcome;
    // Its output waits in the stager for the commit.
    bool staged = false;
    // A comparison found a difference.
    bool differed = false;
    // How the listing it adds to is text: one that Notepad saved as UTF-16
    // gets the new listing in its byte order, so that the file reads on.
    text_encoding added_as = text_encoding::bytes;
};

// The outputs that earlier jobs of the run write, and the first job that
// writes each: by the file's identity, and by its name in its folder, whose
// identity makes two spellings of one name meet. Each folder is looked at once.
struct earlier_outputs {
    std::map<file_identity, const job*> files;
    std::map<std::pair<file_identity, path_string>, const job*> names;
    std::map<path_string, std::optional<file_identity>> folders;
};

// Reads, converts and judges one job's inputs, and stages its output under
// the job's number unless there is nothing to write. Where earlier is given,
// an output that an earlier job writes too is refused.
std::expected<void, job_failure> prepare_job(const job& task, std::size_t number, output_stager& stager,
                                             job_record& record, earlier_outputs* earlier);

} // namespace txconv
