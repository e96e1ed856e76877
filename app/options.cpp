#include "app/options.hpp"

#include "app/messages.hpp"
#include "fileio/inputs.hpp"

#include <algorithm>
#include <type_traits>

namespace txconv {

namespace {

// "last" is 0; a number counts from 1; nothing else is a table's number.
std::optional<std::uint64_t> image_number(const path_string& text)
{
    const path_string last = {path_char('l'), path_char('a'), path_char('s'), path_char('t')};
    if (text == last) {
        return 0;
    }
    std::uint64_t number = 0;
    for (const path_char c : text) {
        if (c < path_char('0') || c > path_char('9') || number > UINT64_MAX / 10 - 9) {
            return std::nullopt;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - path_char('0'));
    }
    return text.empty() || number == 0 ? std::nullopt : std::optional(number);
}

bool equals(const path_string& argument, std::string_view text)
{
    return std::equal(argument.begin(), argument.end(), text.begin(), text.end(),
                      [](path_char a, char b) { return a == static_cast<path_char>(b); });
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
    const option_entry* found = nullptr;
    std::string candidates;
    for (const option_entry& entry : option_table()) {
        if (equals(name, entry.long_name)) {
            return &entry;
        }
        if (name.size() < entry.long_name.size() && equals(name, entry.long_name.substr(0, name.size()))) {
            candidates += (found != nullptr ? ", --" : "--") + std::string(entry.long_name);
            error = found != nullptr ? "option '--" + shown_path(name) + "' is ambiguous: " + candidates : "";
            found = found != nullptr ? nullptr : &entry;
            if (!error.empty()) {
                return nullptr;
            }
        }
    }
    if (found == nullptr) {
        error = "unknown option '--" + shown_path(name) + "'";
    }
    return found;
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
    const option_entry* entry = find_long(name, error);
    if (entry == nullptr) {
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
    if (int(options.check) + int(options.show) + int(options.diff) + int(options.plot) > 1) {
        return "--check, --show, --diff and --plot each do a different job: give one";
    }
    if ((options.show || options.diff) && (options.output || options.force || options.append)) {
        return "--show and --diff write to no file, so -o, --force and --append make no sense with them";
    }
    if (options.plot && options.append) {
        return "--plot makes a new picture; --append makes no sense with it";
    }
    if (options.diff && options.files.size() != 2) {
        return "--diff compares two FILEs";
    }
    if (options.image_text && !options.image) {
        return "--image takes a table's number, counted from 1, or last";
    }
    for (const path_string& file : options.files) {
        if (!options.way && is_standard_stream(file)) {
            return "say which way standard input goes: -1 (listing to table) or -2 (table to listing)";
        }
        if (!options.way && !way_by_name(file)) {
            return "cannot tell a listing from a table by the name '" + shown_path(file) + "'; use -1 or -2";
        }
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

} // namespace txconv
