#include "convert/listing_scanner.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace txconv {

namespace {

const char* find_byte(const char* from, const char* end, char wanted)
{
    return static_cast<const char*>(std::memchr(from, wanted, static_cast<std::size_t>(end - from)));
}

// Counts in blocks small enough that a byte holds each lane's tally, so that
// the compiler keeps the tallies in vector registers: a compare and a
// subtract for 16 bytes or more at a time, where a search per hit would pay
// a call for every line of a dense listing.
std::uint64_t count_byte(const char* from, const char* end, char wanted)
{
    // Where there is none at all, as in a file of NULs, the library's search
    // says so fastest.
    from = find_byte(from, end, wanted);
    if (from == nullptr) {
        return 0;
    }
    constexpr std::size_t LANES = 32;
    constexpr std::size_t BLOCK = LANES * 255;
    std::uint64_t count = 0;
    while (from != end) {
        const auto block = std::min(static_cast<std::size_t>(end - from), BLOCK);
        std::size_t i = 0;
        std::array<std::uint8_t, LANES> tallies{};
        for (; i + LANES <= block; i += LANES) {
            for (std::size_t lane = 0; lane < LANES; ++lane) {
                tallies[lane] = static_cast<std::uint8_t>(tallies[lane] + (from[i + lane] == wanted ? 1 : 0));
            }
        }
        for (const std::uint8_t tally : tallies) {
            count += tally;
        }
        for (; i < block; ++i) {
            count += from[i] == wanted ? 1 : 0;
        }
        from += block;
    }
    return count;
}

// Sixteen bytes, compared and combined all at once: the compiler makes these
// vector instructions wherever the machine has them (SSE2 on any x86-64).
using byte_lanes = unsigned char __attribute__((vector_size(16)));
using lane_masks = signed char __attribute__((vector_size(16)));

constexpr std::size_t LANES = sizeof(byte_lanes);

// Whether the sixteen bytes at hit, an '=', are a field of 8 hexadecimal
// digits followed by one more line as txconv writes them: no '=' in the four
// bytes behind the digits, and an '=' right after those.
bool line_as_written(const char* hit)
{
    // Lanes 1 to 8 hold the digits, 9 to 12 what stands between them and the
    // next line's '=', which is in lane 13.
    static_assert(FIELD_CHARS == 8 && LINE_BYTES == 13);
    constexpr lane_masks DIGITS = {0, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0};
    constexpr lane_masks BETWEEN = {0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0, 0};
    constexpr lane_masks NEXT = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0};
    byte_lanes bytes;
    std::memcpy(&bytes, hit, LANES);
    // A byte lies in [low, low + count) when, moved so that low lands on the
    // smallest signed value, it stays below the smallest plus count: one add
    // and one signed compare.
    const auto within = [](byte_lanes b, unsigned char low, signed char count) {
        return reinterpret_cast<lane_masks>(b + static_cast<unsigned char>(0x80U - low)) <
               static_cast<signed char>(-128 + count);
    };
    const lane_masks hex = within(bytes, '0', 10) | within(bytes | 0x20, 'a', 6);
    const lane_masks equals = bytes == '=';
    const lane_masks wrong = (DIGITS & ~hex) | (BETWEEN & equals) | (NEXT & ~equals);
    std::uint64_t halves[2];
    std::memcpy(halves, &wrong, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

} // namespace

listing_scanner::listing_scanner(std::span<char> buffer)
    : buffer_(buffer.size() >= BUFFER_BYTES ? buffer.data() : nullptr)
{
}

void listing_scanner::reset()
{
    carried_ = 0;
    kept_ = false;
    table_ = {};
    filled_ = 0;
    findings_.clear();
    ignored_at_ = 0;
    line_ = 1;
    counted_ = 0;
}

std::span<char> listing_scanner::space()
{
    // Made on first use: a run that reads only tables never needs it.
    if (buffer_ == nullptr) {
        owned_ = std::make_unique_for_overwrite<char[]>(BUFFER_BYTES);
        buffer_ = owned_.get();
    }
    if (kept_) {
        // The chunk is about to be overwritten: count its lines now, and
        // carry what it kept to the front.
        if (ignored_at_ == 0) {
            count_lines_up_to(kept_from_);
        }
        carried_ = kept_end_ - kept_from_;
        std::memmove(buffer_, buffer_ + kept_from_, carried_);
        counted_ = 0;
        kept_ = false;
    }
    return {buffer_ + carried_, CHUNK_BYTES};
}

void listing_scanner::count_lines_up_to(std::size_t at)
{
    // A line ends in LF, CR LF, or a CR on its own, as old Macs wrote them.
    // A CR at the very end of what is counted is followed by an '=' here:
    // one that ends a chunk is carried into the next with what follows it.
    const char* const from = buffer_ + counted_;
    const char* const to = buffer_ + at;
    line_ += count_byte(from, to, '\n');
    for (const char* cr = find_byte(from, to, '\r'); cr != nullptr; cr = find_byte(cr + 1, to, '\r')) {
        line_ += cr + 1 == to || cr[1] != '\n' ? 1 : 0;
    }
    counted_ = at;
}

void listing_scanner::take_field(std::size_t at, std::size_t end)
{
    const std::string_view field(buffer_ + at + 1, end - at - 1);
    const auto value = read_hex_field(field);
    const bool exact = value && field.size() == FIELD_CHARS && field.find('\0') == std::string_view::npos;
    if (!exact) {
        count_lines_up_to(at);
        findings_.push_back({value ? finding_kind::short_field : finding_kind::malformed_field, line_, 0});
    }
    table_[filled_++] = value.value_or(0);
}

void listing_scanner::ignore_from(std::size_t at, std::uint64_t count)
{
    if (ignored_at_ == 0) {
        count_lines_up_to(at);
        ignored_at_ = findings_.size() + 1;
        findings_.push_back({finding_kind::values_ignored, line_, 0});
    }
    findings_[ignored_at_ - 1].count += count;
}

const char* listing_scanner::take_regular_lines(const char* hit, const char* end)
{
    // Runs for as long as the listing keeps to the form txconv writes, where
    // nearly all of a listing's reading is spent: no search, no line count.
    // Kept in locals, so that the compiler keeps them in registers.
    std::size_t filled = filled_;
    std::uint32_t* const table = table_.data();
    for (;
         end - hit >= static_cast<std::ptrdiff_t>(LANES + FIELD_CHARS) && filled < TABLE_SLOTS && line_as_written(hit);
         hit += LINE_BYTES) {
        table[filled++] = digits_value(hit + 1);
    }
    filled_ = filled;
    return hit;
}

void listing_scanner::scan(std::size_t count)
{
    const char* const data = buffer_;
    const std::size_t end = carried_ + count;
    std::size_t keep_from = end;
    for (const char* hit = find_byte(data, data + end, '='); hit != nullptr;) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (full()) {
            ignore_from(at, 1 + count_byte(hit + 1, data + end, '='));
            break;
        }
        if (end - at <= FIELD_CHARS) {
            // The field runs into the next chunk; look at it again then.
            keep_from = at;
            break;
        }
        if (const char* past = take_regular_lines(hit, data + end); past != hit) {
            hit = past;
        } else if (const auto value = read_exact_field(hit + 1)) {
            table_[filled_++] = *value;
            hit = find_byte(hit + 1 + FIELD_CHARS, data + end, '=');
        } else {
            take_field(at, at + 1 + FIELD_CHARS);
            hit = find_byte(hit + 1, data + end, '=');
        }
    }
    if (keep_from == end && end > 0 && data[end - 1] == '\r') {
        // Whether it ends a line of its own depends on what comes next.
        keep_from = end - 1;
    }
    // Left where it is: the lines of a chunk are counted only once another
    // chunk needs its place, so a listing that fits one chunk and holds no
    // surprise is never counted at all.
    kept_ = true;
    kept_from_ = keep_from;
    kept_end_ = end;
    carried_ = 0;
}

void listing_scanner::finish()
{
    // Whatever is still carried are fields that the end of the input cut
    // short; each one ends where the input does.
    const char* const data = buffer_;
    const std::size_t from = kept_ ? kept_from_ : 0;
    const std::size_t end = kept_ ? kept_end_ : carried_;
    for (const char* hit = find_byte(data + from, data + end, '='); hit != nullptr;
         hit = find_byte(hit + 1, data + end, '=')) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (full()) {
            ignore_from(at, 1);
        } else {
            take_field(at, end);
        }
    }
    if (filled_ < TABLE_SLOTS) {
        findings_.push_back({finding_kind::too_few_values, 0, filled_});
    }
    carried_ = 0;
    counted_ = 0;
    kept_ = false;
}

} // namespace txconv
