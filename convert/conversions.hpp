#pragma once

#include "convert/listing_scanner.hpp"
#include "convert/table_format.hpp"
#include "fileio/file_access.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace txconv {

inline constexpr std::string_view NOTICE_SHORT_TABLE = "错误：表文件不完整";

enum class direction {
    to_table,   // a listing in, a table out
    to_listing, // a table in, a listing out
};

// The extension of the files that a direction makes.
std::string_view made_extension(direction way);

// One file to convert, and where its result goes.
struct conversion_job {
    path_string input; // "-" when from_standard_input
    bool from_standard_input = false;
    direction way = direction::to_table;
    // Where the result goes; none means standard output.
    std::optional<path_string> output;
    write_mode mode = write_mode::append;
    // Every warning is an error, and a listing must hold exactly 95 fields of
    // 8 hex digits, a table file whole tables.
    bool strict = false;
    // Read and judge the input; write nothing.
    bool check_only = false;
};

// Runs conversions, one file after another, through one output_writer and
// one listing buffer.
class converter {
public:
    // warn is told each warning line (without the program's name) as it arises.
    converter(output_writer& writer, message_sink warn);

    // Converts one file. done is told how it ended: at once, or once its
    // output is durable (the writer's flush).
    void run(const conversion_job& job, output_done done);

private:
    [[nodiscard]] outcome read_listing(native_file& input, const conversion_job& job, table_image& image);
    [[nodiscard]] outcome read_table(native_file& input, const conversion_job& job, listing_text& text);
    void note_problem(std::uint64_t line, bool stored_as_zero);

    output_writer& writer_;
    message_sink warn_;
    listing_scanner scanner_;
    // The input being read, as shown to the user, and how strictly.
    std::string shown_;
    bool strict_ = false;
    outcome problem_;
};

// The menu's conversions: the listing at path into a table appended to the
// sibling file ending in "tx", and the first table of the file at path into a
// listing appended to the sibling ending in "txt".
void txt_to_tx(converter& runner, const path_string& path, output_done done);
void tx_to_txt(converter& runner, const path_string& path, output_done done);

} // namespace txconv
