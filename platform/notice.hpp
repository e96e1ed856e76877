#pragma once

#include <string_view>

namespace txconv {

// Shows text (UTF-8) to the user and returns only once the user has
// acknowledged it. Nothing comes back: the notice is a one-way message.
void show_notice(std::string_view text);

} // namespace txconv
