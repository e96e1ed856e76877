#include "app/driver.hpp"
#include "app/job_steps.hpp"

#include "fileio/inputs.hpp"
#include "platform/console.hpp"
#include "platform/memory.hpp"
#include "platform/notice.hpp"

#include <algorithm>
#include <new>

namespace txconv {

namespace {

// Where a run's new outputs go, so that no two of its files write one.
struct output_key {
    file_identity folder;
    path_string name;

    bool operator==(const output_key&) const = default;
};

// The folder that will hold the output, by identity, and the output's own
// name: two spellings of one file give one key, however its folder is named.
std::optional<output_key> key_of(const path_string& output)
{
    const path_string target = resolve_links(output);
    path_kind kind = path_kind::missing;
    output_key key;
    if (!inspect_path(folder_of(target), kind, key.folder, true).ok() || kind == path_kind::missing) {
        return std::nullopt;
    }
    key.name = target.substr(target.size() - output_name_length(target));
    return key;
}

void say_waiting(const path_string& path)
{
    print_diagnostic(waiting_line(path));
}

void report(const job_record& record, const run_style& style, run_summary& summary)
{
    const job& task = *record.of;
    if (!style.quiet) {
        for (const std::string& warning : record.warnings) {
            print_diagnostic(warning);
        }
    }
    if (const maybe_failure& failed = record.outcome.failed) {
        for (const finding& departure : record.departures) {
            print_diagnostic(departure_line(task.input, departure));
        }
        if (failed->kind != failure_kind::not_as_written) {
            print_diagnostic(failure_line(*failed));
        }
        if (style.notices) {
            show_notice(notices_share_the_console() ? std::string(notice_headline(*failed)) : failure_notice(*failed));
        }
        summary.any_failed = true;
        return;
    }
    if (!record.outcome.late_close.ok()) {
        print_diagnostic(late_close_line(*task.output, record.outcome.late_close));
    }
    if (style.verbose) {
        const path_string* output = task.output ? &*task.output : nullptr;
        const std::string line =
            task.kind == job_kind::check ? ok_line(task.input) : converted_line(task.input, output);
        (void)write_console(console_stream::error, line + "\n");
    }
    if (style.notices && !record.warnings.empty()) {
        summary.warned.push_back({shown_path(task.output.value_or(path_string{})), record.warnings.size()});
        summary.warnings.insert(summary.warnings.end(), record.warnings.begin(), record.warnings.end());
    }
}

// Commits what is staged, then reports every job recorded so far, in order.
void settle(output_stager& stager, std::vector<job_record>& records, const run_style& style, run_summary& summary)
{
    std::vector<output_outcome> outcomes = stager.commit();
    std::size_t next = 0;
    for (job_record& record : records) {
        if (record.staged) {
            record.outcome = std::move(outcomes[next++]);
        }
        report(record, style, summary);
    }
    records.clear();
}

} // namespace

// A later file whose output an earlier one of this run writes too would
// replace it, or fail on it: it is refused, naming both.
maybe_failure refuse_shared_output(const job& task, std::vector<std::pair<output_key, const job*>>& written)
{
    if (task.kind == job_kind::check || !task.output || task.mode == write_mode::append) {
        return std::nullopt;
    }
    const std::optional<output_key> key = key_of(*task.output);
    if (!key) {
        return std::nullopt;
    }
    const auto earlier = std::find_if(written.begin(), written.end(), [&](const auto& w) { return w.first == *key; });
    if (earlier != written.end()) {
        return failure{failure_kind::shared_output, task.input, io_ok, io_ok, 0, 0, *task.output,
                       earlier->second->input};
    }
    written.emplace_back(*key, &task);
    return std::nullopt;
}

run_summary run_jobs(std::span<const job> jobs, const run_style& style)
{
    // One buffer for every listing of the run, straight from the system: it
    // lives as long as the process, and the heap has no part in it.
    static void* const listing_buffer = map_pages(listing_scanner::BUFFER_BYTES);
    if (listing_buffer == nullptr) {
        throw std::bad_alloc();
    }
    run_summary summary;
    listing_scanner scanner({static_cast<char*>(listing_buffer), listing_scanner::BUFFER_BYTES});
    output_stager stager({.on_wait = say_waiting});
    std::vector<job_record> records;
    std::vector<std::pair<output_key, const job*>> written;
    for (const job& task : jobs) {
        if (stager.full()) {
            settle(stager, records, style, summary);
        }
        job_record& record = records.emplace_back();
        record.of = &task;
        if (!(record.outcome.failed = refuse_shared_output(task, written))) {
            prepare_job(task, scanner, stager, record);
        }
    }
    settle(stager, records, style, summary);
    return summary;
}

} // namespace txconv
