#pragma once

#include "convert/listing_scanner.hpp"
#include "convert/table_format.hpp"
#include "fileio/file_access.hpp"

#include <functional>
#include <string>
#include <string_view>

namespace txconv {

inline constexpr std::string_view NOTICE_SHORT_TABLE = "错误：表文件不完整";

// Told each warning line (without the program's name) as it arises.
using warning_sink = std::function<void(const std::string&)>;

// Reads the listing at path and appends its table image to the sibling file
// ending in "tx".
[[nodiscard]] outcome txt_to_tx(const path_string& path, const warning_sink& warn);

// Reads the first table image of the file at path and appends its listing to
// the sibling file ending in "txt".
[[nodiscard]] outcome tx_to_txt(const path_string& path);

} // namespace txconv
