// The command line read by the one option table, which --help and the
// usage lines are made from too.
#include "app/options.hpp"

#include "app/messages.hpp"
#include "app/table_views.hpp"
#include "app/translation.hpp"

#include <algorithm>
#include <ranges>
#include <type_traits>

namespace txconv {

namespace {

using opt = command_options;

// Every option, once.
constexpr option_entry OPTIONS[] = {
    {'1', "to-tx", "", &opt::to_table, nullptr, tr_later("listing to table")},
    {'2', "to-txt", "", &opt::to_listing, nullptr, tr_later("table to listing")},
    {'o', "output", "PATH", nullptr, &opt::output, tr_later("the output of a single FILE; - is standard output")},
    {'f', "force", "", &opt::force, nullptr, tr_later("replace an existing output (atomically)")},
    {'\0', "append", "", &opt::append, nullptr, tr_later("add to an existing output, as the menu does")},
    {'\0', "strict", "", &opt::strict, nullptr,
     tr_later("any departure from the form txconv writes is an error:\n95 lines of uv= and 8 hex digits, or one "
              "380-byte table")},
    {'c', "check", "", &opt::check, nullptr,
     tr_later("check by the --strict rules and write nothing; with -v,\nprint FILE: ok for each file that passes")},
    {'\0', "show", "", &opt::show, nullptr, tr_later("print each FILE's table: slot, hex and decimal value")},
    {'\0', "diff", "", &opt::diff, nullptr,
     tr_later("compare the tables of two FILEs, listing or table; exit\n0 when equal, 1 when not, 2 on trouble")},
    {'\0', "format", "FORMAT", nullptr, &opt::format_text,
     tr_later("how --show and --diff print: text (the default), csv with\na header row, or json")},
    {'\0', "image", "N", nullptr, &opt::image_text,
     tr_later("use the Nth table of a FILE that holds several (from 1),\nor with last the last")},
    {'\0', "plot", "", &opt::plot, nullptr,
     tr_later("draw each FILE's table as an SVG line chart, FILE.svg;\nwith -o OUT, all of them on one chart")},
    {'\0', "full-range", "", &opt::full_range, nullptr,
     tr_later("with --plot, span 0 to 2^32-1 rather than fit the data")},
    {'v', "verbose", "", &opt::verbose, nullptr, tr_later("print IN -> OUT for each file")},
    {'q', "quiet", "", &opt::quiet, nullptr,
     tr_later("print no warnings; with --diff, no differences either:\nonly trouble is said, as cmp -s does")},
    {'h', "help", "", &opt::help, nullptr, tr_later("print this help")},
    {'\0', "version", "", &opt::version, nullptr, tr_later("print the version")},
};

using parsed = std::expected<void, std::string>;

bool equals(const path_string& argument, std::string_view text)
{
    return std::equal(argument.begin(), argument.end(), text.begin(), text.end(),
                      [](path_char a, char b) { return a == static_cast<path_char>(b); });
}

// "last", or a number counted from 1; nothing else names a table.
std::optional<table_choice> image_number(const path_string& text)
{
    if (equals(text, "last")) {
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
    return number == 0 ? std::nullopt : std::optional(table_choice{.number = number});
}

std::optional<output_format> format_named(const path_string& text)
{
    constexpr std::pair<std::string_view, output_format> FORMATS[] = {
        {"text", output_format::text}, {"csv", output_format::csv}, {"json", output_format::json}};
    const auto* found = std::ranges::find_if(FORMATS, [&](const auto& format) { return equals(text, format.first); });
    return found != std::end(FORMATS) ? std::optional(found->second) : std::nullopt;
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
std::expected<const option_entry*, std::string> find_long(const path_string& name)
{
    std::vector<const option_entry*> candidates;
    for (const option_entry& entry : OPTIONS) {
        if (equals(name, entry.long_name)) {
            return &entry;
        }
        if (equals(name, entry.long_name.substr(0, name.size()))) {
            candidates.push_back(&entry);
        }
    }
    if (candidates.size() == 1) {
        return candidates.front();
    }
    std::string error =
        fill(candidates.empty() ? tr("unknown option '--%s'") : tr("option '--%s' is ambiguous:"), {shown_path(name)});
    for (const option_entry* entry : candidates) {
        error += (entry == candidates.front() ? " --" : ", --") + std::string(entry->long_name);
    }
    return std::unexpected(std::move(error));
}

// Sets what the option named so sets: a flag, or the value given with it
// ("--name=value", "-oPATH"), else the next argument. An option that takes
// one value takes it once.
parsed take(const option_entry& entry, std::string_view named, const std::optional<path_string>& given,
            std::span<const path_string> arguments, std::size_t& at, command_options& options)
{
    if (entry.flag != nullptr) {
        options.*entry.flag = true;
        return given ? std::unexpected(fill(tr("option '--%s' takes no value"), {entry.long_name})) : parsed();
    }
    if (!given && at + 1 == arguments.size()) {
        return std::unexpected(fill(tr("option '%s' needs a value"), {named}));
    }
    if (options.*entry.value) {
        return std::unexpected(fill(tr("option '--%s' is given twice; it takes one value"), {entry.long_name}));
    }
    options.*entry.value = given ? *given : arguments[++at];
    return {};
}

// A long option, "--name" or "--name=value", whose value may also be the
// next argument.
parsed take_long(std::span<const path_string> arguments, std::size_t& at, command_options& options)
{
    const path_string& argument = arguments[at];
    const std::size_t equals_sign = argument.find(path_char('='));
    const path_string name = argument.substr(2, equals_sign == path_string::npos ? path_string::npos : equals_sign - 2);
    const std::expected<const option_entry*, std::string> entry =
        name.empty() ? std::unexpected(fill(tr("unknown option '%s'"), {shown_path(argument)})) : find_long(name);
    if (!entry) {
        return std::unexpected(entry.error());
    }
    return take(**entry, "--" + std::string((*entry)->long_name),
                equals_sign == path_string::npos ? std::nullopt : std::optional(argument.substr(equals_sign + 1)),
                arguments, at, options);
}

// Short options, bundled or not: "-1fv", "-o PATH", "-oPATH".
parsed take_short(std::span<const path_string> arguments, std::size_t& at, command_options& options)
{
    const path_string& argument = arguments[at];
    for (std::size_t i = 1; i < argument.size(); ++i) {
        const auto entry = std::ranges::find_if(OPTIONS, [&](const option_entry& e) {
            return e.short_name != '\0' && argument[i] == static_cast<path_char>(e.short_name);
        });
        if (entry == std::end(OPTIONS)) {
            // A '-' inside a bundle is no option of its own: name the bundle.
            return std::unexpected(argument[i] == path_char('-')
                                       ? fill(tr("'-' is not an option letter, in '%s'"), {shown_path(argument)})
                                       : fill(tr("unknown option '-%s'"), {shown_path(argument.substr(i, 1))}));
        }
        // A value is the rest of the bundle, where there is one.
        const bool rest = entry->flag == nullptr && i + 1 < argument.size();
        if (const parsed taken =
                take(*entry, std::string{'-', entry->short_name},
                     rest ? std::optional(argument.substr(i + 1)) : std::nullopt, arguments, at, options);
            !taken || entry->flag == nullptr) {
            return taken;
        }
    }
    return {};
}

// Where no option says which way, what each FILE's name cannot tell.
parsed check_ways(std::span<const path_string> files)
{
    const auto unknown = std::ranges::find_if(files, [](const path_string& file) { return !way_by_name(file); });
    if (unknown == files.end()) {
        return {};
    }
    return std::unexpected(
        is_standard_stream(*unknown)
            ? std::string(tr("say which way standard input goes: -1 (listing to table) or -2 (table to listing)"))
            : fill(tr("cannot tell a listing from a table by the name '%s'; use -1 or -2"), {shown_path(*unknown)}));
}

// What no single option can tell: combinations that make no sense, and
// FILEs that make none with the options. The first found is said.
parsed check_combination(const command_options& o)
{
    const bool writes = o.output || o.force || o.append;
    const std::pair<bool, std::string_view> rules[] = {
        {o.to_table && o.to_listing, tr_later("-1 and -2 cannot be used together")},
        {o.force && o.append, tr_later("--force and --append cannot be used together")},
        {o.check && writes, tr_later("--check writes nothing, so -o, --force and --append make no sense with it")},
        {int(o.check) + int(o.show) + int(o.diff) + int(o.plot) > 1,
         tr_later("--check, --show, --diff and --plot each do a different job: give one")},
        {(o.show || o.diff) && writes,
         tr_later("--show and --diff write to no file, so -o, --force and --append make no sense with them")},
        {o.plot && o.append, tr_later("--plot makes a new picture; --append makes no sense with it")},
        {o.diff && o.files.size() != 2, tr_later("--diff compares two FILEs")},
        {o.image_text && !o.choice, tr_later("--image takes a table's number, counted from 1, or last")},
        {o.format_text && !o.format, tr_later("--format takes text, csv or json")},
        {o.format && !o.show && !o.diff, tr_later("--format says how --show and --diff print; give one of them")},
        {o.output && o.output->empty(), tr_later("-o needs a PATH: an empty one names no file")},
        {o.output && o.files.size() > 1 && !o.plot,
         tr_later("-o names the output of a single FILE (or, with --plot, of one chart of them all)")},
        {o.full_range && !o.plot, tr_later("--full-range says how --plot draws; give --plot")},
    };
    for (const auto& [broken, words] : rules) {
        if (broken) {
            return std::unexpected(std::string(tr(words)));
        }
    }
    if (o.plot && o.output && o.files.size() > MOST_PLOTTED) {
        return std::unexpected(
            fill(tr("one chart holds %s files at the most, each a line that can be told apart; %s were given"),
                 {std::to_string(MOST_PLOTTED), std::to_string(o.files.size())}));
    }
    return o.way() ? parsed() : check_ways(o.files);
}

constexpr std::string_view USAGE = tr_later("usage: txconv PATH...\n"
                                            "       txconv [OPTION]... [FILE]...\n");

constexpr std::string_view HELP_HEAD =
    tr_later("\n"
             "Converts between a table file (.tx: 95 unsigned 32-bit values, 380 bytes,\n"
             "little-endian) and a listing (.txt: one line \"uv=XXXXXXXX\" per value, CR LF).\n"
             "\n"
             "Without options a menu asks which way: 1 turns a listing into a table, 2 a\n"
             "table into a listing. Each result is appended to its PATH with the extension\n"
             "swapped, after a notice that shows the paths.\n"
             "\n"
             "With options there is no menu and no notice:\n");

constexpr std::string_view HELP_TAIL =
    tr_later("      --               end of options\n\n"
             "Without -1 or -2, each FILE's extension says which way: .txt (a listing) or\n"
             ".tx (a table), in either case. A FILE of - is standard input, and no FILE at\n"
             "all means standard input; its output goes to standard output unless -o names\n"
             "one. A table is not written to a terminal unless --force says so. An existing\n"
             "output is left alone unless --force or --append says otherwise, and the run\n"
             "goes on with the next FILE. Long options may be shortened while unique.\n"
             "\n"
             "Exit status: 0 when every conversion worked (or, with the menu, none was\n"
             "chosen), 1 when any failed, 2 for a wrong command line. With --diff: 0 when\n"
             "the tables are equal, 1 when they differ, 2 on trouble.\n");

// Where each option's help begins.
constexpr std::size_t HELP_COLUMN = 23;

} // namespace

std::optional<direction> way_by_name(const path_string& path)
{
    // By the name the system opens, as the output is named from it; cut
    // just behind the file name's last '.', or with one added.
    const path_string name = name_as_opened(path);
    const path_string stem = output_name_for(name, "");
    std::string extension;
    for (std::size_t i = stem.size(); i < name.size(); ++i) {
        const std::uint32_t c = static_cast<std::make_unsigned_t<path_char>>(name[i]);
        extension.push_back(c < 0x80 ? ascii_lower(static_cast<char>(c)) : '?');
    }
    return extension == "txt"  ? std::optional(direction::to_table)
           : extension == "tx" ? std::optional(direction::to_listing)
                               : std::nullopt;
}

bool asks_for_command_line(std::span<const path_string> arguments)
{
    return std::any_of(arguments.begin(), arguments.end(), is_option);
}

std::expected<command_options, std::string> parse_command_line(std::span<const path_string> arguments)
{
    command_options options;
    bool options_ended = false;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const path_string& argument = arguments[at];
        parsed taken;
        if (options_ended || !is_option(argument)) {
            options.files.push_back(argument);
        } else if (equals(argument, "--")) {
            options_ended = true;
        } else if (is_slash_help(argument)) {
            options.help = true;
        } else {
            taken =
                argument[1] == path_char('-') ? take_long(arguments, at, options) : take_short(arguments, at, options);
        }
        if (!taken) {
            return std::unexpected(taken.error());
        }
    }
    options.choice = options.image_text ? image_number(*options.image_text) : std::nullopt;
    options.format = options.format_text ? format_named(*options.format_text) : std::nullopt;
    // What a pattern matches is what the rules below judge: a chart's 12
    // files at the most, -o's single FILE, --diff's two.
    expand_wildcards(options.files);
    if (options.files.empty()) {
        // A filter, as gzip is: standard input to standard output.
        options.filter = true;
        options.files.emplace_back(1, path_char('-'));
    }
    if (const parsed checked = options.help || options.version ? parsed() : check_combination(options); !checked) {
        return std::unexpected(checked.error());
    }
    return options;
}

std::span<const option_entry> option_table()
{
    return OPTIONS;
}

std::string help_text()
{
    std::string text(tr(USAGE));
    text += tr(HELP_HEAD);
    for (const option_entry& entry : option_table()) {
        std::string line = (entry.short_name != '\0' ? std::string{' ', ' ', '-', entry.short_name, ','} : "     ") +
                           " --" + std::string(entry.long_name) +
                           (entry.value_name.empty() ? "" : " " + std::string(entry.value_name));
        for (const auto part : std::views::split(tr(entry.help), '\n')) {
            line.resize(std::max(line.size() + 1, HELP_COLUMN), ' ');
            text += line + std::string(part.begin(), part.end()) + "\n";
            line.clear();
        }
    }
    return text + std::string(tr(HELP_TAIL));
}

std::string short_usage()
{
    return std::string(tr(USAGE)) + std::string(tr("Try 'txconv --help' for more.\n"));
}

} // namespace txconv
