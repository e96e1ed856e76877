// How a name is shown to the user: as UTF-8, with whatever a terminal or an
// XML reader could take for something else escaped, as ls -b does.
#include "app/messages.hpp"
#include "app/translation.hpp"

#include <algorithm>

namespace txconv {

namespace {

// How many bytes of a UTF-8 sequence start at text[at], where it is one;
// 0 where it is not.
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0U) != 0x80U) {
            return 0;
        }
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    const unsigned second = length > 1 ? byte(at + 1) : 0;
    const bool outside = (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
                         (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90);
    return outside ? 0 : length;
}

} // namespace

bool is_standard_stream(const path_string& path)
{
    return path.size() == 1 && path[0] == path_char('-');
}

std::string shown_path(const path_string& path)
{
    return shown_text(display_path(path));
}

std::string shown_text(std::string_view text)
{
    // A name may hold anything but '/' and NUL; a terminal must not take a
    // control character in it as a command, and what is no UTF-8 is no text
    // at all.
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_length(text, at);
        // Controls, C1 ones too, and U+FFFE and U+FFFF, which no XML reader
        // takes for characters.
        const auto next = [&](std::size_t i) -> unsigned { return static_cast<unsigned char>(text[at + i]); };
        const bool control = length == 1   ? next(0) < 0x20 || next(0) == 0x7F
                             : length == 2 ? next(0) == 0xC2 && next(1) < 0xA0
                                           : length == 3 && next(0) == 0xEF && next(1) == 0xBF && next(2) >= 0xBE;
        const std::size_t taken = std::max<std::size_t>(length, 1);
        if (length == 0 || control) {
            // Each byte as a backslash and three octal digits.
            for (std::size_t i = 0; i < taken; ++i) {
                const auto digit = [&](unsigned shift) { return static_cast<char>('0' + ((next(i) >> shift) & 7U)); };
                shown.append({'\\', digit(6), digit(3), digit(0)});
            }
        } else {
            shown.append(text, at, length);
        }
        at += taken;
    }
    return shown;
}

std::string shown_input(const subject& about)
{
    return about.kind == subject_kind::standard_input    ? std::string(tr("standard input"))
           : about.kind == subject_kind::standard_output ? std::string(tr("standard output"))
                                                         : shown_path(about.path);
}

} // namespace txconv
