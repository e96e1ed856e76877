#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace txconv {

// The cursor waits behind the underscore.
inline constexpr std::string_view MENU = "1 TXT to TX;\n2 TX to TXT_";

inline constexpr std::string_view USAGE =
    "usage: txconv PATH\n"
    "\n"
    "Converts between a table file (.tx: 95 unsigned 32-bit values, 380 bytes,\n"
    "little-endian) and a listing (.txt: one line \"uv=XXXXXXXX\" per value, CR LF).\n"
    "A menu asks which way: 1 turns a listing into a table, 2 a table into a\n"
    "listing. The result is appended to PATH with its extension swapped.\n"
    "\n"
    "Exit status: 0 when the conversion worked or none was chosen, 1 when it failed.\n";

enum class menu_choice { none, txt_to_tx, tx_to_txt };

// The answer's leading decimal number, read as atoi reads it: white space,
// an optional sign, digits. Anything but 1 or 2, however large, is none.
menu_choice parse_choice(std::string_view answer);

// One line from in, without its line feed, however long it is.
std::string read_answer_line(std::FILE* in);

} // namespace txconv
