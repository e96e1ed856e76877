#pragma once

// The words txconv says, in the user's language: English, or Simplified
// Chinese from the catalog built into the program. Every sentence goes
// through tr() or trn() with its English text as a literal, which is how
// xgettext finds it for po/txconv.pot.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace txconv {

// The Chinese catalog, compiled from po/zh_CN.po by msgfmt and built into
// the program as bytes, so that no file need be found at run time.
extern const unsigned char CHINESE_CATALOG[];

// The text in the user's language; the English text where the catalog has
// no other.
std::string_view tr(std::string_view english);

// Marks a text for the catalog where it cannot be translated yet, as in a
// constant table; tr() translates it where it is shown.
constexpr std::string_view tr_later(std::string_view english)
{
    return english;
}

// The form for count, by the language's plural rule: English has two,
// Chinese one.
std::string_view trn(std::string_view one, std::string_view many, std::uint64_t count);

// pattern with each %s replaced by the next value, %N$s by the Nth, as a
// translation may put them in another order, and %% by %.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values);

enum class ui_language { english, simplified_chinese };

// The locale variables as gettext reads them; nullptr where one is unset.
struct locale_variables {
    const char* language = nullptr; // LANGUAGE
    const char* all = nullptr;      // LC_ALL
    const char* messages = nullptr; // LC_MESSAGES
    const char* ctype = nullptr;    // LC_CTYPE
    const char* lang = nullptr;     // LANG
};

// gettext's rule: LANGUAGE, a list tried in order, unless the messages
// locale (LC_ALL, LC_MESSAGES, then LANG) is C; else that locale itself.
// zh_CN, zh_SG and zh_Hans choose Chinese, and only where the character
// locale (LC_ALL, LC_CTYPE, then LANG) is UTF-8: Chinese in any other
// encoding would reach the terminal as bytes it cannot show.
ui_language language_by_locale(const locale_variables& variables);

// The catalog's Chinese for the message whose English text (its singular,
// for a message with plurals) is english, its forms apart by NUL; empty
// where there is none.
std::string_view translation_of(std::string_view english);

} // namespace txconv
