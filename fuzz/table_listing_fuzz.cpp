// Any first 380 bytes make a listing of exactly 95 well-formed lines, and
// that listing reads back into the same 380 bytes.
#include "convert/conversions.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using namespace txconv;

bool is_upper_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void check_line(const char* line)
{
    if (std::memcmp(line, "uv=", 3) != 0 || line[11] != '\r' || line[12] != '\n' ||
        !std::all_of(line + 3, line + 11, is_upper_hex)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    table_image image{};
    std::memcpy(image.data(), data, std::min(size, TABLE_BYTES));

    const listing_text listing = format_listing(decode_table(image));
    for (std::size_t line = 0; line < TABLE_SLOTS; ++line) {
        check_line(listing.data() + line * LINE_BYTES);
    }

    listing_scanner scanner;
    scanner.feed(listing);
    scanner.finish();
    if (!scanner.findings().empty() || encode_table(scanner.table()) != image) {
        std::abort();
    }
    return 0;
}
