#include "app/translation.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace txconv {
namespace {

TEST(LanguageByLocale, FollowsGettextsOrder)
{
    struct locale_case {
        const char* what;
        locale_variables variables;
        ui_language expected;
    };
    constexpr auto zh = ui_language::simplified_chinese;
    constexpr auto en = ui_language::english;
    const std::vector<locale_case> cases = {
        {"nothing set", {}, en},
        {"LANG", {.lang = "zh_CN.UTF-8"}, zh},
        {"Singapore's", {.lang = "zh_SG.UTF-8"}, zh},
        {"written zh_Hans", {.language = "zh_Hans", .lang = "en_US.UTF-8"}, zh},
        {"a codeset in small letters", {.lang = "zh_CN.utf8"}, zh},
        {"a modifier behind the codeset", {.lang = "zh_CN.UTF-8@pinyin"}, zh},
        {"a language that only starts like English", {.language = "enm:zh_CN", .lang = "zh_CN.UTF-8"}, zh},
        {"traditional Chinese is not spoken", {.lang = "zh_TW.UTF-8"}, en},
        {"a name that only starts alike", {.lang = "zh_CNX.UTF-8"}, en},
        {"C", {.lang = "C"}, en},
        {"LC_ALL wins over LANG", {.all = "C", .lang = "zh_CN.UTF-8"}, en},
        {"LC_MESSAGES wins over LANG", {.messages = "zh_CN.UTF-8", .lang = "en_US.UTF-8"}, zh},
        {"LC_ALL wins over LC_MESSAGES", {.all = "en_US.UTF-8", .messages = "zh_CN.UTF-8"}, en},
        {"an empty variable counts as unset", {.all = "", .lang = "zh_CN.UTF-8"}, zh},
        {"LANGUAGE wins over the locale", {.language = "zh_CN", .lang = "en_US.UTF-8"}, zh},
        {"LANGUAGE is ignored in the C locale", {.language = "zh_CN", .lang = "C"}, en},
        {"and in the POSIX locale", {.language = "zh_CN", .messages = "POSIX", .lang = "zh_CN.UTF-8"}, en},
        {"LANGUAGE is not ignored in C.UTF-8", {.language = "zh_CN:en", .lang = "C.UTF-8"}, zh},
        {"C.UTF-8 alone is English", {.lang = "C.UTF-8"}, en},
        {"LANGUAGE is a list, tried in order", {.language = "fr:zh_CN:en", .lang = "de_DE.UTF-8"}, zh},
        {"English earlier in the list wins", {.language = "en_GB:zh_CN", .lang = "zh_CN.UTF-8"}, en},
        {"and with a modifier, as en@quot", {.language = "en@quot:zh_CN", .lang = "zh_CN.UTF-8"}, en},
        {"a list of nothing spoken gives English", {.language = "fr:de", .lang = "zh_CN.UTF-8"}, en},
        // Chinese in GB2312 or GB18030 would reach a terminal that cannot
        // show UTF-8.
        {"zh_CN without a codeset is GB2312", {.lang = "zh_CN"}, en},
        {"zh_CN.GB18030", {.lang = "zh_CN.GB18030"}, en},
        {"the characters' locale decides the encoding", {.ctype = "C", .lang = "zh_CN.UTF-8"}, en},
        {"LC_ALL sets the encoding too", {.all = "zh_CN.UTF-8", .ctype = "C"}, zh},
    };
    for (const locale_case& c : cases) {
        EXPECT_EQ(language_by_locale(c.variables), c.expected) << c.what;
    }
}

TEST(Fill, PutsValuesWhereThePatternSays)
{
    struct fill_case {
        const char* pattern;
        std::string expected;
    };
    const std::vector<fill_case> cases = {
        {"%s: %s", "a: b"},
        {"%2$s, then %1$s", "b, then a"},
        {"100%% of %s", "100% of a"},
        {"a lone % stays", "a lone % stays"},
        {"ends in %", "ends in %"},
        {"%s %s %s", "a b %s"}, // a third value that is not there leaves its place
        {"", ""},
    };
    for (const fill_case& c : cases) {
        EXPECT_EQ(fill(c.pattern, {"a", "b"}), c.expected) << c.pattern;
    }
}

// Every English text of the catalog finds its own translation: a lookup
// that searched in another order than msgfmt sorts would miss some. A text
// it lacks, as a system's rarer reasons, finds none, not its neighbour's.
TEST(Catalog, FindsEveryMessage)
{
    const auto word = [](std::size_t at) {
        std::uint32_t value = 0;
        std::memcpy(&value, CHINESE_CATALOG + at, sizeof value);
        return value;
    };
    const auto text = [&](std::uint32_t table, std::uint32_t i) {
        return std::string_view(reinterpret_cast<const char*>(CHINESE_CATALOG) + word(table + (8 * i) + 4),
                                word(table + (8 * i)));
    };
    ASSERT_EQ(word(0), 0x950412DEU);
    const std::uint32_t count = word(8);
    ASSERT_GT(count, 100U);
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::string_view english = text(word(12), i);
        EXPECT_EQ(translation_of(english.substr(0, english.find('\0'))), text(word(16), i)) << english;
    }
    EXPECT_EQ(translation_of("Exec format error"), "");
    EXPECT_EQ(tr("standard input"), "standard input");
    EXPECT_EQ(trn("%s table", "%s tables", 1), "%s table");
    EXPECT_EQ(trn("%s table", "%s tables", 2), "%s tables");
}

} // namespace
} // namespace txconv
