#include "app/job_steps.hpp"

#include "fileio/inputs.hpp"
#include "platform/console.hpp"

#include <algorithm>

namespace txconv {

namespace {

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
// rest only to learn its length, which a regular file tells without.
maybe_failure read_table(input_file& input, bool whole, std::span<char> spare, table_image& image,
                         std::uint64_t& length)
{
    std::size_t got = 0;
    if (auto failed = read_chunk(input, image, got)) {
        return failed;
    }
    length = whole && input.size ? std::max<std::uint64_t>(*input.size, got) : got;
    while (whole && !input.size && got != 0) {
        if (auto failed = read_chunk(input, spare, got)) {
            return failed;
        }
        length += got;
    }
    return std::nullopt;
}

// Reads, converts and judges one job's input; stages its output unless it
// failed or only checks.
} // namespace

void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record)
{
    input_file input;
    if (!task.way) {
        record.outcome.failed = failure{failure_kind::unknown_form, task.input};
        return;
    }
    if (task.from_standard_input && closed_at_start(standard_stream::input)) {
        record.outcome.failed = failure{failure_kind::cannot_read, task.input, {io_reason::closed}};
        return;
    }
    if (task.from_standard_input) {
        open_standard_input(input);
    } else if ((record.outcome.failed = open_input(task.input, input))) {
        return;
    }
    const output_request request{task.output.value_or(path_string{}), task.mode, input.identity, task.output_typed,
                                 input.permissions};
    // The output's name is looked at first: a conversion that could not be
    // written is not worth reading a large input for.
    if (!task.check_only && task.output && (record.outcome.failed = refuse_target(request))) {
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
        stager.stage(request, result);
    }
}

} // namespace txconv
