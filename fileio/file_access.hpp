#pragma once

#include "platform/native_file.hpp"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace txconv {

// The most that any single write call hands to the system.
inline constexpr std::size_t WRITE_CHUNK = 65536;

// What the user's notice says when a step fails.
inline constexpr std::string_view NOTICE_CANNOT_OPEN = "错误：无法打开文件";
inline constexpr std::string_view NOTICE_CANNOT_WRITE = "错误：无法写入文件";
inline constexpr std::string_view NOTICE_SAME_FILE = "错误：输出文件与输入文件相同";

// A step that did not work: the notice for the user, and the subject (a
// path, in UTF-8) and reason that make up the diagnostic line.
struct failure {
    std::string_view notice;
    std::string subject;
    std::string reason;
};

using outcome = std::optional<failure>; // empty: it worked

// The output's name: the input's path with everything after the last '.' of
// its file name replaced by extension, or ".extension" added when the file
// name has no '.'. Both '/' and '\\' end a folder name.
path_string output_name_for(const path_string& path, std::string_view extension);

[[nodiscard]] outcome open_input(const path_string& path, native_file& file);

// Fills into from the file. Less than into.size() arrives only at the end of
// the file, so the caller's buffer bounds the memory a read takes.
[[nodiscard]] outcome read_chunk(native_file& file, const path_string& path, std::span<char> into, std::size_t& got);

// Closes an input that has been read to the end.
[[nodiscard]] outcome close_input(native_file& file, const path_string& path);

// Refuses to write into the file being read.
[[nodiscard]] outcome refuse_same_file(const native_file& input, const path_string& output);

// Appends data to the file at path, creating it when absent. It lands whole
// or not at all: on failure the file is cut back to what it held before (and
// removed again if this call made it).
[[nodiscard]] outcome append_to_file(const path_string& path, std::span<const char> data);

} // namespace txconv
