#include "app/command_line.hpp"

#include "app/driver.hpp"
#include "app/options.hpp"
#include "fileio/inputs.hpp"
#include "platform/console.hpp"

#include <type_traits>

namespace txconv {

namespace {

bool is_standard_stream(const path_string& path)
{
    return path.size() == 1 && path[0] == path_char('-');
}

// A file's kind by its extension, either case, where no option says it.
std::optional<direction> way_by_name(const path_string& path)
{
    // Cut just behind the file name's last '.', or with one added.
    const path_string stem = output_name_for(path, "");
    std::string extension;
    for (std::size_t i = stem.size(); i < path.size(); ++i) {
        const std::uint32_t c = static_cast<std::make_unsigned_t<path_char>>(path[i]);
        const bool ascii = c < 0x80;
        const bool upper = c >= 'A' && c <= 'Z';
        extension.push_back(upper ? static_cast<char>(c - 'A' + 'a') : ascii ? static_cast<char>(c) : '?');
    }
    if (extension == "txt") {
        return direction::to_table;
    }
    if (extension == "tx") {
        return direction::to_listing;
    }
    return std::nullopt;
}

int usage_error(const std::string& error)
{
    (void)write_console(console_stream::error, "txconv: " + error + "\n" + std::string(SHORT_USAGE));
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
        task.way = options.way ? options.way : way_by_name(file);
        task.mode = mode;
        task.strict = options.strict;
        task.check_only = options.check;
        if (options.output) {
            if (!is_standard_stream(*options.output)) {
                task.output = options.output;
                task.output_typed = true;
            }
        } else if (!task.from_standard_input) {
            task.output = output_name_for(file, made_extension(task.way.value_or(direction::to_table)));
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
    const command_options& options = *parsed;
    if (options.help || options.version) {
        const std::string text = options.help ? help_text() : "txconv " TXCONV_VERSION "\n";
        return write_console(console_stream::output, text) ? 0 : 1;
    }
    const std::vector<job> jobs = plan(options);
    return run_jobs(jobs, {.verbose = options.verbose, .quiet = options.quiet}).any_failed ? 1 : 0;
}

} // namespace txconv
