#pragma once

#include "convert/conversions.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace txconv::testing {

// A fresh folder for one test, removed with everything in it afterwards; in
// the temporary folder, or in another one where a test needs a second file
// system.
class scratch_dir {
public:
    explicit scratch_dir(const std::filesystem::path& in = std::filesystem::temp_directory_path())
    {
        std::string pattern = (in / "txconv-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    ~scratch_dir() { std::filesystem::remove_all(path_); }

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void write_bytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a listing reads as: the table and what the scanner found.
struct scan_result {
    value_table table{};
    std::vector<finding> findings;

    bool operator==(const scan_result&) const = default;
};

// Feeds text to a scanner in pieces of at most piece bytes.
inline scan_result scan_in_pieces(const std::string& text, std::size_t piece)
{
    listing_scanner scanner;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        scanner.feed(std::string_view(text).substr(at, piece));
    }
    scanner.finish();
    return {scanner.table(), scanner.findings()};
}

} // namespace txconv::testing
