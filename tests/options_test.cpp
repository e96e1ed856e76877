#include "app/options.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace txconv {
namespace {

// One command line and what the parser makes of it: a summary of the
// options it set, or the start of its usage error.
struct parse_case {
    std::vector<std::string> arguments;
    std::string expected;
};

std::string summary(const command_options& o)
{
    std::string text;
    text += o.way() ? (*o.way() == direction::to_table ? "1" : "2") : "";
    text += o.force ? "f" : "";
    text += o.append ? "a" : "";
    text += o.strict ? "s" : "";
    text += o.check ? "c" : "";
    text += o.verbose ? "v" : "";
    text += o.quiet ? "q" : "";
    text += o.help ? "h" : "";
    text += o.show ? " show" : "";
    text += o.diff ? " diff" : "";
    text += o.plot ? " plot" : "";
    if (o.output) {
        text.append(" -o ").append(*o.output);
    }
    if (o.choice) {
        text.append(" image ").append(o.choice->last ? "last" : std::to_string(o.choice->number));
    }
    for (const std::string& file : o.files) {
        text.append(" [").append(file).append("]");
    }
    return text;
}

TEST(CommandLine, EachOptionAndEachMistake)
{
    const parse_case cases[] = {
        {{"-1", "p.txt"}, "1 [p.txt]"},
        {{"-2fv", "t.tx"}, "2fv [t.tx]"},
        {{"-o", "out", "-1", "p.txt"}, "1 -o out [p.txt]"},
        {{"-oout", "-1", "p.txt"}, "1 -o out [p.txt]"},
        {{"-1", "p.txt", "-oout"}, "1 -o out [p.txt]"}, // a value with it needs no next argument
        {{"--output=out", "--to-tx", "p.txt"}, "1 -o out [p.txt]"},
        {{"--out", "x", "--to-tx", "p.txt"}, "1 -o x [p.txt]"},
        {{"--str", "p.txt"}, "s [p.txt]"},
        {{"--show", "--image", "last", "t.tx"}, " show image last [t.tx]"},
        {{"--show", "--image=12", "t.tx"}, " show image 12 [t.tx]"},
        {{"--show", "--image=18446744073709551615", "t.tx"}, " show image 18446744073709551615 [t.tx]"},
        {{"--diff", "-q", "a.tx", "b.tx"}, "q diff [a.tx] [b.tx]"},
        {{"-2"}, "2 [-]"},
        {{"-2", "--", "-x.tx"}, "2 [-x.tx]"},
        {{"-2", "-", "t.tx"}, "2 [-] [t.tx]"},
        {{"--help", "--bogus-after-help-is-still-read"}, "unknown option"},
        {{"--help", "x.bin"}, "h [x.bin]"},
        {{"/?"}, "cannot tell a listing from a table by the name '/?'"},
        {{"--image", "2x", "--show", "t.tx"}, "--image takes a table's number"},
        {{"--image", "0", "--show", "t.tx"}, "--image takes a table's number"},
        {{"--image", "18446744073709551616", "--show", "t.tx"}, "--image takes a table's number"},
        {{"--image", "18446744073709551617", "--show", "t.tx"}, "--image takes a table's number"}, // 1, wrapped
        {{"--image", "", "--show", "t.tx"}, "--image takes a table's number"},
        {{"--to-t", "t.tx"}, "option '--to-t' is ambiguous: --to-tx, --to-txt"},
        {{"--=x", "t.tx"}, "unknown option '--=x'"},
        {{"-1-", "p.txt"}, "'-' is not an option letter, in '-1-'"},
        {{"-x", "p.txt"}, "unknown option '-x'"},
        {{"--force=yes", "p.txt"}, "option '--force' takes no value"},
        {{"-1", "p.txt", "-o"}, "option '-o' needs a value"},
        {{"-1", "p.txt", "--output"}, "option '--output' needs a value"},
        {{"-1", "-2", "p.txt"}, "-1 and -2 cannot be used together"},
        {{"-f", "--append", "p.txt"}, "--force and --append cannot be used together"},
        {{"-c", "-o", "x", "p.txt"}, "--check writes nothing"},
        {{"--show", "--plot", "p.txt"}, "--check, --show, --diff and --plot each do a different job"},
        {{"--show", "-f", "p.txt"}, "--show and --diff write to no file"},
        {{"--plot", "--append", "p.txt"}, "--plot makes a new picture"},
        {{"--diff", "p.txt"}, "--diff compares two FILEs"},
        {{"--show", "--format", "xml", "p.txt"}, "--format takes text, csv or json"},
        {{"--format=csv", "-1", "p.txt"}, "--format says how --show and --diff print"},
        {{"--full-range", "p.txt"}, "--full-range says how --plot draws"},
        {{"--plot", "-o", "both.svg", "a.tx", "b.tx"}, " plot -o both.svg [a.tx] [b.tx]"},
        {{"-v", "-"}, "say which way standard input goes"},
        // Which way a FILE goes is told by its name's last extension alone.
        {{"-v", "v1.2.txt"}, "v [v1.2.txt]"},
        {{"-v", "a.txt.bak"}, "cannot tell a listing from a table by the name 'a.txt.bak'"},
        {{"-1", "-o", "", "p.txt"}, "-o needs a PATH"},
        {{"-1", "-o", "x", "p.txt", "q.txt"}, "-o names the output of a single FILE"},
        {{"-1", "-o", "a", "-o", "b", "p.txt"}, "option '--output' is given twice"},
        {{"--show", "--image=1", "--image", "2", "t.tx"}, "option '--image' is given twice"},
    };
    for (const parse_case& c : cases) {
        const std::vector<path_string> arguments(c.arguments.begin(), c.arguments.end());
        const auto parsed = parse_command_line(arguments);
        const std::string got = parsed ? summary(*parsed) : parsed.error();
        EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << c.arguments.front() << " ...: " << got;
    }
}

TEST(CommandLine, HelpNamesEveryOptionWithItsValue)
{
    const std::string help = help_text();
    for (const option_entry& entry : option_table()) {
        std::string shown("--");
        shown.append(entry.long_name);
        if (!entry.value_name.empty()) {
            shown.append(" ").append(entry.value_name);
        }
        EXPECT_NE(help.find(shown), std::string::npos) << shown;
    }
    EXPECT_NE(help.find("  -o, --output PATH"), std::string::npos);
}

// The windowed twin asks before it replaces. A stand-in for the message box
// answers and counts the questions.
bool answer_yes = false;
int questions = 0;

bool answer(std::string_view)
{
    ++questions;
    return answer_yes;
}

TEST(CommandLine, AsksBeforeReplacingAndOnlyThen)
{
    struct clash_case {
        const char* what;
        std::vector<std::string> options;
        const char* before; // the target's bytes; nullptr: no target
        bool yes;
        int asked;
        const char* after; // "new": the converted listing
        int status;
    };
    const std::vector<clash_case> cases = {
        {"yes replaces it whole", {"-2"}, "old", true, 1, "new", 0},
        {"no keeps it and says the run did not convert", {"-2"}, "old", false, 1, "old", 1},
        {"a missing target is not asked about", {"-2"}, nullptr, false, 0, "new", 0},
        {"--force has answered already", {"-2", "-f"}, "old", false, 0, "new", 0},
        {"so has --append", {"-2", "--append"}, "old", false, 0, "oldnew", 0},
    };
    const auto text = format_listing(value_table{});
    const std::string listing(text.begin(), text.end());
    for (const clash_case& c : cases) {
        SCOPED_TRACE(c.what);
        const testing::scratch_dir dir;
        const auto image = encode_table(value_table{});
        testing::write_bytes(dir / "t.tx", std::string(image.begin(), image.end()));
        if (c.before != nullptr) {
            testing::write_bytes(dir / "t.txt", c.before);
        }
        std::vector<path_string> arguments(c.options.begin(), c.options.end());
        arguments.push_back(dir / "t.tx");
        answer_yes = c.yes;
        questions = 0;
        EXPECT_EQ(run_command_line(arguments, {.windowed = true, .ask = answer}), c.status);
        EXPECT_EQ(questions, c.asked);
        std::string expected = c.after;
        if (expected.ends_with("new")) {
            expected.replace(expected.size() - 3, 3, listing);
        }
        EXPECT_EQ(testing::read_bytes(dir / "t.txt"), expected);
    }
}

} // namespace
} // namespace txconv
