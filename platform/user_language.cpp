#include "platform/user_language.hpp"

#include <cctype>
#include <initializer_list>
#include <string_view>

namespace txconv {

namespace {

// The first variable that is set and not empty, as setlocale takes them.
std::string_view first_set(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (name != nullptr && *name != '\0') {
            return name;
        }
    }
    return {};
}

bool is_c_locale(std::string_view name)
{
    return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.");
}

bool same_letters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// "zh_CN.UTF-8@modifier": the part between the dot and the at sign.
bool is_utf8_locale(std::string_view name)
{
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    const std::string_view codeset = name.substr(dot + 1, name.find('@', dot) - dot - 1);
    return same_letters(codeset, "UTF-8") || same_letters(codeset, "utf8");
}

// What one language name chooses: Chinese, English, or nothing we speak.
enum class choice { chinese, english, other };

choice choice_of(std::string_view name)
{
    for (const std::string_view chinese : {"zh_CN", "zh_SG", "zh_Hans"}) {
        if (name.starts_with(chinese) &&
            (name.size() == chinese.size() || std::isalnum(static_cast<unsigned char>(name[chinese.size()])) == 0)) {
            return choice::chinese;
        }
    }
    if (name == "en" || name.starts_with("en_") || name.starts_with("en.") || name.starts_with("en@")) {
        return choice::english;
    }
    return choice::other;
}

} // namespace

ui_language language_by_locale(const locale_variables& variables)
{
    const std::string_view messages = first_set({variables.all, variables.messages, variables.lang});
    if (is_c_locale(messages) || !is_utf8_locale(first_set({variables.all, variables.ctype, variables.lang}))) {
        return ui_language::english;
    }
    std::string_view wanted = first_set({variables.language});
    if (wanted.empty()) {
        wanted = messages;
    }
    // The first name in the list that we have words for wins; with none,
    // the words are English, as gettext's untranslated messages are.
    while (!wanted.empty()) {
        const std::size_t colon = wanted.find(':');
        const choice chosen = choice_of(wanted.substr(0, colon));
        if (chosen != choice::other) {
            return chosen == choice::chinese ? ui_language::simplified_chinese : ui_language::english;
        }
        wanted = colon == std::string_view::npos ? std::string_view() : wanted.substr(colon + 1);
    }
    return ui_language::english;
}

} // namespace txconv
