#include "app/command_line.hpp"

#include "app/report.hpp"
#include "platform/console.hpp"

#include <algorithm>
#include <type_traits>

namespace txconv {

namespace {

void set_way(command_options& options, direction way)
{
    options.both_ways = options.both_ways || (options.way && *options.way != way);
    options.way = way;
}

struct option_entry {
    char short_name; // '\0': none
    std::string_view long_name;
    bool takes_value;
    void (*apply)(command_options& options, const path_string& value);
};

// Every option, once: the parser, and nothing else, reads this table.
constexpr option_entry OPTIONS[] = {
    {'1', "to-tx", false, [](command_options& o, const path_string&) { set_way(o, direction::to_table); }},
    {'2', "to-txt", false, [](command_options& o, const path_string&) { set_way(o, direction::to_listing); }},
    {'o', "output", true, [](command_options& o, const path_string& value) { o.output = value; }},
    {'f', "force", false, [](command_options& o, const path_string&) { o.force = true; }},
    {'\0', "append", false, [](command_options& o, const path_string&) { o.append = true; }},
    {'\0', "strict", false, [](command_options& o, const path_string&) { o.strict = true; }},
    {'c', "check", false, [](command_options& o, const path_string&) { o.check = true; }},
    {'v', "verbose", false, [](command_options& o, const path_string&) { o.verbose = true; }},
    {'q', "quiet", false, [](command_options& o, const path_string&) { o.quiet = true; }},
    {'h', "help", false, [](command_options& o, const path_string&) { o.help = true; }},
    {'\0', "version", false, [](command_options& o, const path_string&) { o.version = true; }},
};

bool equals(const path_string& argument, std::string_view text)
{
    return std::equal(argument.begin(), argument.end(), text.begin(), text.end(),
                      [](path_char a, char b) { return a == static_cast<path_char>(b); });
}

bool is_option(const path_string& argument)
{
    return argument.size() > 1 && argument[0] == path_char('-');
}

const option_entry* find_long(const path_string& name)
{
    for (const option_entry& entry : OPTIONS) {
        if (equals(name, entry.long_name)) {
            return &entry;
        }
    }
    return nullptr;
}

const option_entry* find_short(path_char name)
{
    for (const option_entry& entry : OPTIONS) {
        if (entry.short_name != '\0' && name == static_cast<path_char>(entry.short_name)) {
            return &entry;
        }
    }
    return nullptr;
}

// A long option, "--name" or "--name=value", whose value may also be the
// next argument. Returns false with error set on a usage error.
bool take_long(std::span<const path_string> arguments, std::size_t& at, command_options& options,
               std::string& error)
{
    const path_string& argument = arguments[at];
    const std::size_t equals_sign = argument.find(path_char('='));
    const path_string name = argument.substr(2, equals_sign == path_string::npos ? path_string::npos : equals_sign - 2);
    const option_entry* entry = find_long(name);
    if (entry == nullptr) {
        error = "unknown option '" + display_path(argument) + "'";
        return false;
    }
    path_string value;
    if (equals_sign != path_string::npos) {
        if (!entry->takes_value) {
            error = "option '--" + std::string(entry->long_name) + "' takes no value";
            return false;
        }
        value = argument.substr(equals_sign + 1);
    } else if (entry->takes_value) {
        if (at + 1 == arguments.size()) {
            error = "option '--" + std::string(entry->long_name) + "' needs a value";
            return false;
        }
        value = arguments[++at];
    }
    entry->apply(options, value);
    return true;
}

// Short options, bundled or not: "-1fv", "-o PATH", "-oPATH".
bool take_short(std::span<const path_string> arguments, std::size_t& at, command_options& options,
                std::string& error)
{
    const path_string& argument = arguments[at];
    for (std::size_t i = 1; i < argument.size(); ++i) {
        const option_entry* entry = find_short(argument[i]);
        if (entry == nullptr) {
            error = "unknown option '-" + display_path(argument.substr(i, 1)) + "'";
            return false;
        }
        if (!entry->takes_value) {
            entry->apply(options, {});
            continue;
        }
        if (i + 1 < argument.size()) {
            entry->apply(options, argument.substr(i + 1));
        } else if (at + 1 < arguments.size()) {
            entry->apply(options, arguments[++at]);
        } else {
            error = std::string("option '-") + entry->short_name + "' needs a value";
            return false;
        }
        return true;
    }
    return true;
}

// What no single option can tell: combinations that make no sense.
std::string check_combination(const command_options& options)
{
    if (options.both_ways) {
        return "-1 and -2 cannot be used together";
    }
    if (options.force && options.append) {
        return "--force and --append cannot be used together";
    }
    if (options.check && (options.output || options.force || options.append)) {
        return "--check writes nothing, so -o, --force and --append make no sense with it";
    }
    if (!options.way && !options.check) {
        return "say which way: -1 (listing to table) or -2 (table to listing)";
    }
    if (options.files.empty()) {
        return "no FILE given";
    }
    if (options.output && options.files.size() > 1) {
        return "-o names the output of a single FILE";
    }
    return {};
}

bool is_standard_stream(const path_string& path)
{
    return equals(path, "-");
}

// A file's kind by its extension, either case, for --check without -1 or -2.
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

} // namespace

bool asks_for_command_line(std::span<const path_string> arguments)
{
    return std::any_of(arguments.begin(), arguments.end(), is_option);
}

std::optional<command_options> parse_command_line(std::span<const path_string> arguments, std::string& error)
{
    command_options options;
    bool options_ended = false;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const path_string& argument = arguments[at];
        if (options_ended || !is_option(argument)) {
            options.files.push_back(argument);
        } else if (equals(argument, "--")) {
            options_ended = true;
        } else if (argument[1] == path_char('-') ? !take_long(arguments, at, options, error)
                                                  : !take_short(arguments, at, options, error)) {
            return std::nullopt;
        }
    }
    if (!options.help && !options.version) {
        error = check_combination(options);
        if (!error.empty()) {
            return std::nullopt;
        }
    }
    return options;
}

int run_command_line(std::span<const path_string> arguments)
{
    std::string error;
    const std::optional<command_options> parsed = parse_command_line(arguments, error);
    if (!parsed) {
        return usage_error(error);
    }
    const command_options& options = *parsed;
    if (options.help || options.version) {
        const std::string text = options.help ? std::string(USAGE) : "txconv " TXCONV_VERSION "\n";
        return write_console(console_stream::output, text) ? 0 : 1;
    }

    output_writer writer(print_diagnostic);
    converter runner(writer, options.quiet ? message_sink{} : message_sink(print_diagnostic));
    const write_mode mode = options.force ? write_mode::replace
                            : options.append ? write_mode::append
                                             : write_mode::create;
    bool any_failed = false;
    for (const path_string& file : options.files) {
        conversion_job job;
        job.input = file;
        job.from_standard_input = is_standard_stream(file);
        job.mode = mode;
        job.strict = options.strict;
        job.check_only = options.check;
        const std::optional<direction> way = options.way ? options.way : way_by_name(file);
        job.way = way.value_or(direction::to_table);
        if (options.output) {
            if (!is_standard_stream(*options.output)) {
                job.output = options.output;
            }
        } else if (!job.from_standard_input) {
            job.output = output_name_for(file, made_extension(job.way));
        }
        std::string line = display_path(file);
        line += job.check_only ? ": ok" : " -> " + (job.output ? display_path(*job.output) : "-");
        output_done done = [&any_failed, &options, line = std::move(line)](const outcome& ended) {
            if (ended) {
                print_failure(*ended);
                any_failed = true;
            } else if (options.verbose) {
                (void)write_console(console_stream::error, line + "\n");
            }
        };
        if (way) {
            runner.run(job, std::move(done));
        } else {
            writer.report(failure{{}, display_path(file), "cannot tell a listing from a table by its name; use -1 or -2"},
                          std::move(done));
        }
    }
    writer.flush();
    return any_failed ? 1 : 0;
}

} // namespace txconv
