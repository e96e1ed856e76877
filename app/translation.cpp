#include "app/translation.hpp"

#include "app/catalog.hpp"
#include "platform/user_language.hpp"

#include <cstring>
#include <optional>

namespace txconv {

namespace {

std::optional<bool> chosen_for_testing;

bool chinese()
{
    return chosen_for_testing ? *chosen_for_testing : user_language() == ui_language::simplified_chinese;
}

// The catalog is msgfmt's binary form: a count, then two tables of lengths
// and offsets, of the English texts in byte order and of their
// translations.
std::uint32_t catalog_word(std::size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, CHINESE_CATALOG + at, sizeof value);
    return value;
}

std::string_view catalog_string(std::uint32_t table, std::uint32_t index)
{
    const std::uint32_t length = catalog_word(table + (8 * index));
    const std::uint32_t offset = catalog_word(table + (8 * index) + 4);
    return {reinterpret_cast<const char*>(CHINESE_CATALOG) + offset, length};
}

// The translation of the message whose English text (its singular, for a
// message with plurals) is english; empty where there is none.
std::string_view translation_of(std::string_view english)
{
    const std::uint32_t count = catalog_word(8);
    const std::uint32_t originals = catalog_word(12);
    const std::uint32_t translations = catalog_word(16);
    std::uint32_t low = 0;
    std::uint32_t high = count;
    while (low < high) {
        const std::uint32_t middle = low + ((high - low) / 2);
        std::string_view original = catalog_string(originals, middle);
        original = original.substr(0, original.find('\0'));
        const int order = original.compare(english);
        if (order == 0) {
            return catalog_string(translations, middle);
        }
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return {};
}

} // namespace

std::string_view tr(std::string_view english)
{
    if (!chinese()) {
        return english;
    }
    const std::string_view translated = translation_of(english);
    return translated.empty() ? english : translated;
}

std::string_view trn(std::string_view one, std::string_view many, std::uint64_t count)
{
    if (chinese()) {
        // Chinese has one form: the first, up to the one behind it.
        const std::string_view translated = translation_of(one);
        if (!translated.empty()) {
            return translated.substr(0, translated.find('\0'));
        }
    }
    return count == 1 ? one : many;
}

void append_filled(std::string& out, std::string_view pattern, std::initializer_list<std::string_view> values)
{
    std::size_t next = 0;
    while (!pattern.empty()) {
        const std::size_t percent = pattern.find('%');
        out.append(pattern.substr(0, percent));
        if (percent == std::string_view::npos) {
            return;
        }
        pattern.remove_prefix(percent + 1);
        // "%s", "%N$s" or "%%"; anything else stands as it is.
        std::size_t index = next;
        std::size_t length = 0;
        if (pattern.size() >= 3 && pattern[0] >= '1' && pattern[0] <= '9' && pattern[1] == '$') {
            index = static_cast<std::size_t>(pattern[0] - '1');
            length = 2;
        }
        if (length < pattern.size() && pattern[length] == 's' && index < values.size()) {
            out.append(values.begin()[index]);
            next = index + 1;
            pattern.remove_prefix(length + 1);
        } else if (!pattern.empty() && pattern[0] == '%') {
            out += '%';
            pattern.remove_prefix(1);
        } else {
            out += '%';
        }
    }
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values)
{
    std::string out;
    append_filled(out, pattern, values);
    return out;
}

void speak_chinese_for_testing(bool chinese)
{
    chosen_for_testing = chinese;
}

} // namespace txconv
