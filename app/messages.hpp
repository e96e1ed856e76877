#pragma once

// Every word the user reads about a file, in one place: the notices' first
// lines, the reasons, the warnings and the hints.

#include "convert/finding.hpp"
#include "fileio/failure.hpp"

#include <span>
#include <string>
#include <string_view>

namespace txconv {

// "1 value", "2 values": a count with the word that fits it.
std::string counted(std::uint64_t count, std::string_view one, std::string_view many);

// Whether path is "-", which names standard input or output.
bool is_standard_stream(const path_string& path);

// An input as the user reads it: its path, or "standard input".
std::string shown_input(const path_string& path);

// The path as the user reads it: UTF-8, with control characters escaped.
std::string shown_path(const path_string& path);

// The first line of a failure's notice.
std::string_view notice_headline(const failure& failed);

// What a failure is about: its path, or the standard stream by name.
std::string subject_of(const failure& failed);

// The whole diagnostic line, without the program's name: what, which side
// failed, and why.
std::string failure_line(const failure& failed);

// Why it failed, in words.
std::string reason_of(const failure& failed);

// A notice for a failure: its first line, then which file and why.
std::string failure_notice(const failure& failed);

// The warning for a finding that only warns when not strict; empty for one
// that goes unsaid.
std::string warning_for(const path_string& path, const finding& found);

// A strict check's word on one departure from the form txconv writes.
std::string departure_line(const path_string& path, const finding& found);

std::string waiting_line(const path_string& path);
std::string late_close_line(const path_string& path, io_result cause);
std::string ok_line(const path_string& input);
std::string converted_line(const path_string& input, const path_string* output);

// An output that was written although its input warned.
struct warned_output {
    std::string name;
    std::size_t warnings = 0;
};

// How many warnings the closing notice quotes before it only counts them.
inline constexpr std::size_t QUOTED_WARNINGS = 5;

// The closing notice for a console that closes with the process: what was
// written, the first few warnings and how many there were.
std::string warnings_notice(std::span<const warned_output> outputs, std::span<const std::string> warnings);

// Prints "txconv: " and line on standard error.
void print_diagnostic(std::string_view line);

} // namespace txconv
