#include "convert/listing_scanner.hpp"
#include "convert/scan_helpers.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace txconv {

using scan::count_byte;
using scan::find_byte;
using scan::LANES;
using scan::line_as_written;

listing_scanner::listing_scanner(std::span<char> buffer)
    : buffer_(buffer.size() >= BUFFER_BYTES ? buffer.data() : nullptr)
{
}

void listing_scanner::reset()
{
    // Everything but the buffer, which is kept for the next listing.
    carried_ = 0;
    kept_ = false;
    kept_from_ = 0;
    kept_end_ = 0;
    // Only a filled slot can hold anything but 0.
    if (filled_ != 0) {
        table_ = {};
    }
    filled_ = 0;
    skip_ = 0;
    last_ = false;
    fields_before_ = 0;
    images_ = 0;
    findings_.clear();
    ignored_at_ = 0;
    line_ = 1;
    counted_ = 0;
}

void listing_scanner::select_image(table_choice image)
{
    last_ = image.last;
    skip_ = image.last ? 0 : (image.number - 1) * TABLE_SLOTS;
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
        // carry what it kept to just in front of where the next one goes.
        if (ignored_at_ == 0) {
            count_lines_up_to(kept_from_);
        }
        carried_ = kept_end_ - kept_from_;
        std::memmove(buffer_ + LEAD - carried_, data_ + kept_from_, carried_);
        counted_ = 0;
        kept_ = false;
    }
    data_ = buffer_ + LEAD - carried_;
    return {buffer_ + LEAD, CHUNK_BYTES};
}

void listing_scanner::count_lines_up_to(std::size_t at)
{
    // A line ends in LF, CR LF, or a CR on its own, as old Macs wrote them.
    // A CR at the very end of what is counted is followed by an '=' here:
    // one that ends a chunk is carried into the next with what follows it.
    const char* const from = data_ + counted_;
    const char* const to = data_ + at;
    line_ += count_byte(from, to, '\n');
    for (const char* cr = find_byte(from, to, '\r'); cr != nullptr; cr = find_byte(cr + 1, to, '\r')) {
        line_ += cr + 1 == to || cr[1] != '\n' ? 1 : 0;
    }
    counted_ = at;
}

void listing_scanner::start_next_run()
{
    // Only the last run is kept.
    fields_before_ += TABLE_SLOTS;
    table_ = {};
    filled_ = 0;
    findings_.clear();
}

void listing_scanner::take_field(std::size_t at, std::size_t end)
{
    const std::string_view field(data_ + at + 1, end - at - 1);
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
    // How many lines may be taken at most is known before the first: as
    // many as fit in the chunk with a whole look ahead, and the table takes.
    const auto room = static_cast<std::size_t>(end - hit);
    const std::size_t lines = room < LANES + FIELD_CHARS ? 0 : (room - LANES - FIELD_CHARS) / LINE_BYTES + 1;
    std::uint32_t* const table = table_.data() + filled_;
    const std::size_t most = std::min(lines, TABLE_SLOTS - filled_);
    std::size_t taken = 0;
    // Eight at a time while they are as written, then one at a time up to
    // the first that is not.
    constexpr std::size_t GROUP = 8;
    for (; taken + GROUP <= most && scan::lines_as_written<GROUP>(hit); taken += GROUP, hit += GROUP * LINE_BYTES) {
        for (std::size_t i = 0; i < GROUP; ++i) {
            table[taken + i] = digits_value(hit + 1 + (i * LINE_BYTES));
        }
    }
    for (; taken < most && line_as_written(hit); ++taken, hit += LINE_BYTES) {
        table[taken] = digits_value(hit + 1);
    }
    filled_ += taken;
    return hit;
}

void listing_scanner::scan(std::size_t count)
{
    const char* const data = data_;
    const std::size_t end = carried_ + count;
    std::size_t keep_from = end;
    for (const char* hit = find_byte(data, data + end, '='); hit != nullptr;) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (skip_ > 0) {
            // A field of an earlier run: only counted.
            --skip_;
            ++fields_before_;
            hit = find_byte(hit + 1, data + end, '=');
            continue;
        }
        if (full() && last_) {
            start_next_run();
        }
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
    // A listing that never asked for space holds nothing at all.
    const char* const data = data_ != nullptr ? data_ : "";
    const std::size_t from = kept_ ? kept_from_ : 0;
    const std::size_t end = kept_ ? kept_end_ : carried_;
    for (const char* hit = find_byte(data + from, data + end, '='); hit != nullptr;
         hit = find_byte(hit + 1, data + end, '=')) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (skip_ > 0) {
            --skip_;
            ++fields_before_;
        } else if (full() && last_) {
            start_next_run();
            take_field(at, end);
        } else if (full()) {
            ignore_from(at, 1);
        } else {
            take_field(at, end);
        }
    }
    std::uint64_t fields = fields_before_ + filled_;
    for (const finding& found : findings_) {
        fields += found.kind == finding_kind::values_ignored ? found.count : 0;
    }
    // A listing always holds one table, if only of zeros.
    images_ = std::max<std::uint64_t>((fields + TABLE_SLOTS - 1) / TABLE_SLOTS, 1);
    if (filled_ < TABLE_SLOTS) {
        findings_.push_back({finding_kind::too_few_values, 0, filled_});
    }
    carried_ = 0;
    counted_ = 0;
    kept_ = false;
}

} // namespace txconv
