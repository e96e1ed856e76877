#include "app/command_line.hpp"

#include "app/driver.hpp"
#include "app/options.hpp"
#include "app/table_views.hpp"
#include "fileio/inputs.hpp"
#include "platform/console.hpp"

namespace txconv {

namespace {

int usage_error(const std::string& error)
{
    (void)write_console(console_stream::error, "txconv: " + error + "\n" + short_usage());
    return 2;
}

std::vector<job> plan(const command_options& options)
{
    const write_mode mode = options.force    ? write_mode::replace
                            : options.append ? write_mode::append
                                             : write_mode::create;
    std::vector<job> jobs;
    for (const path_string& file : options.files) {
        job& task = jobs.emplace_back();
        task.input = file;
        task.from_standard_input = is_standard_stream(file);
        task.way = options.way ? *options.way : way_by_name(file).value_or(direction::to_table);
        task.mode = mode;
        task.strict = options.strict || options.check;
        task.kind = options.check  ? job_kind::check
                    : options.show ? job_kind::show
                    : options.plot ? job_kind::plot
                                   : job_kind::convert;
        task.image = options.image.value_or(1);
        task.image_chosen = options.image.has_value();
        task.show_name = options.show && (options.files.size() > 1 || file != options.files.front());
        if (options.output) {
            if (!is_standard_stream(*options.output)) {
                task.output = options.output;
                task.output_typed = true;
            }
        } else if (!task.from_standard_input && (task.kind == job_kind::convert || task.kind == job_kind::plot)) {
            task.output =
                output_name_for(name_as_opened(file), task.kind == job_kind::plot ? "svg" : made_extension(task.way));
        }
    }
    return jobs;
}

} // namespace

int run_command_line(std::span<const path_string> arguments)
{
    std::string error;
    const std::optional<command_options> parsed = parse_command_line(arguments, error);
    if (!parsed) {
        return usage_error(error);
    }
    command_options options = *parsed;
    expand_wildcards(options.files);
    if (options.filter && !options.help && !options.version && is_terminal(standard_stream::input)) {
        return usage_error("no FILE given, and standard input is a terminal");
    }
    if (options.help || options.version) {
        const std::string text = options.help ? help_text() : "txconv " TXCONV_VERSION "\n";
        return write_console(console_stream::output, text) ? 0 : 1;
    }
    const std::vector<job> jobs = plan(options);
    if (options.diff) {
        return run_diff(jobs, options.quiet);
    }
    return run_jobs(jobs, {.verbose = options.verbose, .quiet = options.quiet}).any_failed ? 1 : 0;
}

} // namespace txconv
