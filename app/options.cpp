#include "app/options.hpp"

#include "app/messages.hpp"
#include "app/translation.hpp"
#include "fileio/file_access.hpp"

#include <algorithm>
#include <string>
#include <type_traits>

namespace txconv {

namespace {

void set_way(command_options& options, direction way)
{
    options.both_ways = options.both_ways || (options.way && *options.way != way);
    options.way = way;
}

// Every option, once.
constexpr option_entry OPTIONS[] = {
    {'1', "to-tx", "", tr_later("listing to table"),
     [](command_options& o, const path_string&) { set_way(o, direction::to_table); }},
    {'2', "to-txt", "", tr_later("table to listing"),
     [](command_options& o, const path_string&) { set_way(o, direction::to_listing); }},
    {'o', "output", "PATH", tr_later("the output of a single FILE; - is standard output"),
     [](command_options& o, const path_string& value) { o.output = value; }},
    {'f', "force", "", tr_later("replace an existing output (atomically)"),
     [](command_options& o, const path_string&) { o.force = true; }},
    {'\0', "append", "", tr_later("add to an existing output, as the menu does"),
     [](command_options& o, const path_string&) { o.append = true; }},
    {'\0', "strict", "",
     tr_later("any departure from the form txconv writes is an error:\n95 lines of uv= and 8 hex digits, or one "
              "380-byte table"),
     [](command_options& o, const path_string&) { o.strict = true; }},
    {'c', "check", "",
     tr_later("check by the --strict rules and write nothing; with -v,\nprint FILE: ok for each file that passes"),
     [](command_options& o, const path_string&) { o.check = true; }},
    {'\0', "show", "", tr_later("print each FILE's table: slot, hex and decimal value"),
     [](command_options& o, const path_string&) { o.show = true; }},
    {'\0', "diff", "",
     tr_later("compare the tables of two FILEs, listing or table; exit\n0 when equal, 1 when not, 2 on trouble"),
     [](command_options& o, const path_string&) { o.diff = true; }},
    {'\0', "format", "FORMAT",
     tr_later("how --show and --diff print: text (the default), csv with\na header row, or json"),
     [](command_options& o, const path_string& value) { o.format_text = value; }},
    {'\0', "image", "N", tr_later("use the Nth table of a FILE that holds several (from 1),\nor with last the last"),
     [](command_options& o, const path_string& value) { o.image_text = value; }},
    {'\0', "plot", "",
     tr_later("draw each FILE's table as an SVG line chart, FILE.svg;\nwith -o OUT, all of them on one chart"),
     [](command_options& o, const path_string&) { o.plot = true; }},
    {'\0', "full-range", "", tr_later("with --plot, span 0 to 2^32-1 rather than fit the data"),
     [](command_options& o, const path_string&) { o.full_range = true; }},
    {'v', "verbose", "", tr_later("print IN -> OUT for each file"),
     [](command_options& o, const path_string&) { o.verbose = true; }},
    {'q', "quiet", "",
     tr_later("print no warnings; with --diff, no differences either:\nonly trouble is said, as cmp -s does"),
     [](command_options& o, const path_string&) { o.quiet = true; }},
    {'h', "help", "", tr_later("print this help"), [](command_options& o, const path_string&) { o.help = true; }},
    {'\0', "version", "", tr_later("print the version"),
     [](command_options& o, const path_string&) { o.version = true; }},
};

// "last", or a number counted from 1; nothing else names a table.
std::optional<table_choice> image_number(const path_string& text)
{
    const path_string last = {path_char('l'), path_char('a'), path_char('s'), path_char('t')};
    if (text == last) {
        return table_choice{.last = true};
    }
    std::uint64_t number = 0;
    for (const path_char c : text) {
        const auto digit = static_cast<std::uint64_t>(c - path_char('0'));
        if (c < path_char('0') || c > path_char('9') || number > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        number = (number * 10) + digit;
    }
    if (text.empty() || number == 0) {
        return std::nullopt;
    }
    return table_choice{.number = number};
}

bool equals(const path_string& argument, std::string_view text)
{
    return std::equal(argument.begin(), argument.end(), text.begin(), text.end(),
                      [](path_char a, char b) { return a == static_cast<path_char>(b); });
}

std::optional<output_format> format_named(const path_string& text)
{
    if (equals(text, "text")) {
        return output_format::text;
    }
    if (equals(text, "csv")) {
        return output_format::csv;
    }
    if (equals(text, "json")) {
        return output_format::json;
    }
    return std::nullopt;
}

// "/?" is Windows' own way to ask for help.
bool is_slash_help(const path_string& argument)
{
    return slash_options() && argument.size() == 2 && argument[0] == path_char('/') && argument[1] == path_char('?');
}

bool is_option(const path_string& argument)
{
    return (argument.size() > 1 && argument[0] == path_char('-')) || is_slash_help(argument);
}

// A long option by its name, or by a beginning of it that no other name
// shares, as getopt_long reads them; an exact name always wins.
const option_entry* find_long(const path_string& name, std::string& error)
{
    std::vector<const option_entry*> candidates;
    for (const option_entry& entry : option_table()) {
        if (equals(name, entry.long_name)) {
            return &entry;
        }
        if (name.size() < entry.long_name.size() && equals(name, entry.long_name.substr(0, name.size()))) {
            candidates.push_back(&entry);
        }
    }
    if (candidates.size() == 1) {
        return candidates.front();
    }
    if (candidates.empty()) {
        error = fill(tr("unknown option '--%s'"), {shown_path(name)});
        return nullptr;
    }
    error = fill(tr("option '--%s' is ambiguous:"), {shown_path(name)});
    for (const option_entry* entry : candidates) {
        error += (entry == candidates.front() ? " --" : ", --") + std::string(entry->long_name);
    }
    return nullptr;
}

const option_entry* find_short(path_char name)
{
    for (const option_entry& entry : option_table()) {
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
    if (name.empty()) {
        error = fill(tr("unknown option '%s'"), {shown_path(argument)});
        return false;
    }
    const option_entry* entry = find_long(name, error);
    if (entry == nullptr) {
        return false;
    }
    path_string value;
    if (equals_sign != path_string::npos) {
        if (entry->value_name.empty()) {
            error = fill(tr("option '--%s' takes no value"), {entry->long_name});
            return false;
        }
        value = argument.substr(equals_sign + 1);
    } else if (!entry->value_name.empty()) {
        if (at + 1 == arguments.size()) {
            error = fill(tr("option '--%s' needs a value"), {entry->long_name});
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
            // A '-' inside a bundle is no option of its own: name the bundle.
            error = argument[i] == path_char('-')
                        ? fill(tr("'-' is not an option letter, in '%s'"), {shown_path(argument)})
                        : fill(tr("unknown option '-%s'"), {shown_path(argument.substr(i, 1))});
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
            error = fill(tr("option '-%s' needs a value"), {std::string_view(&entry->short_name, 1)});
            return false;
        }
        return true;
    }
    return true;
}

// What the FILEs and -o say that makes no sense with the options.
std::string check_files(const command_options& options)
{
    for (const path_string& file : options.files) {
        if (!options.way && is_standard_stream(file)) {
            return std::string(tr("say which way standard input goes: -1 (listing to table) or -2 (table to listing)"));
        }
        if (!options.way && !way_by_name(file)) {
            return fill(tr("cannot tell a listing from a table by the name '%s'; use -1 or -2"), {shown_path(file)});
        }
    }
    if (options.output && options.output->empty()) {
        return std::string(tr("-o needs a PATH: an empty one names no file"));
    }
    if (options.output && options.files.size() > 1 && !options.plot) {
        return std::string(tr("-o names the output of a single FILE (or, with --plot, of one chart of them all)"));
    }
    if (options.full_range && !options.plot) {
        return std::string(tr("--full-range says how --plot draws; give --plot"));
    }
    return {};
}

// What no single option can tell: combinations that make no sense.
std::string check_combination(const command_options& options)
{
    if (options.both_ways) {
        return std::string(tr("-1 and -2 cannot be used together"));
    }
    if (options.force && options.append) {
        return std::string(tr("--force and --append cannot be used together"));
    }
    if (options.check && (options.output || options.force || options.append)) {
        return std::string(tr("--check writes nothing, so -o, --force and --append make no sense with it"));
    }
    if (int(options.check) + int(options.show) + int(options.diff) + int(options.plot) > 1) {
        return std::string(tr("--check, --show, --diff and --plot each do a different job: give one"));
    }
    if ((options.show || options.diff) && (options.output || options.force || options.append)) {
        return std::string(
            tr("--show and --diff write to no file, so -o, --force and --append make no sense with them"));
    }
    if (options.plot && options.append) {
        return std::string(tr("--plot makes a new picture; --append makes no sense with it"));
    }
    if (options.diff && options.files.size() != 2) {
        return std::string(tr("--diff compares two FILEs"));
    }
    if (options.image_text && !options.image) {
        return std::string(tr("--image takes a table's number, counted from 1, or last"));
    }
    if (options.format_text && !options.format) {
        return std::string(tr("--format takes text, csv or json"));
    }
    if (options.format && !options.show && !options.diff) {
        return std::string(tr("--format says how --show and --diff print; give one of them"));
    }
    return check_files(options);
}

} // namespace

std::optional<direction> way_by_name(const path_string& path)
{
    // Cut just behind the file name's last '.', or with one added.
    const path_string stem = output_name_for(path, "");
    std::string extension;
    for (std::size_t i = stem.size(); i < path.size(); ++i) {
        const std::uint32_t c = static_cast<std::make_unsigned_t<path_char>>(path[i]);
        extension.push_back(c < 0x80 ? ascii_lower(static_cast<char>(c)) : '?');
    }
    if (extension == "txt") {
        return direction::to_table;
    }
    if (extension == "tx") {
        return direction::to_listing;
    }
    return std::nullopt;
}

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
        } else if (is_slash_help(argument)) {
            options.help = true;
        } else if (argument[1] == path_char('-') ? !take_long(arguments, at, options, error)
                                                 : !take_short(arguments, at, options, error)) {
            return std::nullopt;
        }
    }
    if (options.image_text) {
        options.image = image_number(*options.image_text);
    }
    if (options.format_text) {
        options.format = format_named(*options.format_text);
    }
    if (options.files.empty()) {
        // A filter, as gzip is: standard input to standard output.
        options.filter = true;
        options.files.emplace_back(1, path_char('-'));
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

} // namespace txconv
