#include "convert/conversions.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace txconv {
namespace {

// As the driver reads them.
constexpr std::size_t CHUNK = 128 * 1024;

using namespace std::string_literals;
using testing::scan_in_pieces;
using testing::scan_result;

std::string lines(std::size_t count, std::uint32_t first)
{
    std::string text;
    char line[16];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "uv=%08X\r\n", static_cast<unsigned>(first + i));
        text += line;
    }
    return text;
}

constexpr auto malformed = finding_kind::malformed_field;
constexpr auto cut_short = finding_kind::short_field;
constexpr auto ignored = finding_kind::values_ignored;
constexpr auto too_few = finding_kind::too_few_values;
constexpr auto other_key = finding_kind::other_key;
constexpr auto long_value = finding_kind::long_value;

struct scan_case {
    const char* what;
    std::string text;
    std::vector<std::uint32_t> slots; // the leading slots; the rest must be 0
    std::vector<finding> findings;
};

std::vector<scan_case> scan_cases()
{
    std::vector<std::uint32_t> counting(95);
    for (std::size_t i = 0; i < 95; ++i) {
        counting[i] = static_cast<std::uint32_t>(0x100 + i);
    }
    std::vector<std::uint32_t> shifted{0x20240501};
    shifted.insert(shifted.end(), counting.begin(), counting.end() - 1);
    std::vector<scan_case> cases = {
        {"empty listing", "", {}, {{too_few, 0, 0}}},
        {"three lines", "uv=00000001\r\nuv=0000000a\r\nuv=FFFFFFFF\r\n", {1, 10, 0xFFFFFFFFU}, {{too_few, 0, 3}}},
        {"any key", "gain=0000ABCD\r\n", {0xABCD}, {{too_few, 0, 1}}},
        {"no '=' at all", "hello\r\nworld\r\n", {}, {{too_few, 0, 0}}},
        {"short field takes the next line", "uv=1A2B\r\nuv=00000002\r\n", {0, 2}, {{malformed, 1}, {too_few, 0, 2}}},
        {"space inside the field", "uv= 1A2B3C4\r\n", {0}, {{malformed, 1}, {too_few, 0, 1}}},
        {"'=' inside a field starts another", "k==0000000A\r\n", {0, 10}, {{malformed, 1}, {too_few, 0, 2}}},
        {"a note at the top moves every slot",
         "# S/N=20240501\r\n" + lines(95, 0x100),
         shifted,
         {{ignored, 96, 1}, {.kind = other_key, .line = 1, .count = 1, .key = "# S/N", .usual = "uv"}}},
        {"a mistyped key in 95 values moves nothing",
         lines(5, 0x100) + "UV=00000105\r\n" + lines(89, 0x106),
         counting,
         {{.kind = other_key, .line = 6, .key = "UV", .usual = "uv"}}},
        {"a value with too many digits", "uv=0002875233\r\n", {0x28752}, {{long_value, 1, 10}, {too_few, 0, 1}}},
        {"a value with too many digits at the end",
         "uv=0123456789",
         {0x1234567},
         {{long_value, 1, 10}, {too_few, 0, 1}}},
        {"NUL ends a field, as the rule reads it", "uv=12\0abcde\r\n"s, {0x12}, {{too_few, 0, 1}}},
        {"field cut short by the end",
         "a\nuv=12",
         {0x12},
         {{cut_short, 2, 2, line_fault::other, 0, 0x12}, {too_few, 0, 1}}},
        {"the end cuts the last of 95 short",
         lines(94, 0x100) + "uv=0000015",
         [&] {
             auto cut = counting;
             cut[94] = 0x15;
             return cut;
         }(),
         {{cut_short, 95, 7, line_fault::other, 0, 0x15}}},
        {"'=' as the last byte", "a\nb\nuv=", {0}, {{malformed, 3}, {too_few, 0, 1}}},
        {"malformed fields report their lines",
         "x\ny\nuv=zzzzzzzz\nuv=00000005\nuv=-1\n",
         {0, 5, 0},
         {{malformed, 3}, {malformed, 5}, {too_few, 0, 3}}},
        {"95 lines", lines(95, 0x100), counting, {}},
        {"a line as written behind a note with no line end",
         std::string(13, '#') + lines(95, 0x100),
         counting,
         {{.kind = other_key, .line = 1, .key = "#############uv", .usual = "uv"}}},
        {"a key longer than is kept is cut alike, wherever a chunk ends",
         std::string(30, '#') + lines(95, 0x100),
         counting,
         {{.kind = other_key, .line = 1, .key = "##############uv", .usual = "uv"}}},
        {"96 lines", lines(96, 0x100), counting, {{ignored, 96, 1}}},
        {"two listings back to back", lines(95, 0x100) + lines(95, 0x100), counting, {{ignored, 96, 95}}},
        {"ignored fields are not parsed", lines(95, 0x100) + "uv=bad\nuv=", counting, {{ignored, 96, 2}}},
        {"the first ignored field is on a later line", lines(95, 0x100) + "\n\nx=1", counting, {{ignored, 98, 1}}},
        {"CR alone ends a line too", "a\rb\r\nc\n\rx=zzzzzzzz", {0}, {{malformed, 5}, {too_few, 0, 1}}},
        {"digits at the edges of their ranges",
         "uv=09AFaf09\r\n" + lines(2, 2),
         {0x09AFAF09U, 2, 3},
         {{too_few, 0, 3}}},
    };
    // Lines that look nearly as txconv writes them must leave the fast path
    // that reads such lines a word at a time: a byte just outside a digit
    // range in each of the eight places, and an '=' in each of the four
    // bytes between the digits and the next line's '='.
    for (std::size_t place = 0; place < FIELD_CHARS; ++place) {
        for (const char outside : std::string("/:@G`g")) {
            std::string field = "12345678";
            field[place] = outside;
            cases.push_back({"a byte outside the digits",
                             "uv=" + field + "\r\n" + lines(2, 2),
                             {0, 2, 3},
                             {{malformed, 1, 0}, {too_few, 0, 3}}});
        }
    }
    for (std::size_t place = 0; place < 4; ++place) {
        std::string between = "xxxx";
        between[place] = '=';
        const std::string first_key = "uv=00000001" + between.substr(0, place);
        cases.push_back({"an '=' between two lines",
                         "uv=00000001" + between + "=00000002\r\n" + lines(2, 3),
                         {1, 0, 2, 3, 4},
                         {{malformed, 1, 0},
                          {.kind = other_key, .line = 1, .count = 1, .key = first_key, .usual = "uv"},
                          {.kind = other_key, .line = 1, .count = 1, .key = "uv=00000001" + between, .usual = "uv"},
                          {too_few, 0, 5}}});
    }
    return cases;
}

TEST(ListingScanner, ReadsEveryFieldByTheRule)
{
    for (const auto& c : scan_cases()) {
        value_table expected{};
        std::copy(c.slots.begin(), c.slots.end(), expected.begin());
        const scan_result whole = scan_in_pieces(c.text, CHUNK);
        EXPECT_EQ(whole.table, expected) << c.what;
        EXPECT_EQ(whole.findings, c.findings) << c.what;
    }
}

// Chunk boundaries may fall anywhere, inside a field or right behind an '='.
TEST(ListingScanner, ChunkBoundariesChangeNothing)
{
    for (const auto& c : scan_cases()) {
        const scan_result whole = scan_in_pieces(c.text, CHUNK);
        for (const std::size_t piece : {1U, 2U, 3U, 7U, 8U, 9U, 13U, 64U}) {
            EXPECT_EQ(scan_in_pieces(c.text, piece), whole) << c.what << ", pieces of " << piece;
        }
    }
}

TEST(ListingScanner, FieldAcrossTheRealChunkBoundary)
{
    // Every place an '=' can take around the boundary of two full chunks.
    for (std::size_t back = 0; back <= 10; ++back) {
        std::string text(CHUNK - back, '\n');
        text += "uv=89ABCDEF\r\nk==0000000A";
        const scan_result result = scan_in_pieces(text, CHUNK);
        value_table expected{};
        expected[0] = 0x89ABCDEFU;
        expected[2] = 10;
        EXPECT_EQ(result.table, expected) << back;
        const auto line = CHUNK - back + 2;
        EXPECT_EQ(result.findings.front(), (finding{malformed, line, 0})) << back;
    }
}

// A line as txconv writes it is read a word at a time: every byte, in every
// place of its field, must read as the rule reads it.
TEST(ListingScanner, EveryByteOfAWholeLineByTheRule)
{
    for (std::size_t place = 0; place < FIELD_CHARS; ++place) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string field = "9aB0c1D2";
            field[place] = static_cast<char>(byte);
            if (byte != '=') {
                EXPECT_EQ(scan_in_pieces("uv=" + field + "\r\n", CHUNK).table[0], read_hex_field(field).value_or(0))
                    << place << " " << byte;
            }
        }
    }
}

// UTF-16 is told by its mark, or without one by NUL at every other byte of
// the first 64, in either order: a few such bytes at the start, or a file too
// short to show a pattern, are no UTF-16.
TEST(TextEncoding, DecidedOnTheFirstBytes)
{
    const std::string bare(64, 'u');
    std::string low_nuls = bare;
    std::string high_nuls = bare;
    for (std::size_t i = 0; i < 64; i += 2) {
        low_nuls[i + 1] = '\0';
        high_nuls[i] = '\0';
    }
    const std::pair<std::string, text_encoding> cases[] = {
        {"\xFF\xFE", text_encoding::utf16_le},
        {"\xFE\xFF", text_encoding::utf16_be},
        {low_nuls + lines(2, 1), text_encoding::utf16_unmarked},
        {high_nuls, text_encoding::utf16_unmarked},
        {low_nuls.substr(0, 8) + lines(2, 1), text_encoding::bytes},
        {low_nuls.substr(0, 6), text_encoding::bytes},
        {lines(2, 1), text_encoding::bytes},
    };
    for (const auto& [start, encoding] : cases) {
        EXPECT_EQ(encoding_of(start), encoding) << ::testing::PrintToString(start);
    }
}

// UTF-16 of either order, in chunks cut anywhere, even inside a surrogate
// pair: the same UTF-8 as all at once; half a pair is no character, and
// hides none of what follows it.
TEST(Utf16Decoder, ChunksCutAnywhereDecodeAlike)
{
    const std::u16string text = u"uv=0000ABCD\r\n# \u8868 \U0001F600 \U00010000 \xe9 \x80 \xdc00\xdc00 uv=1234\xd800"
                                u"5678 \xd800\xd83d\xde00";
    const std::string utf8 = "uv=0000ABCD\r\n# \xe8\xa1\xa8 \xf0\x9f\x98\x80 \xf0\x90\x80\x80 \xc3\xa9 "
                             "\xc2\x80 \xef\xbf\xbd\xef\xbf\xbd uv=1234\xef\xbf\xbd"
                             "5678 \xef\xbf\xbd\xf0\x9f\x98\x80";
    for (const bool big_endian : {false, true}) {
        std::string bytes;
        for (const char16_t unit : text) {
            const char low = static_cast<char>(unit & 0xFFU);
            const char high = static_cast<char>(unit >> 8U);
            bytes += big_endian ? std::string{high, low} : std::string{low, high};
        }
        for (const std::size_t piece : {1U, 2U, 3U, 5U, 64U}) {
            utf16_decoder decoder(big_endian);
            std::string got;
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                got += decoder.decode(std::string_view(bytes).substr(at, piece));
            }
            EXPECT_EQ(got, utf8) << big_endian << " " << piece;
        }
    }
}

} // namespace
} // namespace txconv
