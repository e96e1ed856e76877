#include "app/driver.hpp"

#include "app/job_steps.hpp"
#include "app/messages.hpp"
#include "platform/console.hpp"

#include <algorithm>
#include <new>

namespace txconv {

namespace {

void say_waiting(const subject& about)
{
    print_diagnostic(waiting_line(about));
}

// An output that an earlier job of this run writes, and how.
struct written_output {
    output_key key;
    const job* by = nullptr;
};

// A later job whose output an earlier one of this run writes too would
// replace it, fail on it, or write over it at another offset: it is
// refused, naming both. Appends to one file go in order, and jobs that all
// write standard output share it in order.
std::optional<job_failure> refuse_shared_output(const job& task, std::vector<written_output>& written)
{
    if (task.kind == job_kind::check) {
        return std::nullopt;
    }
    const output_key key = key_of(planned_output(task));
    const auto conflicts = [&](const written_output& earlier) {
        const bool both_standard = earlier.by->output.kind == subject_kind::standard_output &&
                                   task.output.kind == subject_kind::standard_output;
        const bool both_append = earlier.by->output.kind == subject_kind::file &&
                                 task.output.kind == subject_kind::file && earlier.by->mode == write_mode::append &&
                                 task.mode == write_mode::append;
        return !both_standard && !both_append && key.meets(earlier.key);
    };
    if (const auto earlier = std::find_if(written.begin(), written.end(), conflicts); earlier != written.end()) {
        return refusal{.kind = refusal_kind::shared_output,
                       .about = task.input.from,
                       .output = task.output,
                       .earlier = earlier->by->input.from};
    }
    written.push_back({key, &task});
    return std::nullopt;
}

// Says why a job failed: a strict check's departures, or one line, and in
// the menu a notice.
void report_failure(const job_record& record, const job_failure& failed, const run_style& style)
{
    for (const std::string& departure : record.departures) {
        print_diagnostic(departure);
    }
    // A strict check's departures have said it all.
    const auto* refused = std::get_if<refusal>(&failed);
    if (refused == nullptr || refused->kind != refusal_kind::not_as_written) {
        print_diagnostic(failure_line(failed, record.of->kind != job_kind::plot));
    }
    if (style.notices) {
        notify(notices_share_the_console() ? std::string(notice_headline(failed)) : failure_notice(failed));
    }
}

void report(const job_record& record, const run_style& style, run_summary& summary)
{
    const job& task = *record.of;
    if (!style.quiet) {
        for (const std::string& warning : record.warnings) {
            print_diagnostic(warning);
        }
    }
    if (const std::optional<job_failure>& failed = record.failed) {
        report_failure(record, *failed, style);
        summary.any_failed = true;
        return;
    }
    summary.any_differed = summary.any_differed || record.differed;
    if (record.late_close) {
        print_diagnostic(late_close_line(task.output, *record.late_close));
    }
    if (style.notices && task.kind == job_kind::convert && task.output.kind == subject_kind::file) {
        // The menu always appends: say what the output now holds, since
        // every reader takes the first table of a file.
        std::string line = added_line(task.output, task.input.way, record.held_before);
        if (record.held_before > 0 && console_closes_with_process()) {
            summary.added_to.push_back(
                line.substr(DIAGNOSTIC_PREFIX.size(), line.size() - DIAGNOSTIC_PREFIX.size() - 1));
        }
        (void)write_console(console_stream::error, line);
    }
    if (style.verbose) {
        const std::string line =
            task.kind == job_kind::check ? ok_line(task.input.from) : converted_line(task.input.from, task.output);
        (void)write_console(console_stream::error, line + "\n");
    }
    if (style.notices && !record.warnings.empty()) {
        summary.warned.push_back({task.output, record.warnings.size()});
        summary.warnings.insert(summary.warnings.end(), record.warnings.begin(), record.warnings.end());
    }
}

// Commits what is staged, then reports every job recorded so far, in order.
void commit_and_report(output_stager& stager, std::vector<job_record>& records, const run_style& style,
                       run_summary& summary)
{
    std::vector<output_outcome> outcomes = stager.commit();
    std::size_t next = 0;
    for (job_record& record : records) {
        if (record.staged) {
            output_outcome& outcome = outcomes[next++];
            if (outcome.failed) {
                record.failed = std::move(*outcome.failed);
            }
            record.late_close = outcome.late_close;
            record.held_before = outcome.held_before;
        }
        report(record, style, summary);
    }
    records.clear();
}

} // namespace

run_summary run_jobs(std::span<const job> jobs, const run_style& style)
{
    run_summary summary;
    listing_scanner scanner;
    output_stager stager({.on_wait = say_waiting});
    std::vector<job_record> records;
    std::vector<written_output> written;
    // Outputs can meet only where a run has several, and one of them
    // replaces, creates or goes to standard output beside a file: appends
    // to files, as the menu makes them, only ever add in order.
    const bool outputs_may_meet =
        jobs.size() > 1 && std::any_of(jobs.begin(), jobs.end(), [](const job& task) {
            return task.output.kind == subject_kind::standard_output || task.mode != write_mode::append;
        });
    for (const job& task : jobs) {
        if (stager.full()) {
            commit_and_report(stager, records, style, summary);
        }
        job_record& record = records.emplace_back();
        record.of = &task;
        if (outputs_may_meet) {
            record.failed = refuse_shared_output(task, written);
        }
        if (!record.failed) {
            prepare_job(task, scanner, stager, record);
        }
    }
    commit_and_report(stager, records, style, summary);
    return summary;
}

std::size_t ask_before_replacing(std::vector<job>& jobs, bool (*ask)(std::string_view question))
{
    const auto keep_old = [&](job& task) {
        if (task.kind == job_kind::check || task.mode != write_mode::create) {
            return false;
        }
        const file_expected<> free = refuse_target(planned_output(task));
        if (free || free.error().kind != failure_kind::exists) {
            // Not a clash: whatever else is wrong is said when the job runs.
            return false;
        }
        if (ask(replace_question(task.output))) {
            task.mode = write_mode::replace;
            return false;
        }
        return true;
    };
    return std::erase_if(jobs, keep_old);
}

} // namespace txconv
