#include "app/options.hpp"

#include "app/messages.hpp"

#include <algorithm>

namespace txconv {

namespace {

void set_way(command_options& options, direction way)
{
    options.both_ways = options.both_ways || (options.way && *options.way != way);
    options.way = way;
}

// Every option, once.
constexpr option_entry OPTIONS[] = {
    {'1', "to-tx", "", "listing to table",
     [](command_options& o, const path_string&) { set_way(o, direction::to_table); }},
    {'2', "to-txt", "", "table to listing",
     [](command_options& o, const path_string&) { set_way(o, direction::to_listing); }},
    {'o', "output", "PATH", "the output of a single FILE; - is standard output",
     [](command_options& o, const path_string& value) { o.output = value; }},
    {'f', "force", "", "replace an existing output (atomically)",
     [](command_options& o, const path_string&) { o.force = true; }},
    {'\0', "append", "", "add to an existing output, as the menu does",
     [](command_options& o, const path_string&) { o.append = true; }},
    {'\0', "strict", "",
     "any warning is an error: a listing must hold exactly 95\nvalues of 8 hex digits, a table file whole tables",
     [](command_options& o, const path_string&) { o.strict = true; }},
    {'c', "check", "",
     "read and check only, write nothing; without -1 or -2\nthe extension (.txt or .tx) says what FILE is",
     [](command_options& o, const path_string&) { o.check = true; }},
    {'v', "verbose", "", "print IN -> OUT for each file",
     [](command_options& o, const path_string&) { o.verbose = true; }},
    {'q', "quiet", "", "print no warnings", [](command_options& o, const path_string&) { o.quiet = true; }},
    {'h', "help", "", "print this help", [](command_options& o, const path_string&) { o.help = true; }},
    {'\0', "version", "", "print the version", [](command_options& o, const path_string&) { o.version = true; }},
};

constexpr std::string_view HELP_HEAD =
    "usage: txconv PATH...\n"
    "       txconv [OPTION]... FILE...\n"
    "\n"
    "Converts between a table file (.tx: 95 unsigned 32-bit values, 380 bytes,\n"
    "little-endian) and a listing (.txt: one line \"uv=XXXXXXXX\" per value, CR LF).\n"
    "\n"
    "Without options a menu asks which way: 1 turns a listing into a table, 2 a\n"
    "table into a listing. Each result is appended to its PATH with the extension\n"
    "swapped, after a notice that shows the paths.\n"
    "\n"
    "With options there is no menu and no notice:\n";

constexpr std::string_view HELP_TAIL = "      --               end of options\n"
                                       "A FILE of - is standard input; its output goes to standard output unless -o\n"
                                       "names one. An existing output is left alone unless --force or --append says\n"
                                       "otherwise, and the run goes on with the next FILE.\n"
                                       "\n"
                                       "Exit status: 0 when every conversion worked (or, with the menu, none was\n"
                                       "chosen), 1 when any failed, 2 for a wrong command line.\n";

// Where each option's help begins.
constexpr std::size_t HELP_COLUMN = 23;

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
bool take_long(std::span<const path_string> arguments, std::size_t& at, command_options& options, std::string& error)
{
    const path_string& argument = arguments[at];
    const std::size_t equals_sign = argument.find(path_char('='));
    const path_string name = argument.substr(2, equals_sign == path_string::npos ? path_string::npos : equals_sign - 2);
    const option_entry* entry = find_long(name);
    if (entry == nullptr) {
        error = "unknown option '" + shown_path(argument) + "'";
        return false;
    }
    path_string value;
    if (equals_sign != path_string::npos) {
        if (entry->value_name.empty()) {
            error = "option '--" + std::string(entry->long_name) + "' takes no value";
            return false;
        }
        value = argument.substr(equals_sign + 1);
    } else if (!entry->value_name.empty()) {
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
bool take_short(std::span<const path_string> arguments, std::size_t& at, command_options& options, std::string& error)
{
    const path_string& argument = arguments[at];
    for (std::size_t i = 1; i < argument.size(); ++i) {
        const option_entry* entry = find_short(argument[i]);
        if (entry == nullptr) {
            error = "unknown option '-" + shown_path(argument.substr(i, 1)) + "'";
            return false;
        }
        if (entry->value_name.empty()) {
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
    if (options.output && options.output->empty()) {
        return "-o needs a PATH: an empty one names no file";
    }
    if (options.output && options.files.size() > 1) {
        return "-o names the output of a single FILE";
    }
    return {};
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

std::span<const option_entry> option_table()
{
    return OPTIONS;
}

std::string help_text()
{
    std::string text(HELP_HEAD);
    for (const option_entry& entry : OPTIONS) {
        std::string line = "  ";
        line += entry.short_name != '\0' ? std::string{'-', entry.short_name, ','} : std::string("   ");
        line += " --";
        line += entry.long_name;
        if (!entry.value_name.empty()) {
            line += " ";
            line += entry.value_name;
        }
        std::string_view help = entry.help;
        for (std::size_t cut = help.find('\n'); !help.empty(); cut = help.find('\n')) {
            line.resize(std::max(line.size() + 1, HELP_COLUMN), ' ');
            text += line;
            text += help.substr(0, cut);
            text += '\n';
            line.clear();
            help = cut == std::string_view::npos ? std::string_view() : help.substr(cut + 1);
        }
    }
    return text + std::string(HELP_TAIL);
}

} // namespace txconv
