#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace txconv {

// Paths stay in the platform's own form, so no file name is ever mangled:
// bytes on POSIX, UTF-16 on Windows.
using path_string = std::filesystem::path::string_type;
using path_char = path_string::value_type;

// An operating system failure, as the system words it. Empty means success.
using os_error = std::string;

// The path as UTF-8, for diagnostics and notices.
std::string display_path(const path_string& path);

// Removes the file at path.
[[nodiscard]] os_error remove_file(const path_string& path);

// One open file. Closing is explicit wherever its result matters; the
// destructor only makes sure that nothing stays open.
class native_file {
public:
    native_file() = default;
    native_file(const native_file&) = delete;
    native_file& operator=(const native_file&) = delete;
    native_file(native_file&& other) noexcept;
    native_file& operator=(native_file&& other) noexcept;
    ~native_file();

    [[nodiscard]] os_error open_for_reading(const path_string& path);

    // Opens path for adding bytes at its end, creating it when absent, and
    // holds an exclusive lock on it until close: concurrent appenders take
    // turns instead of interleaving, and a failed append can be cut back
    // without touching anybody else's bytes.
    [[nodiscard]] os_error open_for_appending(const path_string& path);

    // got is 0 only at the end of the file.
    [[nodiscard]] os_error read_some(std::span<char> into, std::size_t& got);
    [[nodiscard]] os_error write_some(std::span<const char> from, std::size_t& put);
    [[nodiscard]] os_error size(std::uint64_t& length) const;
    [[nodiscard]] os_error truncate(std::uint64_t length);
    [[nodiscard]] os_error close();

    // Whether open_for_appending made the file rather than finding it.
    bool created() const { return created_; }

    // Whether path names this very file, through any of its names.
    bool is_same_file_as(const path_string& path) const;

private:
    void release() noexcept;

    std::intptr_t handle_ = -1;
    bool created_ = false;
};

} // namespace txconv
