#include "convert/conversions.hpp"

#include <algorithm>
#include <cstring>

namespace txconv {

namespace {

const char* find_byte(const char* from, const char* end, char wanted)
{
    const void* found = from == end ? nullptr : std::memchr(from, wanted, static_cast<std::size_t>(end - from));
    return found != nullptr ? static_cast<const char*>(found) : end;
}

// How many bytes in [from, end) are wanted: a tally that fits a byte for
// each block, which the compiler keeps in vector registers, as the search
// for each one would cost a call a line.
std::uint64_t count_byte(const char* from, const char* end, char wanted)
{
    std::uint64_t count = 0;
    for (std::ptrdiff_t block = 0; from != end; from += block) {
        block = std::min<std::ptrdiff_t>(end - from, 240);
        std::uint8_t tally = 0;
        for (std::ptrdiff_t i = 0; i < block; ++i) {
            tally = static_cast<std::uint8_t>(tally + (from[i] == wanted ? 1 : 0));
        }
        count += tally;
    }
    return count;
}

// How many lines end in [from, end): an LF, or a CR that no LF follows, as
// old Macs wrote them. The byte at end must be readable where a CR ends
// the range.
std::uint64_t line_ends(const char* from, const char* end)
{
    std::uint64_t count = count_byte(from, end, '\n');
    for (const char* cr = find_byte(from, end, '\r'); cr != end; cr = find_byte(cr + 1, end, '\r')) {
        count += cr[1] != '\n' ? 1 : 0;
    }
    return count;
}

// The value of the 8 bytes at text, where all are hex digits: read as one
// word, as nearly every field is 8 digits.
std::optional<std::uint32_t> eight_digits(const char* text)
{
    constexpr std::uint64_t ONES = 0x0101010101010101U;
    std::uint64_t word = 0;
    std::memcpy(&word, text, sizeof word);
    // A byte's high bit after each sum says whether it is at least '0', past
    // '9', at least 'a' or past 'f' in lower case. No ASCII byte carries into
    // the next; a byte past ASCII is neither a digit nor a letter either way.
    const std::uint64_t lower = word | (ONES * 0x20);
    const std::uint64_t digit = (word + (ONES * 0x50)) & ~(word + (ONES * 0x46));
    const std::uint64_t letter = (lower + (ONES * 0x1F)) & ~(lower + (ONES * 0x19));
    if (((digit | letter) & (ONES * 0x80)) != ONES * 0x80) {
        return std::nullopt;
    }
    // Each byte's digit, the last one lowest, then put together in pairs.
    const std::uint64_t digits = std::byteswap((word & (ONES * 0xF)) + (((word >> 6U) & ONES) * 9));
    const std::uint64_t pairs = (digits | (digits >> 4U)) & 0x00FF00FF00FF00FFU;
    const std::uint64_t quads = (pairs | (pairs >> 8U)) & 0x0000FFFF0000FFFFU;
    return static_cast<std::uint32_t>(quads | (quads >> 16U));
}

} // namespace

listing_scanner::listing_scanner(table_choice choice)
    : skip_(choice.last ? 0 : (choice.number - 1) * TABLE_SLOTS), last_(choice.last)
{
}

std::uint64_t listing_scanner::line_at(std::size_t at)
{
    line_ += line_ends(buffer_.data() + counted_, buffer_.data() + at);
    counted_ = at;
    return line_;
}

void listing_scanner::take_field(std::size_t at, std::size_t end)
{
    if (skip_ > 0) {
        // A field of an earlier run: only counted.
        --skip_;
        ++fields_before_;
        return;
    }
    if (filled_ == TABLE_SLOTS && last_) {
        // Only the last run is kept.
        fields_before_ += TABLE_SLOTS;
        table_ = {};
        filled_ = 0;
        findings_.clear();
        uv_keys_ = 0;
        keys_.clear();
    }
    if (filled_ == TABLE_SLOTS) {
        ignore_from(at, 1);
        return;
    }
    // Eight digits, as nearly every field is; the rule itself for the rest.
    const std::string_view field(buffer_.data() + at + 1, end - at - 1);
    const auto eight = field.size() == FIELD_CHARS ? eight_digits(buffer_.data() + at + 1) : std::nullopt;
    std::uint32_t value = eight.value_or(0);
    if (!eight) {
        // A value that the end of the input cut short counts by its digits,
        // as one a NUL ends does; only the end is said, as it is where a copy
        // or a save that stopped short leaves a value other than it was.
        const auto read = read_hex_field(field);
        value = read.value_or(0);
        if (!read || field.size() < FIELD_CHARS) {
            findings_.push_back({read ? finding_kind::short_field : finding_kind::malformed_field, line_at(at),
                                 read ? std::min(field.size(), field.find('\0')) : 0, line_fault::other, 0, value});
        }
    }
    table_[filled_++] = value;
    // Nearly every key is "uv" at a line's start; any other is kept.
    const char* const key_end = buffer_.data() + at;
    const bool uv = at >= 3 ? key_end[-1] == 'v' && key_end[-2] == 'u' && (key_end[-3] == '\n' || key_end[-3] == '\r')
                            : key_before(at) == "uv";
    if (uv) {
        ++uv_keys_;
    } else {
        keys_.push_back({.kind = finding_kind::other_key, .line = line_at(at), .key = key_before(at)});
    }
    // A value typed with more digits than a field takes: the first 8 count.
    if (const std::size_t more = eight && end < buffer_.size() && hex_digit(buffer_[end]) >= 0 ? digits_behind(end) : 0;
        more > 0) {
        findings_.push_back({finding_kind::long_value, line_at(at), FIELD_CHARS + more});
    }
}

std::size_t listing_scanner::digits_behind(std::size_t at) const
{
    std::size_t more = 0;
    while (at + more < buffer_.size() && more < MORE_DIGITS && hex_digit(buffer_[at + more]) >= 0) {
        ++more;
    }
    return more;
}

std::string listing_scanner::key_before(std::size_t at) const
{
    // Where the line starts in an earlier chunk, what that held of it goes first.
    const std::size_t low = at - std::min(at, KEY_MOST);
    const std::string_view near(buffer_.data() + low, at - low);
    const std::size_t from = near.find_last_of("\r\n") + 1;
    const std::string key = (low == 0 && from == 0 ? line_start_ : std::string()) + std::string(near.substr(from));
    return key.substr(key.size() - std::min(key.size(), KEY_MOST));
}

void listing_scanner::judge_keys(std::uint64_t values)
{
    // The key that most of the run's fields stand behind, where one does:
    // "uv", unless another outnumbers it. A line that stands behind another
    // moved the values after it by a slot where the run holds other than 95.
    std::string usual = "uv";
    std::uint64_t most = uv_keys_;
    for (const finding& found : keys_) {
        const auto alike = static_cast<std::uint64_t>(std::ranges::count(keys_, found.key, &finding::key));
        if (alike > most) {
            most = alike;
            usual = found.key;
        }
    }
    for (finding& found : keys_) {
        if (found.key != usual && most * 2 > filled_) {
            found.usual = usual;
            found.count = values != TABLE_SLOTS ? 1 : 0;
            findings_.push_back(std::move(found));
        }
    }
    keys_.clear();
}

void listing_scanner::ignore_from(std::size_t at, std::uint64_t count)
{
    if (ignored_at_ == 0) {
        findings_.push_back({finding_kind::values_ignored, line_at(at), 0});
        ignored_at_ = findings_.size();
    }
    findings_[ignored_at_ - 1].count += count;
}

void listing_scanner::feed(std::span<const char> chunk)
{
    // The last chunk's lines are counted only once its place is needed, and
    // only while a finding may still need them: a listing of one chunk is
    // never counted. The bytes it carries over stay, the new chunk behind.
    if (!complete() || ignored_at_ == 0) {
        line_at(keep_);
    }
    if (keep_ > 0) {
        line_start_ = key_before(keep_);
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(keep_));
    counted_ = 0;
    // Lines as txconv writes them are read whole, straight from the chunk,
    // without a search for each '=', from the start of a line of the run that
    // is read: a line of "uv=", 8 digits and CR LF holds one field, and gives
    // nothing to warn of.
    std::size_t from = 0;
    const std::size_t whole = buffer_.empty() && line_start_.empty() && skip_ == 0
                                  ? std::min(chunk.size() / LINE_BYTES, TABLE_SLOTS - filled_) * LINE_BYTES
                                  : 0;
    for (std::optional<std::uint32_t> value;
         from < whole && std::string_view(chunk.data() + from, LINE_BYTES).starts_with("uv=") &&
         std::string_view(chunk.data() + from, LINE_BYTES).ends_with("\r\n") &&
         (value = eight_digits(chunk.data() + from + 3));
         from += LINE_BYTES) {
        table_[filled_++] = *value;
    }
    uv_keys_ += from / LINE_BYTES;
    line_ += from / LINE_BYTES;
    buffer_.insert(buffer_.end(), chunk.begin() + static_cast<std::ptrdiff_t>(from), chunk.end());
    const char* const data = buffer_.data();
    const std::size_t end = buffer_.size();
    std::size_t keep = end;
    for (const char* hit = find_byte(data, data + end, '='); hit != data + end;
         hit = find_byte(hit + 1, data + end, '=')) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (complete()) {
            // Nothing more is read: the rest is only counted.
            ignore_from(at, 1 + count_byte(hit + 1, data + end, '='));
            break;
        }
        if (end - at <= FIELD_CHARS + 1 || (hex_digit(data[at + 1 + FIELD_CHARS]) >= 0 &&
                                            digits_behind(at + 1 + FIELD_CHARS) == end - at - 1 - FIELD_CHARS)) {
            // The field, or the digits behind it, run into the next chunk;
            // look at it again then.
            keep = at;
            break;
        }
        take_field(at, at + 1 + FIELD_CHARS);
    }
    if (keep == end && end > 0 && data[end - 1] == '\r') {
        // Whether it ends a line of its own depends on what comes next.
        keep = end - 1;
    }
    keep_ = keep;
}

void listing_scanner::finish()
{
    // Whatever is still carried are fields that the end of the input cut
    // short; each one ends where the input does.
    const char* const data = buffer_.data();
    const char* const end = data + buffer_.size();
    for (const char* hit = find_byte(data + keep_, end, '='); hit != end; hit = find_byte(hit + 1, end, '=')) {
        const auto at = static_cast<std::size_t>(hit - data);
        take_field(at, std::min(at + 1 + FIELD_CHARS, buffer_.size()));
    }
    // The values of the run read, those ignored behind it included.
    const std::uint64_t values = filled_ + (ignored_at_ != 0 ? findings_[ignored_at_ - 1].count : 0);
    // A listing always holds one table, if only of zeros.
    tables_ = std::max<std::uint64_t>((fields_before_ + values + TABLE_SLOTS - 1) / TABLE_SLOTS, 1);
    judge_keys(values);
    if (filled_ < TABLE_SLOTS) {
        findings_.push_back({finding_kind::too_few_values, 0, filled_});
    }
}

} // namespace txconv
