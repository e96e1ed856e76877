#include "convert/listing_scanner.hpp"

#include <cstring>
#include <string_view>

namespace txconv {

namespace {

const char* find_byte(const char* from, const char* end, char wanted)
{
    return static_cast<const char*>(std::memchr(from, wanted, static_cast<std::size_t>(end - from)));
}

std::uint64_t count_byte(const char* from, const char* end, char wanted)
{
    std::uint64_t count = 0;
    for (const char* hit = find_byte(from, end, wanted); hit != nullptr; hit = find_byte(hit + 1, end, wanted)) {
        ++count;
    }
    return count;
}

} // namespace

listing_scanner::listing_scanner() : buffer_(std::make_unique_for_overwrite<char[]>(FIELD_CHARS + CHUNK_BYTES))
{
    findings_.reserve(TABLE_SLOTS + 2);
}

void listing_scanner::reset()
{
    carried_ = 0;
    table_ = {};
    filled_ = 0;
    findings_.clear();
    ignored_at_ = 0;
    line_ = 1;
    counted_ = 0;
}

std::span<char> listing_scanner::space()
{
    return {buffer_.get() + carried_, CHUNK_BYTES};
}

void listing_scanner::count_lines_up_to(std::size_t at)
{
    line_ += count_byte(buffer_.get() + counted_, buffer_.get() + at, '\n');
    counted_ = at;
}

void listing_scanner::take_field(std::size_t at, std::size_t end)
{
    const std::string_view field(buffer_.get() + at + 1, end - at - 1);
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

void listing_scanner::scan(std::size_t count)
{
    const char* const data = buffer_.get();
    const std::size_t end = carried_ + count;
    std::size_t keep_from = end;
    for (const char* hit = find_byte(data, data + end, '='); hit != nullptr;
         hit = find_byte(hit + 1, data + end, '=')) {
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
        take_field(at, at + 1 + FIELD_CHARS);
    }
    if (ignored_at_ == 0) {
        count_lines_up_to(keep_from);
    }
    carried_ = end - keep_from;
    std::memmove(buffer_.get(), data + keep_from, carried_);
    counted_ = 0;
}

void listing_scanner::finish()
{
    // Whatever is still carried are fields that the end of the input cut
    // short; each one ends where the input does.
    const char* const data = buffer_.get();
    for (const char* hit = find_byte(data, data + carried_, '='); hit != nullptr;
         hit = find_byte(hit + 1, data + carried_, '=')) {
        const auto at = static_cast<std::size_t>(hit - data);
        if (full()) {
            ignore_from(at, 1);
        } else {
            take_field(at, carried_);
        }
    }
    if (filled_ < TABLE_SLOTS) {
        findings_.push_back({finding_kind::too_few_values, 0, filled_});
    }
    carried_ = 0;
    counted_ = 0;
}

} // namespace txconv
