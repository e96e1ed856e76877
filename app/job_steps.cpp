#include "app/job_steps.hpp"
#include "app/translation.hpp"

#include "app/messages.hpp"
#include "app/plot.hpp"
#include "app/table_views.hpp"
#include "convert/strict_check.hpp"
#include "platform/console.hpp"

#include <algorithm>
#include <tuple>
#include <utility>

namespace txconv {

namespace {

// How much of a stream is read past the table it gives, only to say what
// else it held: enough for any honest file, and an end for an endless one.
constexpr std::uint64_t LOOK_AHEAD = std::uint64_t{1} << 20U;

// What reading one input found, besides its values.
struct read_result {
    std::vector<finding> findings;
    // How many tables it holds, a last short run of a listing included.
    std::uint64_t tables = 1;
};

refusal refused(refusal_kind kind, const subject& about)
{
    return {.kind = kind, .about = about};
}

// Strictly, every departure from the form txconv writes fails the file, and
// the first few are named. Otherwise only a table file too short to hold a
// table fails; the rest warn, or go unsaid.
std::optional<job_failure> weigh_findings(const job& task, const subject& about, const std::vector<finding>& findings,
                                          job_record& record)
{
    if (task.strict && !findings.empty()) {
        for (const finding& found : findings) {
            record.departures.push_back(departure_line(about, found));
        }
        return refused(refusal_kind::not_as_written, about);
    }
    for (const finding& found : findings) {
        if (found.kind == finding_kind::short_table) {
            return refusal{.kind = refusal_kind::short_table, .about = about, .bytes = found.count};
        }
        // Of a listing of several runs, the ones not chosen go unsaid.
        if (task.image && found.kind == finding_kind::values_ignored) {
            continue;
        }
        if (std::string warning = warning_for(about, found); !warning.empty()) {
            record.warnings.push_back(std::move(warning));
        }
    }
    return std::nullopt;
}

// Reads a listing through the scanner's buffer, one chunk at a time, and
// checks its lines too where strict. A stream is read no further than a
// little past a table that is complete.
file_expected<read_result> read_listing(const job& task, input_file& input, listing_scanner& scanner,
                                        value_table& values)
{
    scanner.reset(task.image.value_or(table_choice{}));
    strict_check check;
    std::uint64_t past_table = 0;
    read_result result;
    for (;;) {
        const std::span<char> space = scanner.space();
        const file_expected<std::size_t> got = read_chunk(input, space);
        if (!got) {
            return std::unexpected(got.error());
        }
        if (task.strict) {
            check.feed(space.first(*got));
        }
        scanner.scan(*got);
        if (*got < listing_scanner::CHUNK_BYTES) {
            break;
        }
        past_table += scanner.complete() ? *got : 0;
        if (!input.size && past_table > LOOK_AHEAD) {
            result.findings.push_back({finding_kind::goes_on, 0, 0});
            break;
        }
    }
    scanner.finish();
    values = scanner.table();
    result.tables = scanner.images();
    const std::vector<finding> found = task.strict ? check.finish() : scanner.findings();
    result.findings.insert(result.findings.begin(), found.begin(), found.end());
    return result;
}

// Reads the chosen table of a regular file where it lies, its length known
// without reading.
file_expected<std::uint64_t> read_table_in_place(input_file& input, std::uint64_t length, table_choice choice,
                                                 table_image& image)
{
    const std::uint64_t tables = length / TABLE_BYTES;
    const std::uint64_t wanted = choice.last ? std::max<std::uint64_t>(tables, 1) : choice.number;
    if (wanted > tables && wanted > 1) {
        return length; // there is no such table
    }
    if (wanted > 1) {
        if (auto moved = skip_to(input, (wanted - 1) * TABLE_BYTES); !moved) {
            return std::unexpected(moved.error());
        }
    }
    if (auto got = read_chunk(input, image); !got) {
        return std::unexpected(got.error());
    }
    return length;
}

// Reads a stream up to the chosen table, keeping it: the last of a stream
// is the one that was last completed. Then a little further, to learn what
// else it holds; gives the bytes read, and whether the stream ended.
file_expected<std::pair<std::uint64_t, bool>> read_table_stream(input_file& input, std::span<char> spare,
                                                                table_choice choice, table_image& image)
{
    table_image current{};
    std::uint64_t length = 0;
    const std::uint64_t enough = choice.last ? UINT64_MAX : choice.number * TABLE_BYTES + LOOK_AHEAD;
    for (;;) {
        const file_expected<std::size_t> got = read_chunk(input, spare);
        if (!got) {
            return std::unexpected(got.error());
        }
        for (std::size_t i = 0; i < *got; ++i, ++length) {
            current[length % TABLE_BYTES] = spare[i];
            const std::uint64_t completed = (length + 1) / TABLE_BYTES;
            if ((length + 1) % TABLE_BYTES == 0 && (choice.last || completed == choice.number)) {
                image = current;
            }
        }
        if (*got < spare.size()) {
            return std::pair{length, true};
        }
        if (length > enough) {
            return std::pair{length, false};
        }
    }
}

// Reads the chosen table of a table file, and judges its length.
file_expected<read_result> read_table(const job& task, input_file& input, std::span<char> spare, value_table& values)
{
    const table_choice choice = task.image.value_or(table_choice{});
    table_image image{};
    std::uint64_t length = 0;
    bool ended = true;
    if (input.size) {
        const file_expected<std::uint64_t> read = read_table_in_place(input, *input.size, choice, image);
        if (!read) {
            return std::unexpected(read.error());
        }
        length = *read;
    } else {
        const auto read = read_table_stream(input, spare, choice, image);
        if (!read) {
            return std::unexpected(read.error());
        }
        std::tie(length, ended) = *read;
    }
    read_result result;
    values = decode_table(image);
    result.tables = length / TABLE_BYTES;
    if (!ended) {
        result.findings.push_back({finding_kind::goes_on, 0, length});
    } else if (std::optional<finding> found = judge_table_length(length, task.image.has_value() && !task.strict)) {
        result.findings.push_back(*found);
    }
    return result;
}

// Opens one input: a file by its name, or standard input.
file_expected<input_file> open_source(const job_source& source)
{
    if (source.from.kind == subject_kind::standard_input) {
        return open_standard_input();
    }
    if (const io_expected<> named = check_name(source.from.path, false); !named) {
        return std::unexpected(
            failure{.kind = failure_kind::cannot_read, .about = source.from, .cause = named.error()});
    }
    return open_input(source.from.path);
}

// Reads the values of one input, judges what it found, and closes it.
std::optional<job_failure> read_values(const job& task, const job_source& source, input_file& input,
                                       listing_scanner& scanner, job_record& record, value_table& values)
{
    // The listing buffer is free while a table is read.
    const file_expected<read_result> read = source.way == direction::to_table
                                                ? read_listing(task, input, scanner, values)
                                                : read_table(task, input, scanner.space(), values);
    if (!read) {
        return read.error();
    }
    const std::uint64_t wanted = task.image && !task.image->last ? task.image->number : 1;
    if (auto weighed = weigh_findings(task, source.from, read->findings, record)) {
        return weighed;
    }
    if (wanted > read->tables) {
        return refusal{
            .kind = refusal_kind::no_such_image, .about = source.from, .wanted = wanted, .tables = read->tables};
    }
    if (auto closed = close_input(input); !closed) {
        return closed.error();
    }
    return std::nullopt;
}

} // namespace

output_request planned_output(const job& task)
{
    return {.to = task.output, .mode = task.mode, .named_by_user = task.output_named_by_user};
}

namespace {

// A job's inputs as they are read: the first on its own, as nearly every
// job has only that, and the others of a comparison or a chart beside it.
struct job_inputs {
    explicit job_inputs(const job& task) : others(task.others.size()), other_values(task.others.size()) {}

    input_file first;
    std::vector<input_file> others;
    // Filled by each read that works, and looked at only then.
    value_table first_values;
    std::vector<value_table> other_values;

    input_file& file(std::size_t i) { return i == 0 ? first : others[i - 1]; }
    value_table& values(std::size_t i) { return i == 0 ? first_values : other_values[i - 1]; }
};

const job_source& source_of(const job& task, std::size_t i)
{
    return i == 0 ? task.input : task.others[i - 1];
}

// Opens the job's inputs, and names them in the request as files it must
// never write into.
std::optional<job_failure> open_inputs(const job& task, output_request& request, job_inputs& inputs)
{
    for (std::size_t i = 0; i <= task.others.size(); ++i) {
        file_expected<input_file> opened = open_source(source_of(task, i));
        if (!opened) {
            return opened.error();
        }
        if (const std::optional<file_identity>& identity = opened->identity) {
            request.inputs.push_back(*identity);
        }
        inputs.file(i) = std::move(*opened);
    }
    request.permissions = inputs.first.permissions;
    return std::nullopt;
}

// What a chart's title says: the file, and the table where one was chosen;
// or the files, where several share it.
std::string chart_title(const job& task)
{
    std::string title = shown_input(task.input.from);
    for (const job_source& other : task.others) {
        title += ", " + shown_input(other.from);
    }
    if (task.image && task.others.empty()) {
        title += task.image->last ? std::string(tr(", last table"))
                                  : fill(tr(", table %s"), {std::to_string(task.image->number)});
    }
    return title;
}

// The chart of a job's tables, each named as its legend gives it.
std::string chart_of(const job& task, job_inputs& inputs)
{
    std::vector<plotted_table> tables;
    for (std::size_t i = 0; i <= task.others.size(); ++i) {
        tables.push_back({&inputs.values(i), shown_input(source_of(task, i).from)});
    }
    return plot_svg(tables, chart_title(task), task.full_range);
}

// Looks at the output before a byte is read: a result that could not be
// written is not worth reading a large input for.
std::optional<job_failure> check_output(const job& task, const output_request& request)
{
    if (task.output.kind == subject_kind::file) {
        if (const io_expected<> named = check_name(task.output.path, task.output_named_by_user); !named) {
            return failure{.kind = failure_kind::cannot_write, .about = task.output, .cause = named.error()};
        }
    }
    if (task.kind != job_kind::check) {
        if (auto refused_target = refuse_target(request); !refused_target) {
            return refused_target.error();
        }
    }
    return std::nullopt;
}

// Makes the job's output from the values it read and stages it, where
// there is anything to write.
void stage_result(const job& task, job_inputs& inputs, output_request request, output_stager& stager,
                  job_record& record)
{
    const value_table& values = inputs.first_values;
    std::string text;
    std::span<const char> result;
    record.staged = task.kind != job_kind::check;
    switch (task.kind) {
    case job_kind::convert:
        if (task.input.way == direction::to_table) {
            stager.stage(std::move(request), encode_table(values));
        } else {
            stager.stage(std::move(request), format_listing(values));
        }
        return;
    case job_kind::check:
        return;
    case job_kind::show:
        text = shown_values(values, task.format, shown_input(task.input.from), task.show_name, task.first);
        result = text;
        break;
    case job_kind::plot:
        text = chart_of(task, inputs);
        result = text;
        break;
    case job_kind::diff:
        record.differed = values != inputs.values(1);
        text = compared_values(values, inputs.values(1), task.format, shown_input(task.input.from),
                               shown_input(source_of(task, 1).from));
        if (text.empty() || task.quiet) {
            record.staged = false;
            return;
        }
        result = text;
        break;
    }
    stager.stage(std::move(request), result);
}

} // namespace

void prepare_job(const job& task, listing_scanner& scanner, output_stager& stager, job_record& record)
{
    // As gzip keeps binary off a terminal: a table there is noise, and may
    // be read as commands.
    if (task.kind == job_kind::convert && task.output.kind == subject_kind::standard_output &&
        task.input.way == direction::to_table && task.mode != write_mode::replace &&
        is_terminal(standard_stream::output)) {
        record.failed = refused(refusal_kind::binary_to_terminal, task.output);
        return;
    }
    job_inputs inputs(task);
    output_request request = planned_output(task);
    record.failed = open_inputs(task, request, inputs);
    if (!record.failed) {
        record.failed = check_output(task, request);
    }
    for (std::size_t i = 0; i <= task.others.size() && !record.failed; ++i) {
        record.failed = read_values(task, source_of(task, i), inputs.file(i), scanner, record, inputs.values(i));
    }
    if (!record.failed) {
        stage_result(task, inputs, std::move(request), stager, record);
    }
}

} // namespace txconv
