#pragma once

// Which language the user reads, as the system says.

namespace txconv {

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

// The user's language: on POSIX from the environment by that rule, on
// Windows the user's UI language. Looked up once.
ui_language user_language();

} // namespace txconv
