// The usage lines and --help, made from the option table.
#include "app/options.hpp"
#include "app/translation.hpp"

#include <algorithm>
#include <ranges>
#include <string>

namespace txconv {

namespace {

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
