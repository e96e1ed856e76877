#include "app/messages.hpp"
#include "app/table_views.hpp"

#include <gtest/gtest.h>

#include <string>

namespace txconv {
namespace {

// Names as the user reads them: valid UTF-8 stays, controls (C0, DEL, C1)
// and every byte of a sequence that is no UTF-8 become \ooo.
TEST(ShownPath, EscapesWhatIsNoText)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain.tx", "plain.tx"},
        {"e\x1b[31m.tx", "e\\033[31m.tx"},
        {"del\x7f", "del\\177"},
        {"c\xc2\x85", "c\\302\\205"},           // C1 NEL
        {"nb\xc2\xa0sp", "nb\xc2\xa0sp"},       // U+00A0, just past C1
        {"\xe8\xa1\xa8.tx", "\xe8\xa1\xa8.tx"}, // 表
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"lat\xe9n", "lat\\351n"},
        {"\xc0\xaf", "\\300\\257"},                   // overlong '/'
        {"\xe0\x80\xaf", "\\340\\200\\257"},          // overlong, three bytes
        {"\xf0\x8f\xbf\xbf", "\\360\\217\\277\\277"}, // overlong, four bytes
        {"\xed\xa0\x80", "\\355\\240\\200"},          // a surrogate
        {"\xed\x9f\xbf", "\xed\x9f\xbf"},             // U+D7FF, just below them
        {"\xf0\x90\x80\x80", "\xf0\x90\x80\x80"},     // U+10000, the first of four bytes
        {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},     // U+10FFFF, the last
        {"\xf4\x90\x80\x80", "\\364\\220\\200\\200"}, // past U+10FFFF
        {"\xf5\x80\x80\x80", "\\365\\200\\200\\200"}, // a lead byte no UTF-8 has
        {"a\xe8\xa1", "a\\350\\241"},                 // cut short by the end
        {"\xef\xbf\xbe", "\\357\\277\\276"},          // U+FFFE, no XML character
        {"\xef\xbf\xbf", "\\357\\277\\277"},          // U+FFFF
        {"\xef\xbf\xbd", "\xef\xbf\xbd"},             // U+FFFD, just below
        {"\xe0\xa0\x80", "\xe0\xa0\x80"},             // U+0800, the first of three bytes
    };
    for (const auto& [name, shown] : cases) {
        EXPECT_EQ(shown_path(name), shown) << shown;
    }
}

// The value axis: round steps a person would pick, a range of its own for
// a flat table, never past 2^32-1.
TEST(Plot, TheAxisFitsWithRoundTicks)
{
    value_table ramp{};
    value_table top{};
    value_table six_steps{}; // a range of exactly as many round steps as fit
    for (std::size_t i = 0; i < TABLE_SLOTS; ++i) {
        ramp[i] = static_cast<std::uint32_t>(i * 1000);
        top[i] = i == 0 ? 0 : 0xFFFFFFFFU;
        six_steps[i] = static_cast<std::uint32_t>(std::min<std::size_t>(i, 60) * 1000);
    }
    value_table zeros{};
    value_table sevens{};
    sevens.fill(7);
    value_table highest{};
    highest.fill(0xFFFFFFFFU);
    struct axis_case {
        const value_table* values;
        bool full_range;
        value_axis expected;
    };
    const axis_case cases[] = {
        {&ramp, false, {0, 100000, 20000}},
        {&six_steps, false, {0, 60000, 10000}},
        {&zeros, false, {0, 5, 1}},
        {&sevens, false, {2, 12, 2}},
        {&highest, false, {3800000000U, 0xFFFFFFFFU, 100000000}},
        {&top, false, {0, 0xFFFFFFFFU, 1000000000}},
        {&ramp, true, {0, 0xFFFFFFFFU, 1U << 30U}},
    };
    for (const axis_case& c : cases) {
        const plotted_table table{c.values, "t"};
        const value_axis got = fit_axis(std::span(&table, 1), c.full_range);
        EXPECT_EQ(std::tie(got.low, got.high, got.step), std::tie(c.expected.low, c.expected.high, c.expected.step))
            << (*c.values)[1] << (c.full_range ? " full" : "");
    }
}

// A name that holds a quote, a comma or a control character still makes one
// csv field and one json string.
TEST(TableViews, NamesStayInsideTheirField)
{
    value_table values{};
    values[0] = 0x2A;
    const std::string csv = shown_values(values, output_format::csv, "a\"b,c.tx", true, true);
    EXPECT_EQ(csv.substr(0, csv.find('\n', csv.find('\n') + 1) + 1),
              "file,slot,hex,decimal\n\"a\"\"b,c.tx\",0,0000002A,42\n");
    const std::string json = shown_values(values, output_format::json, "a\"b\\c\x1f.tx", false, true);
    EXPECT_TRUE(json.starts_with("{\"file\": \"a\\\"b\\\\c\\u001f.tx\", \"slots\": [")) << json.substr(0, 40);
    EXPECT_EQ(compared_values(values, values, output_format::text, "a", "b"), "");
}

// How long a program held a file before txconv gave up: whole seconds in
// seconds, anything else in milliseconds. A write that could not be taken
// back says both reasons.
TEST(Messages, AFailureSaysAllOfItsCause)
{
    const auto waited = [](int ms) {
        return failure{.kind = failure_kind::lock_timeout, .about = {}, .waited = std::chrono::milliseconds(ms)};
    };
    const std::pair<failure, std::string_view> cases[] = {
        {waited(1000), "for 1 s;"},
        {waited(30000), "for 30 s;"},
        {waited(1500), "for 1500 ms;"},
        {cannot_write({}, {io_reason::no_progress}, io_error{io_reason::closed}),
         "cannot be written: the system accepted no bytes; cutting the file back failed too: was closed when"},
    };
    for (const auto& [failed, said] : cases) {
        const std::string line = failure_line(failed);
        EXPECT_NE(line.find(said), std::string::npos) << line;
    }
}

} // namespace
} // namespace txconv
