#include "platform/user_language.hpp"

#include <string_view>

#include <unistd.h>

namespace txconv {

namespace {

// Looked up at the first word said; one thread, so no guard is needed.
enum class looked_up { not_yet, english, simplified_chinese };
looked_up cached = looked_up::not_yet;

// The value of a variable whose name (with its '=') starts the entry.
bool take(std::string_view entry, std::string_view name, const char*& value)
{
    if (entry.starts_with(name)) {
        value = entry.data() + name.size();
        return true;
    }
    return false;
}

locale_variables environment_locale()
{
    // One pass over the environment rather than a getenv for each name:
    // this runs in every run that says anything. Only names that start
    // with "LA" or "LC" are looked at closer.
    locale_variables variables;
    for (char* const* entry = environ; const char* text = *entry; ++entry) {
        if (text[0] != 'L' || (text[1] != 'A' && text[1] != 'C')) [[likely]] {
            continue;
        }
        // Enough of the entry for the longest name, and never past its end.
        std::size_t length = 2;
        while (length < 12 && text[length] != '\0') {
            ++length;
        }
        const std::string_view name(text, length);
        (void)(take(name, "LANG=", variables.lang) || take(name, "LANGUAGE=", variables.language) ||
               take(name, "LC_ALL=", variables.all) || take(name, "LC_MESSAGES=", variables.messages) ||
               take(name, "LC_CTYPE=", variables.ctype));
    }
    return variables;
}

} // namespace

ui_language user_language()
{
    if (cached == looked_up::not_yet) {
        cached = language_by_locale(environment_locale()) == ui_language::simplified_chinese
                     ? looked_up::simplified_chinese
                     : looked_up::english;
    }
    return cached == looked_up::simplified_chinese ? ui_language::simplified_chinese : ui_language::english;
}

} // namespace txconv
