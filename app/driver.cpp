#include "app/driver.hpp"

#include "app/job_steps.hpp"
#include "app/messages.hpp"
#include "app/translation.hpp"

#include <algorithm>
#include <memory>
#include <new>

namespace txconv {

namespace {

// Says why a job failed: in one line, where a strict check's departures did
// not say it, and in the menu in a notice too; and counts it.
void report_failure(const job& task, const job_record& record, bool strict_failure, const run_style& style,
                    run_summary& summary)
{
    if (!strict_failure) {
        print_diagnostic(failure_line(record.outcome.error(), task.kind != job_kind::plot));
    }
    if (style.notices) {
        notify_failure(record.outcome.error());
    }
    const auto* file = std::get_if<failure>(&record.outcome.error());
    ++(file != nullptr && file->kind == failure_kind::exists ? summary.left_alone : summary.failed);
}

void report(const job& task, const job_record& record, const run_style& style, run_summary& summary)
{
    std::vector<std::string> warnings;
    const bool strict_failure = !record.outcome && std::holds_alternative<refusal>(record.outcome.error()) &&
                                std::get<refusal>(record.outcome.error()).kind == refusal_kind::not_as_written;
    for (const auto& [about, found] : record.findings) {
        // A strict check's departures say why it failed, and all of it.
        if (strict_failure) {
            print_diagnostic(finding_line(about, found, true));
        } else if (std::string warning = finding_line(about, found, false); !warning.empty()) {
            if (!task.quiet) {
                print_diagnostic(warning);
            }
            warnings.push_back(std::move(warning));
        }
    }
    if (!record.outcome) {
        report_failure(task, record, strict_failure, style, summary);
        return;
    }
    ++summary.converted;
    summary.any_differed |= record.differed;
    if (const std::optional<io_error> late = record.outcome->late_close) {
        print_diagnostic(late_close_line(task.output.to, late.value()));
    }
    if (style.notices && task.kind == job_kind::convert && task.output.to.kind == subject_kind::file) {
        // The menu always appends: say what the output now holds, since
        // every reader takes the first table of a file.
        std::string line = added_line(task.output.to, task.input().way, record.outcome->held_before,
                                      record.added_as != text_encoding::bytes);
        print_diagnostic(line);
        if (record.outcome->held_before > 0 && console_closes_with_process()) {
            summary.added_to.push_back(std::move(line));
        }
    }
    if (style.verbose) {
        print_line(shown_input(task.input().from) +
                   (task.kind == job_kind::check ? ": ok" : " -> " + shown_input(task.output.to)));
    }
    if (style.notices && !warnings.empty()) {
        summary.warned.push_back({task.output.to, warnings.size()});
        summary.warnings.insert(summary.warnings.end(), warnings.begin(), warnings.end());
    }
}

// Memory kept back for the report, should the run run out of it.
constexpr std::size_t RESERVE = std::size_t{64} * 1024;

// After memory ran out, with the memory kept back for it, says each job: the
// outputs that were written, the failures not yet said, and the rest, which
// was left alone; an output staged for a commit that ran out of memory itself
// may have been written or not. Jobs below committed have their outcomes,
// those below reported were said; the ones to prepared were staged.
void report_out_of_memory(std::span<const job> jobs, std::span<const job_record> records, std::size_t reported,
                          std::size_t committed, std::size_t prepared, bool committing)
{
    print_diagnostic(tr("out of memory; the outputs written before it follow, then each file left alone"));
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const job_record& record = records[i];
        if (i < committed && record.outcome && record.staged) {
            print_line(shown_input(jobs[i].input().from) + " -> " + shown_input(jobs[i].output.to));
        } else if (i < committed && !record.outcome && i >= reported) {
            print_diagnostic(failure_line(record.outcome.error()));
        } else if (i >= committed) {
            const bool unknown = committing && i < prepared && record.staged;
            print_diagnostic(failure_line(
                refusal{.kind = unknown ? refusal_kind::out_of_memory_writing : refusal_kind::out_of_memory,
                        .about = jobs[i].input().from}));
        }
    }
}

} // namespace

run_summary run_jobs(std::span<const job> jobs, const run_style& style)
{
    auto reserve = std::make_unique_for_overwrite<char[]>(RESERVE);
    run_summary summary;
    std::vector<job_record> records(jobs.size());
    // How far the run got, for a report should memory run out.
    std::size_t reported = 0;
    std::size_t committed = 0;
    std::size_t prepared = 0;
    bool committing = false;
    try {
        output_stager stager({.on_wait = [](const subject& about) {
            print_diagnostic(shown_input(about) + ": " + std::string(tr("waiting for another program to release it")));
        }});
        earlier_outputs earlier;
        // Commits what is staged, then reports every job prepared so far.
        const auto commit_and_report = [&] {
            committing = true;
            for (auto& [number, outcome] : stager.commit()) {
                records[number].outcome = std::move(outcome);
            }
            committing = false;
            for (committed = prepared; reported < committed; ++reported) {
                report(jobs[reported], records[reported], style, summary);
            }
        };
        // Outputs can meet only where a run has several, and one of them
        // replaces, creates or goes to standard output beside a file:
        // appends to files, as the menu makes them, only ever add in order.
        const bool outputs_may_meet =
            jobs.size() > 1 && std::ranges::any_of(jobs, [](const job& task) {
                return task.output.to.kind == subject_kind::standard_output || task.output.mode != write_mode::append;
            });
        for (; prepared < jobs.size(); ++prepared) {
            if (stager.full()) {
                commit_and_report();
            }
            job_record& record = records[prepared];
            auto done = prepare_job(jobs[prepared], prepared, stager, record, outputs_may_meet ? &earlier : nullptr);
            if (!done) {
                record.outcome = std::unexpected(std::move(done.error()));
            }
        }
        commit_and_report();
        // A batch where anything went wrong ends with its count, which is
        // what a person looks for in a long list of lines.
        if (jobs.size() > 1 && jobs[0].kind == job_kind::convert && summary.left_alone + summary.failed > 0) {
            print_diagnostic(batch_line(jobs.size(), summary.converted, summary.left_alone, summary.failed));
        }
    } catch (const std::bad_alloc&) {
        reserve.reset();
        report_out_of_memory(jobs, records, reported, committed, prepared, committing);
        ++summary.failed;
    }
    return summary;
}

std::size_t ask_before_replacing(std::vector<job>& jobs, bool (*ask)(std::string_view question))
{
    const auto keep_old = [&](job& task) {
        // Only a job that makes a new file meets an existing one as a clash.
        output_request request = task.output;
        const file_expected<> free = look_at_output(request);
        if (free || free.error().kind != failure_kind::exists) {
            // Not a clash: whatever else is wrong is said when the job runs.
            return false;
        }
        if (ask(fill(tr("%s already exists.\n\nReplace it?"), {shown_input(task.output.to)}))) {
            task.output.mode = write_mode::replace;
            task.output.replacing = request.look.there;
            return false;
        }
        return true;
    };
    return std::erase_if(jobs, keep_old);
}

} // namespace txconv
