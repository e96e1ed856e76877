#include "app/job_steps.hpp"
#include "app/translation.hpp"

#include "app/messages.hpp"
#include "app/table_views.hpp"

#include <algorithm>

namespace txconv {

namespace {

using job_expected = std::expected<void, job_failure>;

// What an input reads as: its chosen table, what was found on the way, and
// how many tables it holds, a listing's last short run of fields included.
struct table_reading {
    value_table table{};
    std::vector<finding> findings;
    std::uint64_t tables = 1;
};

std::unexpected<job_failure> endless(const input_file& input, std::uint64_t read)
{
    return std::unexpected<job_failure>(failure{.kind = failure_kind::endless, .about = input.about, .read = read});
}

// Reads a listing chunk by chunk, and checks its lines too where strict.
std::expected<table_reading, job_failure> read_listing(const job& task, input_file& input)
{
    listing_scanner scanner(task.choice.value_or(table_choice{}));
    // Where strict, each chunk is checked line by line too. A listing saved
    // as UTF-16 is read as the text it is, from its first bytes on; the mark
    // that Notepad may put before UTF-8 is no part of the first line's key.
    std::optional<strict_check> check = task.strict ? std::optional<strict_check>(std::in_place) : std::nullopt;
    std::optional<text_encoding> encoding;
    std::optional<utf16_decoder> decoder;
    std::size_t utf8_mark = 0;
    // Lent by reference, as a copy would take memory of its own.
    const auto take = [&](std::span<const char> chunk) {
        if (!encoding) {
            encoding = encoding_of(chunk);
            if (*encoding == text_encoding::utf16_le || *encoding == text_encoding::utf16_be) {
                decoder.emplace(*encoding == text_encoding::utf16_be);
                chunk = chunk.subspan(2);
            } else if (std::string_view(chunk.data(), chunk.size()).starts_with(UTF8_MARK)) {
                utf8_mark = UTF8_MARK.size();
            }
        }
        const std::string decoded = decoder ? decoder->decode(chunk) : std::string();
        const std::span<const char> text = decoder ? std::span<const char>(decoded) : chunk;
        scanner.feed(text.subspan(std::exchange(utf8_mark, 0)));
        if (check) {
            check->feed(text);
        }
    };
    const file_expected<read_extent> read = read_whole_file(input, std::ref(take));
    if (!read) {
        return std::unexpected(read.error());
    }
    if (encoding == text_encoding::utf16_unmarked) {
        return std::unexpected(refusal{.kind = refusal_kind::unmarked_utf16, .about = input.about});
    }
    scanner.finish();
    table_reading result{.table = scanner.table(), .tables = scanner.tables()};
    if (!read->ended) {
        // Past the budget, only a table that is whole and wanted as it is
        // counts: the last one of an endless stream never comes.
        if (!scanner.complete()) {
            return endless(input, read->bytes);
        }
        result.findings.push_back({finding_kind::goes_on, 0, read->bytes});
    }
    const std::vector<finding>& found = check ? check->finish() : scanner.findings();
    result.findings.insert(result.findings.begin(), found.begin(), found.end());
    if (decoder) {
        // Not the bytes txconv writes, however well it reads: said once.
        result.findings.insert(result.findings.begin(),
                               {finding_kind::utf16, 0, encoding == text_encoding::utf16_be ? 1U : 0U});
    }
    return result;
}

// Reads the chosen table of a table file: where it lies, in a regular file,
// whose length is known without reading; else the stream up to its end,
// keeping the last table completed that is wanted.
std::expected<table_reading, job_failure> read_table(const job& task, input_file& input)
{
    const table_choice choice = task.choice.value_or(table_choice{});
    const std::uint64_t tables = std::max<std::uint64_t>(input.size.value_or(0) / TABLE_BYTES, 1);
    const std::uint64_t wanted = choice.last ? tables : choice.number;
    table_image image{};
    table_image current{};
    std::uint64_t at = 0;
    file_expected<read_extent> read = read_extent{.bytes = input.size.value_or(0)};
    if (!input.size) {
        read = read_whole_file(input, [&](std::span<const char> chunk) {
            for (const char byte : chunk) {
                current[at++ % TABLE_BYTES] = byte;
                if (at % TABLE_BYTES == 0 && (choice.last || at / TABLE_BYTES == choice.number)) {
                    image = current;
                }
            }
        });
    } else if (const file_expected<std::size_t> got =
                   wanted <= tables ? read_part(input, (wanted - 1) * TABLE_BYTES, image) : 0;
               !got) {
        read = std::unexpected(got.error());
    }
    if (!read) {
        return std::unexpected(std::move(read.error()));
    }
    if (!read->ended && (choice.last || read->bytes / TABLE_BYTES < choice.number)) {
        return endless(input, read->bytes);
    }
    table_reading result{.table = decode_table(image), .tables = read->bytes / TABLE_BYTES};
    if (!read->ended) {
        result.findings.push_back({finding_kind::goes_on, 0, read->bytes});
    } else if (std::optional<finding> found =
                   judge_table_length(read->bytes, task.choice.has_value() && !task.strict)) {
        result.findings.push_back(*found);
    }
    return result;
}

// Opens one input: a file by its name, or standard input. A stream that
// could not hold the table asked for within the budget is refused before
// anything is read.
std::expected<input_file, job_failure> open_source(const job& task, const job_source& source)
{
    file_expected<input_file> opened =
        source.from.kind == subject_kind::standard_input ? open_standard_input() : open_input(source.from.path);
    // A listing's field takes one byte at the least.
    const std::uint64_t per_table = source.way == direction::to_table ? TABLE_SLOTS : TABLE_BYTES;
    if (opened && task.choice && !task.choice->last && !opened->size &&
        task.choice->number > INPUT_BUDGET / per_table) {
        return endless(*opened, 0);
    }
    return opened;
}

// Strictly, every departure from the form txconv writes fails the file.
// Otherwise only a table file too short to hold a table fails; the rest
// warn, or go unsaid.
job_expected weigh_findings(const job& task, const subject& about, const table_reading& read, job_record& record)
{
    const std::uint64_t wanted = task.choice && !task.choice->last ? task.choice->number : 1;
    for (const finding& found : read.findings) {
        if (found.kind == finding_kind::short_table && !task.strict) {
            return std::unexpected(refusal{.kind = refusal_kind::short_table, .about = about, .bytes = found.count});
        }
        // Of a listing of several runs, the ones not chosen go unsaid; of a
        // table that is not there, all but that.
        if (task.strict || (wanted <= read.tables && (!task.choice || found.kind != finding_kind::values_ignored))) {
            record.findings.emplace_back(about, found);
        }
    }
    if (task.strict && !read.findings.empty()) {
        return std::unexpected(refusal{.kind = refusal_kind::not_as_written, .about = about});
    }
    if (wanted > read.tables) {
        return std::unexpected(
            refusal{.kind = refusal_kind::no_such_table, .about = about, .wanted = wanted, .tables = read.tables});
    }
    return {};
}

// A chart of the job's tables, each named by what tells it apart: the
// beginning that all of them share goes, folder and all, cut after a
// separator and before any byte is escaped; standard input is named as
// everywhere. The title names the one table, or what the tables share.
std::string chart_of(const job& task, const std::vector<value_table>& values)
{
    std::vector<std::string> names;
    for (const job_source& input : task.inputs) {
        names.push_back(input.from.kind == subject_kind::file ? display_path(input.from.path)
                                                              : shown_input(input.from));
    }
    std::size_t shared = names.size() > 1 ? names[0].size() : 0;
    for (const std::string& name : names) {
        shared =
            std::min(shared, static_cast<std::size_t>(std::ranges::mismatch(names[0], name).in1 - names[0].begin()));
    }
    shared = shared == 0 ? 0 : names[0].find_last_of(" _-./\\", shared - 1) + 1;
    std::string title = shown_text(names.size() == 1 ? names[0] : names[0].substr(0, shared));
    std::vector<plotted_table> tables;
    for (std::size_t i = 0; i < names.size(); ++i) {
        tables.push_back({&values[i], shown_text(std::string_view(names[i]).substr(shared))});
    }
    if (names.size() > 1) {
        // Names that share nothing leave nothing to say where they are from.
        title = title.empty() ? counted(names.size(), trn("%s table", "%s tables", names.size()))
                              : fill(tr("%s tables from %s"), {std::to_string(names.size()), title});
    } else if (task.choice) {
        title += task.choice->last ? std::string(tr(", last table"))
                                   : fill(tr(", table %s"), {std::to_string(task.choice->number)});
    }
    return plot_svg(tables, title, task.full_range);
}

// What a job's output calls an input: its shown name; for scripts, whatever
// the language, "-" for standard input, as the command line names it.
std::string name_of(const job& task, const subject& input)
{
    return task.format != output_format::text && input.kind == subject_kind::standard_input ? "-" : shown_input(input);
}

// The result of a job from the values of its inputs, in the order given;
// nothing where there is nothing to write.
std::optional<std::string> result_of(const job& task, const std::vector<value_table>& values, job_record& record)
{
    switch (task.kind) {
    case job_kind::convert: {
        const auto bytes = [](const auto& made) { return std::string(made.begin(), made.end()); };
        return task.input().way == direction::to_table ? bytes(encode_table(values[0]))
                                                       : encoded_as(bytes(format_listing(values[0])), record.added_as);
    }
    case job_kind::check:
        return std::nullopt;
    case job_kind::show:
        return shown_values(values[0], task.format, name_of(task, task.input().from), task.show_name, task.csv_header);
    case job_kind::plot:
        return chart_of(task, values);
    case job_kind::diff:
        record.differed = values[0] != values[1];
        std::string text = compared_values(values[0], values[1], task.format, name_of(task, task.input().from),
                                           name_of(task, task.inputs[1].from));
        return text.empty() || task.quiet ? std::nullopt : std::optional(std::move(text));
    }
    return std::nullopt;
}

// A later job whose output an earlier one of this run writes too would
// replace it, fail on it, or write over it at another offset: it is
// refused, naming both. Appends to one file go in order, and jobs that all
// write standard output share it in order.
job_expected refuse_shared_output(const job& task, const output_look& look, earlier_outputs& earlier)
{
    // The folder that holds a file, by its identity, so that two spellings
    // of one name meet.
    std::optional<file_identity> folder;
    if (task.output.to.kind == subject_kind::file) {
        const auto [known, fresh] = earlier.folders.try_emplace(folder_of(look.target));
        if (fresh) {
            const io_expected<path_facts> there = inspect_path(known->first, true);
            known->second = there && there->kind != path_kind::missing ? std::optional(there->identity) : std::nullopt;
        }
        folder = known->second;
    }
    // The first job that writes the same file, by its identity or by its
    // name in the same folder: looked up, as a batch has thousands.
    const job* by_file = look.file ? earlier.files.try_emplace(*look.file, &task).first->second : &task;
    const job* by_name =
        folder ? earlier.names.try_emplace({*folder, look.target.substr(file_name_start(look.target))}, &task)
                     .first->second
               : &task;
    for (const job* by : {by_file, by_name}) {
        const bool in_order = by->output.to.kind == task.output.to.kind &&
                              (task.output.to.kind == subject_kind::standard_output ||
                               (by->output.mode == write_mode::append && task.output.mode == write_mode::append));
        if (by != &task && !in_order) {
            return std::unexpected(refusal{.kind = refusal_kind::shared_output,
                                           .about = task.input().from,
                                           .output = task.output.to,
                                           .earlier = by->input().from});
        }
    }
    return {};
}

// How the file at path begins: with a mark of UTF-16 or as bytes, as one
// that cannot be read is taken to.
text_encoding encoding_at(const path_string& path)
{
    std::array<char, 2> mark{};
    file_expected<input_file> opened = open_input(path);
    return opened && read_part(*opened, 0, mark).value_or(0) == mark.size() ? encoding_of(mark) : text_encoding::bytes;
}

} // namespace

job_expected prepare_job(const job& task, std::size_t number, output_stager& stager, job_record& record,
                         earlier_outputs* earlier)
{
    // As gzip keeps binary off a terminal: a table there is noise, and may
    // be read as commands.
    if (task.kind == job_kind::convert && task.output.to.kind == subject_kind::standard_output &&
        task.input().way == direction::to_table && task.output.mode != write_mode::replace &&
        is_terminal(standard_stream::output)) {
        return std::unexpected(refusal{.kind = refusal_kind::binary_to_terminal, .about = task.output.to});
    }
    // Every input is opened before the output is looked at, so that the
    // output is known never to be one of them; and the output is looked at
    // before a byte is read, as a result that could not be written is not
    // worth reading a large input for.
    std::vector<input_file> inputs;
    output_request request = task.output;
    for (const job_source& source : task.inputs) {
        auto opened = open_source(task, source);
        if (!opened) {
            return std::unexpected(opened.error());
        }
        inputs.push_back(std::move(*opened));
        if (const std::optional<file_identity> identity = inputs.back().identity) {
            request.inputs.push_back(identity.value());
        }
    }
    request.permissions = inputs[0].permissions;
    // An output that cannot be written is refused; one that an earlier job
    // of the run writes too is said as that, whatever else the look found.
    // A check writes nothing, so its output is not looked at.
    const file_expected<> looked = task.kind == job_kind::check ? file_expected<>() : look_at_output(request);
    const job_expected shared =
        earlier != nullptr ? refuse_shared_output(task, request.look, *earlier) : job_expected();
    if (!shared || !looked) {
        return !shared ? shared : job_expected(looked);
    }
    // Only a conversion appends: the other jobs make what they make new.
    if (task.input().way == direction::to_listing && request.mode == write_mode::append && request.look.file) {
        record.added_as = encoding_at(request.look.target);
    }
    std::vector<value_table> values;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const auto read =
            task.inputs[i].way == direction::to_table ? read_listing(task, inputs[i]) : read_table(task, inputs[i]);
        if (!read) {
            return std::unexpected(read.error());
        }
        if (auto weighed = weigh_findings(task, task.inputs[i].from, *read, record); !weighed) {
            return weighed;
        }
        values.push_back(read->table);
    }
    if (std::optional<std::string> result = result_of(task, values, record)) {
        stager.stage(number, std::move(request), std::move(*result));
        record.staged = true;
    }
    return {};
}

} // namespace txconv
