#include "app/translation.hpp"

#include "convert/conversions.hpp"
#include "platform/console.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ranges>

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

// "zh_CN.UTF-8@modifier": the part between the dot and the at sign.
bool is_utf8_locale(std::string_view name)
{
    const std::size_t dot = name.find('.');
    std::string codeset(dot == std::string_view::npos ? "" : name.substr(dot + 1, name.find('@', dot) - dot - 1));
    std::ranges::transform(codeset, codeset.begin(), ascii_lower);
    return codeset == "utf-8" || codeset == "utf8";
}

// What one language name chooses: Chinese, English, or nothing we speak.
std::optional<ui_language> choice_of(std::string_view name)
{
    for (const std::string_view chinese : {"zh_CN", "zh_SG", "zh_Hans"}) {
        if (name.starts_with(chinese) &&
            (name.size() == chinese.size() || std::isalnum(static_cast<unsigned char>(name[chinese.size()])) == 0)) {
            return ui_language::simplified_chinese;
        }
    }
    const bool english = name == "en" || name.starts_with("en_") || name.starts_with("en.") || name.starts_with("en@");
    return english ? std::optional(ui_language::english) : std::nullopt;
}

bool chinese()
{
    // Looked up at the first word said; one thread, so no guard is needed.
    static const bool chosen = system_ui_is_chinese().value_or(
        language_by_locale({std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                            std::getenv("LC_CTYPE"), std::getenv("LANG")}) == ui_language::simplified_chinese);
    return chosen;
}

// The catalog is msgfmt's binary form, little-endian: a magic number, a
// revision, a count, then two tables of lengths and offsets, of the English
// texts in byte order and of their translations. It is the build's own
// output, made from po/zh_CN.po by msgfmt -c, and the build takes it into
// the program only where its magic number, its revision and every table
// and text within it say it reads right; so here it is taken as it is.
std::uint32_t catalog_word(std::size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, CHINESE_CATALOG + at, sizeof value);
    return value;
}

std::string_view catalog_string(std::uint32_t table, std::uint32_t index)
{
    const std::uint32_t length = catalog_word(table + (8 * std::size_t{index}));
    const std::uint32_t offset = catalog_word(table + (8 * std::size_t{index}) + 4);
    return {reinterpret_cast<const char*>(CHINESE_CATALOG) + offset, length};
}

} // namespace

std::string_view translation_of(std::string_view english)
{
    const auto original = [](std::uint32_t i) {
        const std::string_view text = catalog_string(catalog_word(12), i);
        return text.substr(0, text.find('\0'));
    };
    const auto indices = std::views::iota(std::uint32_t{0}, catalog_word(8));
    const auto found = std::ranges::lower_bound(indices, english, {}, original);
    return found != indices.end() && original(*found) == english ? catalog_string(catalog_word(16), *found)
                                                                 : std::string_view();
}

ui_language language_by_locale(const locale_variables& variables)
{
    const std::string_view messages = first_set({variables.all, variables.messages, variables.lang});
    // gettext passes LANGUAGE by only where the messages locale is C itself.
    const bool c_locale = messages.empty() || messages == "C" || messages == "POSIX";
    if (c_locale || !is_utf8_locale(first_set({variables.all, variables.ctype, variables.lang}))) {
        return ui_language::english;
    }
    const std::string_view wanted = first_set({variables.language, variables.all, variables.messages, variables.lang});
    // The first name in the list that we have words for wins; with none,
    // the words are English, as gettext's untranslated messages are.
    for (const auto name : std::views::split(wanted, ':')) {
        if (const auto chosen = choice_of(std::string_view(name))) {
            return *chosen;
        }
    }
    return ui_language::english;
}

std::string_view tr(std::string_view english)
{
    const std::string_view translated = chinese() ? translation_of(english) : std::string_view();
    return translated.empty() ? english : translated;
}

std::string_view trn(std::string_view one, std::string_view many, std::uint64_t count)
{
    // Chinese has one form: the first, up to the one behind it.
    const std::string_view translated = chinese() ? translation_of(one) : std::string_view();
    return !translated.empty() ? translated.substr(0, translated.find('\0')) : count == 1 ? one : many;
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t percent = pattern.find('%'); percent != std::string_view::npos; percent = pattern.find('%')) {
        out.append(pattern.substr(0, percent));
        pattern.remove_prefix(percent + 1);
        // "%s", "%N$s" or "%%"; anything else stands as it is.
        const bool numbered = pattern.size() >= 3 && pattern[0] >= '1' && pattern[0] <= '9' && pattern[1] == '$';
        const std::size_t index = numbered ? static_cast<std::size_t>(pattern[0] - '1') : next;
        const std::size_t length = numbered ? 2 : 0;
        if (length < pattern.size() && pattern[length] == 's' && index < values.size()) {
            out.append(values.begin()[index]);
            next = index + 1;
            pattern.remove_prefix(length + 1);
        } else {
            out += '%';
            pattern.remove_prefix(pattern.starts_with('%') ? 1 : 0);
        }
    }
    return out.append(pattern);
}

} // namespace txconv
