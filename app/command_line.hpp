#pragma once

#include "convert/conversions.hpp"
#include "platform/native_file.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace txconv {

inline constexpr std::string_view USAGE =
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
    "With options there is no menu and no notice:\n"
    "  -1, --to-tx          listing to table\n"
    "  -2, --to-txt         table to listing\n"
    "  -o, --output PATH    the output of a single FILE; - is standard output\n"
    "  -f, --force          replace an existing output (atomically)\n"
    "      --append         add to an existing output, as the menu does\n"
    "      --strict         any warning is an error: a listing must hold exactly 95\n"
    "                       values of 8 hex digits, a table file whole tables\n"
    "  -c, --check          read and check only, write nothing; without -1 or -2\n"
    "                       the extension (.txt or .tx) says what FILE is\n"
    "  -v, --verbose        print IN -> OUT for each file\n"
    "  -q, --quiet          print no warnings\n"
    "  -h, --help           print this help\n"
    "      --version        print the version\n"
    "      --               end of options\n"
    "A FILE of - is standard input; its output goes to standard output unless -o\n"
    "names one. An existing output is left alone unless --force or --append says\n"
    "otherwise, and the run goes on with the next FILE.\n"
    "\n"
    "Exit status: 0 when every conversion worked (or, with the menu, none was\n"
    "chosen), 1 when any failed, 2 for a wrong command line.\n";

inline constexpr std::string_view SHORT_USAGE =
    "usage: txconv (-1|-2) [-o PATH] [-f|--append] [--strict] [-c] [-v] [-q] FILE...\n"
    "Try 'txconv --help' for more.\n";

// What the command line asks for.
struct command_options {
    std::optional<direction> way;
    bool both_ways = false;
    std::optional<path_string> output;
    bool force = false;
    bool append = false;
    bool strict = false;
    bool check = false;
    bool verbose = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<path_string> files;
};

// Whether the arguments hold an option: any one switches to the command-line
// mode. A lone "-" is a file, as everywhere.
bool asks_for_command_line(std::span<const path_string> arguments);

// Reads the arguments by the option table. On a usage error, says why in
// error and returns nothing.
std::optional<command_options> parse_command_line(std::span<const path_string> arguments, std::string& error);

// The run without the menu. Returns 0 when every file worked, 1 when any
// failed, 2 on a usage error.
int run_command_line(std::span<const path_string> arguments);

} // namespace txconv
