#pragma once

// The command line: the one option table that the parser and --help both
// read, what the options ask for, and the run they plan; and the entry that
// every program starts by, which picks the menu or the command line.

#include "app/driver.hpp"

namespace txconv {

// Which program the sources are built into, and what it can do that the
// other cannot.
struct front_end {
    // No console window: the windowed twin that Explorer's verbs start. It
    // has no menu, since there is nobody at a console to answer it.
    bool windowed = false;
    // Asks a question that Yes or No answers; where set, a target that
    // exists is asked about before it is replaced.
    bool (*ask)(std::string_view question) = nullptr;
};

// The whole run from the program's arguments; returns the exit status. Any
// option means the command-line mode; without one, the paths go to the menu.
int run_txconv(int argc, const path_char* const* argv, const front_end& how);

// What the command line asks for.
struct command_options {
    bool to_table = false;   // -1
    bool to_listing = false; // -2
    std::optional<path_string> output;
    bool force = false;
    bool append = false;
    bool strict = false;
    bool check = false;
    bool verbose = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool show = false;
    bool diff = false;
    bool plot = false;
    bool full_range = false;
    // --format as given, and what it names.
    std::optional<path_string> format_text;
    std::optional<output_format> format;
    // --image as given, and the table it names.
    std::optional<path_string> image_text;
    std::optional<table_choice> choice;
    std::vector<path_string> files;
    // No FILE was given: standard input to standard output.
    bool filter = false;

    // Which way every FILE goes, where -1 or -2 says.
    std::optional<direction> way() const
    {
        return to_table     ? std::optional(direction::to_table)
               : to_listing ? std::optional(direction::to_listing)
                            : std::nullopt;
    }
};

// One option: the parser, --help and the documentation's test all read the
// same table.
struct option_entry {
    char short_name; // '\0': none
    std::string_view long_name;
    std::string_view value_name; // empty: takes no value
    // What it sets: a switch, or where its value goes.
    bool command_options::*flag = nullptr;
    std::optional<path_string> command_options::*value = nullptr;
    std::string_view help; // may run over several lines
};

std::span<const option_entry> option_table();

// The whole --help text, with one line or more for each option.
std::string help_text();

// What a usage error prints after saying what is wrong: the same usage lines
// that --help begins with.
std::string short_usage();

// A file's kind by its extension, .txt or .tx in either case: what it is
// turned into, where no option says.
std::optional<direction> way_by_name(const path_string& path);

// Whether the arguments hold an option: any one switches to the command-line
// mode. A lone "-" is a file, as everywhere.
bool asks_for_command_line(std::span<const path_string> arguments);

// Reads the arguments by the option table; a usage error says why.
std::expected<command_options, std::string> parse_command_line(std::span<const path_string> arguments);

// The run without the menu. Returns 0 when every file worked, 1 when any
// failed or a target was kept by the user's answer, 2 on a usage error.
int run_command_line(std::span<const path_string> arguments, const front_end& how = {});

} // namespace txconv
