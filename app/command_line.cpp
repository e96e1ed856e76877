#include "app/options.hpp"
#include "app/translation.hpp"

#include "app/menu.hpp"
#include "app/messages.hpp"

#include <algorithm>
#include <new>
#include <ranges>

namespace txconv {

namespace {

// Whether a path on the command line is the standard stream: "-", or a link
// that leads to it, as /dev/stdin and /dev/stdout do.
bool names_stream(const path_string& path, standard_stream stream)
{
    return is_standard_stream(path) || standard_stream_behind(path) == stream;
}

job_source source_of(const command_options& options, const path_string& file)
{
    return {.from = names_stream(file, standard_stream::input) ? subject::standard_input()
                                                               : subject{subject_kind::file, file},
            .way = options.way().or_else([&] { return way_by_name(file); }).value_or(direction::to_table)};
}

// Where a job's result goes: where -o says, else beside a named input for
// what makes a file, else standard output.
void set_output(const command_options& options, const path_string& file, job& task)
{
    const bool from_file = task.input().from.kind == subject_kind::file;
    if (options.output) {
        if (!names_stream(*options.output, standard_stream::output)) {
            task.output.to = {subject_kind::file, *options.output};
            task.output.named_by_user = true;
        }
    } else if (from_file && task.kind == job_kind::convert) {
        task.output.to = {subject_kind::file, output_name_for(name_as_opened(file), made_extension(task.input().way))};
    } else if (from_file && task.kind == job_kind::plot) {
        task.output.to = {subject_kind::file, output_name_beside(name_as_opened(file), "svg")};
    }
}

std::vector<job> plan(const command_options& options)
{
    const write_mode mode = options.force    ? write_mode::replace
                            : options.append ? write_mode::append
                                             : write_mode::create;
    const job_kind kind = options.check  ? job_kind::check
                          : options.show ? job_kind::show
                          : options.plot ? job_kind::plot
                          : options.diff ? job_kind::diff
                                         : job_kind::convert;
    std::vector<job> jobs;
    // A comparison takes two FILEs; a chart with -o takes them all.
    const std::size_t per_job = kind == job_kind::diff                     ? 2
                                : kind == job_kind::plot && options.output ? options.files.size()
                                                                           : 1;
    for (std::size_t i = 0; i < options.files.size(); i += per_job) {
        job& task = jobs.emplace_back();
        task.kind = kind;
        for (std::size_t n = i; n < i + per_job; ++n) {
            task.inputs.push_back(source_of(options, options.files[n]));
        }
        task.output.mode = mode;
        task.strict = options.strict || options.check;
        task.choice = options.choice;
        task.quiet = options.quiet;
        task.full_range = options.full_range;
        task.show_name = kind == job_kind::show && options.files.size() > 1;
        task.csv_header = jobs.size() == 1;
        task.format = options.format.value_or(output_format::text);
        set_output(options, options.files[i], task);
    }
    return jobs;
}

// Says what is wrong with the command line, then the usage lines; returns 2.
int usage_error(const std::string& error)
{
    (void)write_console(standard_stream::error, "txconv: " + error + "\n" + short_usage());
    return 2;
}

} // namespace

int run_command_line(std::span<const path_string> arguments, const front_end& how)
{
    std::expected<command_options, std::string> parsed = parse_command_line(arguments);
    if (!parsed) {
        return usage_error(parsed.error());
    }
    command_options options = std::move(*parsed);
    if (options.filter && !options.help && !options.version && is_terminal(standard_stream::input)) {
        return usage_error(std::string(tr("no FILE given, and standard input is a terminal")));
    }
    if (options.help || options.version) {
        const std::string text = options.help ? help_text() : "txconv " TXCONV_VERSION "\n";
        if (const io_expected<> written = write_console(standard_stream::output, text); !written) {
            print_diagnostic(failure_line(cannot_write(subject::standard_output(), written.error())));
            return 1;
        }
        return 0;
    }
    std::vector<job> jobs = plan(options);
    // Standard input can be read only once, however it is named.
    const auto sources = jobs | std::views::transform(&job::inputs) | std::views::join;
    if (std::ranges::count(sources, subject::standard_input(), &job_source::from) > 1) {
        return usage_error(std::string(tr("standard input is named twice, but it can be read only once")));
    }
    // Told neither to replace nor to add, a program that can ask does.
    const std::size_t kept = how.ask != nullptr ? ask_before_replacing(jobs, how.ask) : 0;
    const run_summary summary = run_jobs(jobs, {.verbose = options.verbose});
    if (options.diff) {
        // As cmp: trouble outranks a difference.
        return summary.any_failed() ? 2 : summary.any_differed ? 1 : 0;
    }
    return summary.any_failed() || kept > 0 ? 1 : 0;
}

int run_txconv(int argc, const path_char* const* argv, const front_end& how)
{
    prepare_process();
    try {
        std::vector<path_string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
        if (asks_for_command_line(arguments)) {
            return run_command_line(arguments, how);
        }
        if (how.windowed) {
            return usage_error(std::string(tr("the windowed program has no menu; give -1 or -2 and the files")));
        }
        // "txconv *.txt" typed at a prompt that leaves wildcards to the
        // program means the files it matches, in the menu as with options.
        expand_wildcards(arguments);
        return run_menu(arguments);
    } catch (const std::bad_alloc&) {
        // Whatever was staged went with the unwinding, leaving nothing.
        print_diagnostic(tr("out of memory"));
        return 1;
    }
}

} // namespace txconv
