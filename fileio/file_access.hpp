#pragma once

#include "platform/native_file.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Told a line for the user (without the program's name), such as a warning.
using message_sink = std::function<void(const std::string&)>;

// The output's name: the input's path with everything after the last '.' of
// its file name replaced by extension, or ".extension" added when the file
// name has no '.'. Both '/' and '\\' end a folder name.
path_string output_name_for(const path_string& path, std::string_view extension);

// Opens the file at path to convert. identity tells which file it is, so
// that no output is ever written into it.
[[nodiscard]] outcome open_input(const path_string& path, native_file& file, std::optional<file_identity>& identity);

// The same for standard input, which may be a pipe or a terminal as well.
void open_standard_input(native_file& file, std::optional<file_identity>& identity);

// Fills into from the file. Less than into.size() arrives only at the end of
// the file, so the caller's buffer bounds the memory a read takes.
[[nodiscard]] outcome read_chunk(native_file& file, const path_string& path, std::span<char> into, std::size_t& got);

// Closes an input that has been read to the end.
[[nodiscard]] outcome close_input(native_file& file, const path_string& path);

// How an output meets a file that already has its name.
enum class write_mode {
    append,  // adds behind what the file holds, as the menu always does
    create,  // refuses to touch it
    replace, // puts the new file in its place, whole
};

// How long an append waits for a lock that another program holds.
struct lock_patience {
    std::chrono::milliseconds say_after{1000};
    std::chrono::milliseconds give_up_after{30000};
};

// Told once how one output ended.
using output_done = std::function<void(const outcome&)>;

// Writes outputs so that each lands whole or not at all, never through a
// link at its name, never into anything but a regular file, never into the
// input it was made from, and durably before it is reported done:
//  - a new file is written and synced under no name, then given its name
//    only if that name is still free;
//  - an append takes the file's lock, adds the bytes, syncs, and cuts the
//    file back to its old length if any step fails;
//  - a replacement is renamed over the old file, which stays whole until then.
// New files wait in a small window so that their syncs and their folders'
// syncs are done together, which costs far less than one by one.
class output_writer {
public:
    explicit output_writer(message_sink say = {}, lock_patience patience = {});
    output_writer(const output_writer&) = delete;
    output_writer& operator=(const output_writer&) = delete;
    // Outputs that were never flushed leave nothing behind.
    ~output_writer();

    // Refuses path early, before work is spent on its content: a link, not a
    // regular file, the input itself, or, to create, a name already taken.
    [[nodiscard]] outcome check_target(const path_string& path, write_mode mode,
                                       const std::optional<file_identity>& input) const;

    // Writes data to path. done is told how it ended, at once or by flush().
    void write(const path_string& path, write_mode mode, std::span<const char> data,
               const std::optional<file_identity>& input, output_done done);

    // Tells done how a conversion ended that writes nothing here, in its turn
    // behind the outputs still waiting, so that reports keep their order.
    void report(const outcome& ended, output_done done);

    // Makes every output written so far durable and named, and tells each.
    void flush();

private:
    struct pending;

    [[nodiscard]] outcome append_existing(const path_string& path, std::span<const char> data,
                                          const std::optional<file_identity>& input, bool& missing) const;
    [[nodiscard]] outcome wait_for_lock(native_file& file, const path_string& path) const;
    void publish(pending& output) const;
    void close_durable(native_file& file, const path_string& path) const;

    message_sink say_;
    lock_patience patience_;
    std::size_t window_;
    std::vector<pending> pending_;
};

// Appends data to the file at path at once, creating it when absent: the
// menu's way, whole or not at all, and durable when it returns.
[[nodiscard]] outcome append_to_file(const path_string& path, std::span<const char> data);

// Writes data to standard output, and syncs it where that is a regular file,
// unless that file is the input (txconv -2 -o - t.tx >> t.tx).
[[nodiscard]] outcome write_to_standard_output(std::span<const char> data, const std::optional<file_identity>& input);

} // namespace txconv
