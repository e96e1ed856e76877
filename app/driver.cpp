#include "app/driver.hpp"

#include "convert/listing_scanner.hpp"
#include "fileio/inputs.hpp"
#include "platform/console.hpp"
#include "platform/notice.hpp"

#include <algorithm>

namespace txconv {

namespace {

// One job on its way: what is known of it before its output is committed.
struct job_record {
    const job* of = nullptr;
    std::vector<std::string> warnings;
    output_outcome outcome;
    // Whether its output waits in the commit, whose outcomes come in order.
    bool staged = false;
};

// What a strict check fails on: any finding. Otherwise only a table file too
// short to hold one fails; two findings warn, the rest go unsaid.
failure failure_for(const path_string& path, const finding& found)
{
    failure failed{failure_kind::bad_field, path, {}, {}, found.line, found.count};
    switch (found.kind) {
    case finding_kind::malformed_field:
    case finding_kind::short_field:
        break;
    case finding_kind::values_ignored:
        failed.kind = failure_kind::too_many_values;
        break;
    case finding_kind::too_few_values:
        failed.kind = failure_kind::too_few_values;
        break;
    case finding_kind::short_table:
        failed.kind = failure_kind::short_table;
        break;
    case finding_kind::not_whole_tables:
        failed.kind = failure_kind::not_whole_tables;
        break;
    }
    return failed;
}

maybe_failure judge(const job& task, std::span<const finding> findings, job_record& record)
{
    for (const finding& found : findings) {
        if (task.strict || found.kind == finding_kind::short_table) {
            return failure_for(task.input, found);
        }
        if (std::string warning = warning_for(task.input, found); !warning.empty()) {
            record.warnings.push_back(std::move(warning));
        }
    }
    return std::nullopt;
}

// Reads a listing through the scanner's buffer, one chunk at a time.
maybe_failure read_listing(input_file& input, listing_scanner& scanner, table_image& image)
{
    scanner.reset();
    std::size_t got = 0;
    do {
        if (auto failed = read_chunk(input, scanner.space(), got)) {
            return failed;
        }
        scanner.scan(got);
    } while (got == listing_scanner::CHUNK_BYTES);
    scanner.finish();
    image = encode_table(scanner.table());
    return std::nullopt;
}

// Reads the first table of a table file, and, where whole is asked for, the
// rest only to learn its length.
maybe_failure read_table(input_file& input, bool whole, std::span<char> spare, table_image& image,
                         std::uint64_t& length)
{
    std::size_t got = 0;
    if (auto failed = read_chunk(input, image, got)) {
        return failed;
    }
    length = got;
    while (whole && got != 0) {
        if (auto failed = read_chunk(input, spare, got)) {
            return failed;
        }
        length += got;
    }
    return std::nullopt;
}

// Reads, converts and judges one job's input; stages its output unless it
// failed or only checks.
void prepare(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record)
{
    input_file input;
    if (!task.way) {
        record.outcome.failed = failure{failure_kind::unknown_form, task.input};
        return;
    }
    if (task.from_standard_input) {
        open_standard_input(input);
    } else if ((record.outcome.failed = open_input(task.input, input))) {
        return;
    }
    // The output's name is looked at first: a conversion that could not be
    // written is not worth reading a large input for.
    if (!task.check_only && task.output &&
        (record.outcome.failed = refuse_target(*task.output, task.mode, input.identity))) {
        return;
    }
    table_image image{};
    listing_text text{};
    std::span<const char> result;
    if (*task.way == direction::to_table) {
        record.outcome.failed = read_listing(input, scanner, image);
        if (!record.outcome.failed) {
            record.outcome.failed = judge(task, scanner.findings(), record);
        }
        result = image;
    } else {
        std::uint64_t length = 0;
        // The listing buffer is free while a table is read.
        record.outcome.failed = read_table(input, task.strict, scanner.space(), image, length);
        if (const std::optional<finding> found = judge_table_length(length); !record.outcome.failed && found) {
            record.outcome.failed = judge(task, std::span(&*found, 1), record);
        }
        if (!record.outcome.failed) {
            text = format_listing(decode_table(image));
        }
        result = text;
    }
    if (!record.outcome.failed) {
        record.outcome.failed = close_input(input);
    }
    if (!record.outcome.failed && !task.check_only) {
        record.staged = true;
        stager.stage({task.output.value_or(path_string{}), task.mode, input.identity}, result);
    }
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
        print_diagnostic(subject_of(*failed) + ": " + reason_of(*failed));
        if (style.notices) {
            show_notice(failure_notice(*failed));
        }
        summary.any_failed = true;
        return;
    }
    if (!record.outcome.late_close.ok()) {
        print_diagnostic(late_close_line(*task.output, record.outcome.late_close));
    }
    if (style.verbose) {
        const path_string* output = task.output ? &*task.output : nullptr;
        const std::string line = task.check_only ? ok_line(task.input) : converted_line(task.input, output);
        (void)write_console(console_stream::error, line + "\n");
    }
    if (style.notices && !record.warnings.empty()) {
        summary.warned.push_back({display_path(task.output.value_or(path_string{})), record.warnings.size()});
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

run_summary run_jobs(std::span<const job> jobs, const run_style& style)
{
    // One buffer for every listing of the run, never freed: a run reads one
    // file at a time, and the heap is no place for 64 KiB that live as long
    // as the process.
    static char listing_buffer[listing_scanner::BUFFER_BYTES];
    run_summary summary;
    listing_scanner scanner(listing_buffer);
    output_stager stager({.on_wait = say_waiting});
    std::vector<job_record> records;
    for (const job& task : jobs) {
        if (stager.full()) {
            settle(stager, records, style, summary);
        }
        job_record& record = records.emplace_back();
        record.of = &task;
        prepare(task, scanner, stager, record);
    }
    settle(stager, records, style, summary);
    return summary;
}

} // namespace txconv
