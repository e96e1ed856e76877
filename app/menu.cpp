#include "app/menu.hpp"

namespace txconv {

namespace {

bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

menu_choice parse_choice(std::string_view answer)
{
    std::size_t at = 0;
    while (at < answer.size() && is_space(answer[at])) {
        ++at;
    }
    bool negative = false;
    if (at < answer.size() && (answer[at] == '+' || answer[at] == '-')) {
        negative = answer[at] == '-';
        ++at;
    }
    // Only 1 and 2 matter, so the value stops growing once it is past them;
    // leading zeros still count as nothing, and no length can overflow.
    int value = 0;
    for (; at < answer.size() && is_digit(answer[at]); ++at) {
        if (value <= 2) {
            value = value * 10 + (answer[at] - '0');
        }
    }
    if (negative) {
        return menu_choice::none;
    }
    switch (value) {
    case 1:
        return menu_choice::txt_to_tx;
    case 2:
        return menu_choice::tx_to_txt;
    default:
        return menu_choice::none;
    }
}

std::string read_answer_line(std::FILE* in)
{
    std::string line;
    for (int c = std::getc(in); c != EOF && c != '\n'; c = std::getc(in)) {
        line.push_back(static_cast<char>(c));
    }
    return line;
}

} // namespace txconv
