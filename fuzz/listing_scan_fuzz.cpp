// Differential check of the chunked listing scanner against the plain rule
// applied to the whole input at once: the tables, the count of ignored
// fields and the lines of malformed fields must all agree, wherever the
// fuzzer chooses to cut the input into chunks.
#include "convert/listing_scanner.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

using namespace txconv;

struct reading {
    value_table table{};
    std::uint64_t ignored = 0;
    std::vector<std::uint64_t> malformed_lines;

    bool operator==(const reading&) const = default;
};

// The rule as plainly as it can be said, over the whole input.
reading plain_rule(std::string_view text)
{
    reading result;
    std::size_t filled = 0;
    std::uint64_t line = 1;
    for (std::size_t p = 0; p < text.size(); ++p) {
        if (text[p] == '\n') {
            ++line;
        }
        if (text[p] != '=') {
            continue;
        }
        if (filled == TABLE_SLOTS) {
            ++result.ignored;
            continue;
        }
        const std::string_view field = text.substr(p + 1, FIELD_CHARS);
        const auto value = read_hex_field(field);
        if (!value) {
            result.malformed_lines.push_back(line);
        }
        if (hex_to_value(field) != value.value_or(0)) {
            std::abort();
        }
        result.table[filled++] = value.value_or(0);
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    std::vector<std::size_t> cuts;
    for (int i = 0, n = provider.ConsumeIntegralInRange(0, 16); i < n; ++i) {
        cuts.push_back(provider.ConsumeIntegralInRange<std::size_t>(1, 64));
    }
    const std::string text = provider.ConsumeRemainingBytesAsString();

    reading chunked;
    listing_scanner scanner([&](std::uint64_t line) { chunked.malformed_lines.push_back(line); });
    std::size_t at = 0;
    for (std::size_t i = 0; at < text.size(); ++i) {
        const std::size_t cut = cuts.empty() ? listing_scanner::CHUNK_BYTES : cuts[i % cuts.size()];
        const std::size_t count = std::min(cut, text.size() - at);
        std::memcpy(scanner.space().data(), text.data() + at, count);
        scanner.scan(count);
        at += count;
    }
    scanner.finish();
    chunked.table = scanner.table();
    chunked.ignored = scanner.ignored();

    if (!(chunked == plain_rule(text))) {
        std::abort();
    }
    return 0;
}
