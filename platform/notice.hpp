#pragma once

#include <string_view>

namespace txconv {

// Shows text (UTF-8) to the user and returns only once the user has
// acknowledged it. Nothing comes back: the notice is a one-way message.
void show_notice(std::string_view text);

// Whether notices appear where diagnostics do, on the console: then a notice
// need not repeat what a diagnostic line has just said.
bool notices_share_the_console();

} // namespace txconv
