#include "app/menu.hpp"
#include "app/messages.hpp"
#include "platform/console.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <unistd.h>
#include <vector>

namespace txconv {
namespace {

struct answer_case {
    std::string answer;
    menu_choice expected;
};

TEST(ParseChoice, ReadsTheLeadingNumberAsAtoiDoes)
{
    const std::string huge(100000, '9');
    const answer_case cases[] = {
        {"1", menu_choice::txt_to_tx},
        {"01", menu_choice::txt_to_tx},
        {"2", menu_choice::tx_to_txt},
        {" 2", menu_choice::tx_to_txt},
        {"+2", menu_choice::tx_to_txt},
        {"2abc", menu_choice::tx_to_txt},
        {"\t\v\f\r 1", menu_choice::txt_to_tx},
        {"1.9", menu_choice::txt_to_tx},
        {std::string(300, '0') + "2", menu_choice::tx_to_txt},
        {"", menu_choice::none},
        {"0", menu_choice::none},
        {"3", menu_choice::none},
        {"12", menu_choice::none},
        {"21", menu_choice::none},
        {"19", menu_choice::none},
        {"-1", menu_choice::none},
        {"-2", menu_choice::none},
        {"+-1", menu_choice::none},
        {"- 1", menu_choice::none},
        {"x1", menu_choice::none},
        {"one", menu_choice::none},
        // Too large for an int: wrapping arithmetic would turn these into 1 or 2.
        {"4294967297", menu_choice::none},
        {"4294967298", menu_choice::none},
        {huge, menu_choice::none},
    };
    for (const auto& [answer, expected] : cases) {
        EXPECT_EQ(parse_choice(answer), expected) << "answer: \"" << answer.substr(0, 40) << '"';
    }
}

// Runs body with text as standard input, then puts the old one back. Each
// body reads to the end, so nothing read ahead is left for the next.
template <class Body> void with_standard_input(const std::string& text, Body body)
{
    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), in), text.size());
    std::fflush(in);
    std::rewind(in);
    const int saved = ::dup(STDIN_FILENO);
    ::dup2(::fileno(in), STDIN_FILENO);
    body();
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    std::fclose(in);
}

TEST(ReadConsoleLine, StopsAtTheLineFeedTheEndOrTheLimit)
{
    std::string text = "ab\n\n";
    text.append(CONSOLE_LINE_LIMIT + 5, 'x');
    text.append("\ntail");
    with_standard_input(text, [] {
        const std::pair<std::string, bool> lines[] = {
            {"ab", true}, {"", true}, {std::string(CONSOLE_LINE_LIMIT, 'x'), false}, {"xxxxx", true}, {"tail", false},
        };
        for (const auto& [expected, ended] : lines) {
            const io_expected<console_line> got = read_console_line();
            ASSERT_TRUE(got);
            EXPECT_EQ(got->ended, ended) << expected.substr(0, 8);
            EXPECT_EQ(got->text, expected);
        }
    });
}

// The notice that stays when a dropped file's console goes: every warning
// counted, the first few quoted.
TEST(WarningsNotice, QuotesTheFirstFewAndCountsTheRest)
{
    const std::vector<warned_output> outputs = {{{subject_kind::file, "a.tx"}, 1}, {{subject_kind::file, "b.tx"}, 6}};
    std::vector<std::string> warnings;
    for (int i = 1; i <= 7; ++i) {
        warnings.push_back(std::string(1, 'w').append(std::to_string(i)));
    }
    const std::string head = "a.tx: written, with 1 warning\nb.tx: written, with 6 warnings\n";
    EXPECT_EQ(closing_notice({}, outputs, std::span(warnings).first(5)), head + "\nw1\nw2\nw3\nw4\nw5");
    EXPECT_EQ(closing_notice({}, outputs, std::span(warnings).first(6)), head + "\nw1\nw2\nw3\nw4\nw5\n(1 more)");
    EXPECT_EQ(closing_notice({}, outputs, warnings), head + "\nw1\nw2\nw3\nw4\nw5\n(2 more)");
    const std::vector<std::string> added = {"a.tx: table appended; it now holds 2 tables, and programs read the first"};
    EXPECT_EQ(closing_notice(added, outputs, {}), added[0] + "\n\n" + head);
    EXPECT_EQ(closing_notice(added, {}, {}), added[0] + "\n");
}

// A notice fits the screen, however many lines or however long a path.
TEST(FittedNotice, QuotesTheFirstLinesAndCountsTheRest)
{
    std::string many;
    for (int i = 1; i <= 25; ++i) {
        many += "line " + std::to_string(i) + (i < 25 ? "\n" : "");
    }
    const std::string wide = std::string(100, 'a') + std::string(300, 'b') + "/name.tx";
    std::string chinese;
    for (int i = 0; i < 200; ++i) {
        chinese += "\xe8\xa1\xa8"; // 表, three bytes
    }
    const std::string first20 = many.substr(0, many.find("line 21") - 1);
    const std::pair<std::string, std::string> cases[] = {
        {"one line", "one line"},
        {many, first20 + "\n(5 more lines)"},
        // One line more is shown rather than counted, as the count takes a line.
        {many.substr(0, many.find("\nline 22")), many.substr(0, many.find("\nline 22"))},
        {many.substr(0, many.find("\nline 23")), first20 + "\n(2 more lines)"},
        {wide, std::string(50, 'a') + "..." + std::string(89, 'b') + "/name.tx"},
        {chinese, std::string(chinese, 0, 48) + "..." + std::string(chinese, 0, 96)},
    };
    for (const auto& [text, fitted] : cases) {
        EXPECT_EQ(fitted_notice(text), fitted) << text.substr(0, 20);
    }
}

} // namespace
} // namespace txconv
