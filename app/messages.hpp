#pragma once

// Every word the user reads about a file, in one place: the notices' first
// lines, the reasons, the warnings and the hints.

#include "app/driver.hpp"
#include "platform/console.hpp"

namespace txconv {

// The count put into the form of a message that trn chose for it:
// counted(n, trn("%s value", "%s values", n)).
std::string counted(std::uint64_t count, std::string_view pattern);

// Whether path is "-", which names standard input or output on the
// command line.
bool is_standard_stream(const path_string& path);

// The path as the user reads it: UTF-8, with control characters and bytes
// that are no UTF-8 escaped, as ls -b does, so that neither a terminal nor
// an XML reader takes them for anything but text.
std::string shown_path(const path_string& path);

// The same for text that is no path: a listing's key, as read.
std::string shown_text(std::string_view text);

// At most count bytes from the start, or the end, of text, cut between
// characters.
std::string_view utf8_prefix(std::string_view text, std::size_t count);
std::string_view utf8_suffix(std::string_view text, std::size_t count);

// What a failure or a line is about, as the user reads it: its path, or the
// standard stream by name.
std::string shown_input(const subject& about);

// The whole diagnostic line, without the program's name: what, which side
// failed, and why. can_append: whether --append is worth suggesting.
std::string failure_line(const job_failure& failed, bool can_append = true);

// Shows the notice of a failure: its first line, then, where the notice is
// a box of its own, which file and why.
void notify_failure(const job_failure& failed);

// What a finding says: where strict, as a departure from the form txconv
// writes; else as a warning, empty for one that goes unsaid.
std::string finding_line(const subject& about, const finding& found, bool strict);

// What the menu says of an output it appended to, and what its readers
// take: "pts.tx: table appended; it now holds 2 tables, and programs read
// the first", or "pts.tx: table written" for one that held nothing; utf16:
// a listing added in UTF-16, behind the mark of one that was.
std::string added_line(const subject& output, direction way, std::uint64_t held_before, bool utf16);

// "500 files: 480 converted, 20 left alone (their outputs exist)".
std::string batch_line(std::size_t files, std::size_t converted, std::size_t left_alone, std::size_t failed);
std::string late_close_line(const subject& about, io_error cause);

// How many warnings the closing notice quotes before it only counts them.
inline constexpr std::size_t QUOTED_WARNINGS = 5;

// The closing notice for a console that closes with the process: what the
// outputs that were added to now hold, what was written with warnings, the
// first few warnings and how many there were.
std::string closing_notice(std::span<const std::string> added_to, std::span<const warned_output> outputs,
                           std::span<const std::string> warnings);

// A notice's text cut to what fits a screen: its first lines, each cut in
// the middle where it is too long, and how many more there were.
std::string fitted_notice(std::string_view text);

// Shows a notice, fitted; where the console stands in for a message box, it
// asks for Enter in the user's language.
void notify(std::string_view text, notice_icon icon = notice_icon::none);

// Prints "txconv: " and line on standard error.
void print_diagnostic(std::string_view line);

// Prints line on standard error as it is, behind what goes before it, in
// one write.
void print_line(std::string_view line, std::string_view before = {});

} // namespace txconv
