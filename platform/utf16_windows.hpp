#pragma once

#include <string>
#include <string_view>

namespace txconv {

// Windows speaks UTF-16; the rest of the program speaks UTF-8.
std::string narrow(std::wstring_view text);
std::wstring widen(std::string_view text);

} // namespace txconv
