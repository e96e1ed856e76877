// Every option, once: the parser, the usage, --help and the test of the
// documentation read this table.
#include "app/options.hpp"

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
     "any departure from the form txconv writes is an error:\n95 lines of uv= and 8 hex digits, or one 380-byte table",
     [](command_options& o, const path_string&) { o.strict = true; }},
    {'c', "check", "",
     "check by the --strict rules and write nothing; with -v,\nprint FILE: ok for each file that passes",
     [](command_options& o, const path_string&) { o.check = true; }},
    {'\0', "show", "", "print each FILE's table: slot, hex and decimal value",
     [](command_options& o, const path_string&) { o.show = true; }},
    {'\0', "diff", "",
     "compare the tables of two FILEs, listing or table; exit\n0 when equal, 1 when not, 2 on trouble",
     [](command_options& o, const path_string&) { o.diff = true; }},
    {'\0', "image", "N", "use the Nth table of a FILE that holds several (from 1),\nor with last the last",
     [](command_options& o, const path_string& value) { o.image_text = value; }},
    {'\0', "plot", "", "draw each FILE's table as an SVG line chart, FILE.svg",
     [](command_options& o, const path_string&) { o.plot = true; }},
    {'v', "verbose", "", "print IN -> OUT for each file",
     [](command_options& o, const path_string&) { o.verbose = true; }},
    {'q', "quiet", "", "print no warnings; with --diff, nothing at all",
     [](command_options& o, const path_string&) { o.quiet = true; }},
    {'h', "help", "", "print this help", [](command_options& o, const path_string&) { o.help = true; }},
    {'\0', "version", "", "print the version", [](command_options& o, const path_string&) { o.version = true; }},
};

} // namespace

std::span<const option_entry> option_table()
{
    return OPTIONS;
}

} // namespace txconv
