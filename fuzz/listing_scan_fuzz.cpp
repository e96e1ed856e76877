// Differential check of the chunked listing scanner against the plain rule
// applied to the whole input at once: the tables and every finding, with its
// line and count, must agree, wherever the fuzzer chooses to cut the input into chunks.
#include "convert/conversions.hpp"

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
    std::vector<finding> findings;

    bool operator==(const reading&) const = default;
};

// The rule as plainly as it can be said, over the whole input.
reading plain_rule(std::string_view text)
{
    reading result;
    std::size_t filled = 0;
    std::uint64_t line = 1;
    finding ignored{finding_kind::values_ignored, 0, 0};
    for (std::size_t p = 0; p < text.size(); ++p) {
        // A line ends in LF, CR LF, or a CR of its own.
        if (text[p] == '\n' || (text[p] == '\r' && (p + 1 == text.size() || text[p + 1] != '\n'))) {
            ++line;
        }
        if (text[p] != '=') {
            continue;
        }
        if (filled == TABLE_SLOTS) {
            ignored.line = ignored.count++ == 0 ? line : ignored.line;
            continue;
        }
        const std::string_view field = text.substr(p + 1, FIELD_CHARS);
        const auto value = read_hex_field(field);
        if (!value) {
            result.findings.push_back({finding_kind::malformed_field, line, 0});
        } else if (field.size() < FIELD_CHARS) {
            // Cut short by the end, not by a NUL: said, with the digits and the value.
            result.findings.push_back({finding_kind::short_field, line, std::min(field.size(), field.find('\0')),
                                       line_fault::other, 0, *value});
        }
        result.table[filled++] = value.value_or(0);
    }
    if (ignored.count > 0) {
        result.findings.push_back(ignored);
    }
    if (filled < TABLE_SLOTS) {
        result.findings.push_back({finding_kind::too_few_values, 0, filled});
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

    listing_scanner scanner;
    std::size_t at = 0;
    for (std::size_t i = 0; at < text.size(); ++i) {
        const std::size_t cut = cuts.empty() ? std::size_t{128 * 1024} : cuts[i % cuts.size()];
        const std::size_t count = std::min(cut, text.size() - at);
        scanner.feed(std::string_view(text).substr(at, count));
        at += count;
    }
    scanner.finish();
    // The words on keys and long values are the scanner's own: they must
    // come out the same however the input is cut, and the rest by the rule.
    listing_scanner whole;
    whole.feed(text);
    whole.finish();
    reading chunked{scanner.table(), scanner.findings()};
    if (chunked.findings != whole.findings()) {
        std::abort();
    }
    std::erase_if(chunked.findings, [](const finding& found) {
        return found.kind == finding_kind::other_key || found.kind == finding_kind::long_value;
    });
    if (!(chunked == plain_rule(text))) {
        std::abort();
    }
    return 0;
}
