#pragma once

// The process and its console: the standard streams as the process found
// them, lines read and written as the user's text, notices that wait for the
// user, and what the windowed program shows instead of a console. One file
// per system implements it.

#include "platform/native_file.hpp"

#include <string_view>

namespace txconv {

// Readies the process before it touches a file: on POSIX, signals that would
// kill it half way through a write (a full pipe, the file size limit) are
// ignored so that the write fails and is rolled back instead, and standard
// input, output and error are opened on /dev/null where they were closed, so
// that no file we open can take their place. (Signals that end it, SIGINT,
// SIGTERM and SIGHUP, first remove the temporary files it has made: the file
// layer sees to that when it makes the first.)
void prepare_process();

// Whether the stream was closed when the process started: it reads and
// writes nothing then, whatever now stands in its place.
bool closed_at_start(standard_stream stream);

// Whether the stream is a terminal, or on Windows a console.
bool is_terminal(standard_stream stream);

// The most of one line of standard input that is read, answer or Enter. Only
// an endless line (a device such as /dev/zero as standard input) comes near
// it, and reading must end.
inline constexpr std::size_t CONSOLE_LINE_LIMIT = std::size_t{1} << 20U;

// One line of standard input, without its line feed, and whether a line
// feed ended it rather than the end of input or the limit above.
struct console_line {
    std::string text;
    bool ended = false;
};

// Reads one line of standard input, up to its line feed, the end of input or
// CONSOLE_LINE_LIMIT characters. Each call takes its own line and no more of
// what waits behind it, which is the next reader's.
io_expected<console_line> read_console_line();

// Writes UTF-8 text to standard output or error so that it reads right: on a
// Windows console as UTF-16, whatever its code page; elsewhere as the bytes.
// Fails with the system's reason where it could not be written.
io_expected<> write_console(standard_stream stream, std::string_view text);

// Whether the console window goes away when this process ends: a Windows
// console that was made for this process alone, as when a file is dropped on
// the program. What is printed there is then gone before anybody reads it.
bool console_closes_with_process();

// Shows text (UTF-8) to the user and returns only once the user has
// acknowledged it: a message box on Windows, the console elsewhere, where
// prompt asks for Enter. Nothing comes back: the notice is a one-way message.
// The icon says what the notice is: none for a plain one, as the path notice
// and the notice that a file cannot be opened are; a warning where data was
// changed or left out; an error where something failed.
enum class notice_icon { none, warning, error };
void show_notice(std::string_view text, std::string_view prompt, notice_icon icon = notice_icon::none);

// On Windows, whether the user's UI language is Simplified Chinese. On
// POSIX nothing: the locale variables say it there.
std::optional<bool> system_ui_is_chinese();

// Whether notices appear where diagnostics do, on the console: then a notice
// need not repeat what a diagnostic line has just said.
bool notices_share_the_console();

// What a Windows program without a console window shows instead (Windows
// only).
// From now on, text that would go to standard output or error is gathered,
// not written: there is no console to write it to.
void gather_console_text();

// What was gathered so far, taken away.
std::string take_gathered_text();

// Asks a question in a message box with Yes and No, No being the default:
// Enter alone must never replace a file. True for Yes.
bool ask_yes_no(std::string_view question);

} // namespace txconv
