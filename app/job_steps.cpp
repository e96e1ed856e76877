#include "app/job_steps.hpp"

#include "app/table_views.hpp"
#include "convert/listing_lines.hpp"
#include "fileio/inputs.hpp"
#include "platform/console.hpp"

#include <algorithm>

namespace txconv {

namespace {

// Strictly, every departure from the form txconv writes fails the file, and
// each is named. Otherwise only a table file too short to hold a table
// fails; the rest warn, or go unsaid.
maybe_failure judge(const job& task, std::vector<finding> findings, job_record& record)
{
    if (task.strict && !findings.empty()) {
        record.departures = std::move(findings);
        return failure{failure_kind::not_as_written, task.input};
    }
    for (const finding& found : findings) {
        if (found.kind == finding_kind::short_table) {
            return failure{failure_kind::short_table, task.input, {}, {}, 0, found.count};
        }
        if (std::string warning = warning_for(task.input, found); !warning.empty()) {
            record.warnings.push_back(std::move(warning));
        }
    }
    return std::nullopt;
}

// Reads a listing through the scanner's buffer, one chunk at a time, and
// checks its lines too where lines is given.
maybe_failure read_listing(input_file& input, listing_scanner& scanner, listing_lines* lines, std::uint64_t wanted)
{
    scanner.reset();
    scanner.select_image(wanted);
    std::size_t got = 0;
    do {
        const std::span<char> space = scanner.space();
        if (auto failed = read_chunk(input, space, got)) {
            return failed;
        }
        if (lines != nullptr) {
            lines->feed(space.first(got));
        }
        scanner.scan(got);
    } while (got == listing_scanner::CHUNK_BYTES);
    scanner.finish();
    return std::nullopt;
}

// Reads a table file's wanted table (counted from 1; 0 for the last), and
// the rest only to learn its length, which a regular file tells without.
maybe_failure read_table(input_file& input, std::span<char> spare, std::uint64_t wanted, table_image& image,
                         std::uint64_t& length)
{
    if (wanted == 0 && input.size) {
        wanted = std::max<std::uint64_t>(*input.size / TABLE_BYTES, 1);
    }
    std::size_t got = 0;
    if (wanted == 1) {
        if (auto failed = read_chunk(input, image, got)) {
            return failed;
        }
        length = input.size ? std::max<std::uint64_t>(*input.size, got) : got;
        while (!input.size && got != 0) {
            if (auto failed = read_chunk(input, spare, got)) {
                return failed;
            }
            length += got;
        }
        return std::nullopt;
    }
    // Any other table: read through to it. The last of a stream is the one
    // that was last completed.
    table_image current{};
    length = 0;
    do {
        if (auto failed = read_chunk(input, spare, got)) {
            return failed;
        }
        for (std::size_t i = 0; i < got; ++i, ++length) {
            current[length % TABLE_BYTES] = spare[i];
            const std::uint64_t completed = (length + 1) / TABLE_BYTES;
            if ((length + 1) % TABLE_BYTES == 0 && (wanted == 0 || completed == wanted)) {
                image = current;
            }
        }
    } while (got != 0);
    return std::nullopt;
}

} // namespace

maybe_failure open_job_input(const job& task, input_file& input)
{
    if (task.from_standard_input && closed_at_start(standard_stream::input)) {
        return failure{failure_kind::cannot_read, task.input, {io_reason::closed}};
    }
    if (task.from_standard_input) {
        return open_standard_input(input);
    }
    if (const io_result named = check_name(task.input, false); !named.ok()) {
        return failure{failure_kind::cannot_read, task.input, named};
    }
    return open_input(task.input, input);
}

maybe_failure read_values(const job& task, input_file& input, listing_scanner& scanner, job_record& record,
                          value_table& values)
{
    maybe_failure failed;
    std::uint64_t images = 1;
    if (task.way == direction::to_table) {
        listing_lines lines;
        failed = read_listing(input, scanner, task.strict ? &lines : nullptr, task.image);
        images = scanner.images();
        if (!failed && task.image <= images) {
            failed = judge(task, task.strict ? lines.finish() : scanner.findings(), record);
        }
        values = scanner.table();
    } else {
        std::uint64_t length = 0;
        table_image image{};
        // The listing buffer is free while a table is read.
        failed = read_table(input, scanner.space(), task.image, image, length);
        images = length / TABLE_BYTES;
        std::optional<finding> found = judge_table_length(length);
        if (found && found->kind == finding_kind::beyond_table && task.image_chosen && !task.strict) {
            found.reset(); // the user picked one of several
        }
        if (!failed && found) {
            failed = judge(task, {*found}, record);
        }
        values = decode_table(image);
    }
    if (!failed && task.image > images) {
        failed = failure{failure_kind::no_such_image, task.input, {}, {}, task.image, images};
    }
    return failed;
}

void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record)
{
    input_file input;
    // As gzip keeps binary off a terminal: a table there is noise, and may
    // be read as commands.
    if (task.kind == job_kind::convert && !task.output && task.way == direction::to_table &&
        task.mode != write_mode::replace && is_terminal(standard_stream::output)) {
        record.outcome.failed = failure{failure_kind::binary_to_terminal, path_string(1, path_char('-'))};
        return;
    }
    if ((record.outcome.failed = open_job_input(task, input))) {
        return;
    }
    const output_request request{task.output.value_or(path_string{}), task.mode, input.identity, task.output_typed,
                                 input.permissions};
    if (const io_result named = task.output ? check_name(*task.output, task.output_typed) : io_ok; !named.ok()) {
        record.outcome.failed = failure{failure_kind::cannot_write, *task.output, named};
        return;
    }
    // The output's name is looked at first: a conversion that could not be
    // written is not worth reading a large input for.
    if (task.kind != job_kind::check && task.output && (record.outcome.failed = refuse_target(request))) {
        return;
    }
    value_table values{};
    record.outcome.failed = read_values(task, input, scanner, record, values);
    std::string made;
    table_image image{};
    listing_text text{};
    std::span<const char> result;
    if (!record.outcome.failed) {
        switch (task.kind) {
        case job_kind::convert:
            if (task.way == direction::to_table) {
                image = encode_table(values);
                result = image;
            } else {
                text = format_listing(values);
                result = text;
            }
            break;
        case job_kind::check:
            break;
        case job_kind::show:
            made = (task.show_name ? shown_input(task.input) + ":\n" : std::string()) + shown_table(values);
            result = made;
            break;
        case job_kind::plot:
            made = plot_svg(values, shown_input(task.input));
            result = made;
            break;
        }
    }
    if (!record.outcome.failed) {
        record.outcome.failed = close_input(input);
    }
    if (!record.outcome.failed && task.kind != job_kind::check) {
        record.staged = true;
        stager.stage(request, result);
    }
}

} // namespace txconv
