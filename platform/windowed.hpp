#pragma once

// What a Windows program without a console window shows instead (Windows
// only).

#include <string_view>

namespace txconv {

// From now on, text that would go to standard output or error is gathered,
// not written: there is no console to write it to.
void gather_console_text();

// Shows what was gathered, if anything, in one notice, marked as a warning
// when the run failed.
void show_gathered_text(bool failed);

// Asks a question in a message box with Yes and No, No being the default:
// Enter alone must never replace a file. True for Yes.
bool ask_yes_no(std::string_view question);

} // namespace txconv
