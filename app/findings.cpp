// What txconv says of what it found in an input: the warnings of a
// listing or table read by the rules, and a strict check's departures from
// the form txconv writes.
#include "app/messages.hpp"
#include "app/translation.hpp"

namespace txconv {

namespace {

// What is wrong with a line a strict check found not as written, in
// line_fault's order; the ones with a detail, which come last, are worded
// where they are met.
constexpr std::string_view FAULT_WORDS[] = {
    tr_later("not a line of \"uv=\" and 8 hex digits"),
    tr_later("starts with a UTF-8 byte order mark"),
    tr_later("an empty line"),
    tr_later("no \"=\" on the line"),
    tr_later("the key in capitals; txconv writes \"uv=\""),
    tr_later("a key other than \"uv\""),
    tr_later("a space before \"=\""),
    tr_later("a space after \"=\""),
    tr_later("a trailing space"),
    tr_later("a space"),
    tr_later("a tab"),
    tr_later("ends in a CR without an LF"),
};
static_assert(std::size(FAULT_WORDS) == static_cast<std::size_t>(line_fault::not_hex));

std::string fault_words(const finding& found)
{
    if (found.fault == line_fault::not_hex) {
        // A byte that shows as itself is quoted; any other, escaped.
        const std::string byte(1, static_cast<char>(found.detail));
        const std::string shown = shown_text(byte);
        return fill(tr("%s is not a hex digit"), {shown == byte ? "'" + byte + "'" : shown});
    }
    if (found.fault == line_fault::few_digits || found.fault == line_fault::many_digits) {
        return fill(trn("%s hex digit; a value takes 8", "%s hex digits; a value takes 8", found.count),
                    {std::to_string(found.count)});
    }
    return std::string(tr(FAULT_WORDS[static_cast<std::size_t>(found.fault)]));
}

} // namespace

std::string finding_line(const subject& about, const finding& found, bool strict)
{
    // Where it is: the file, or the line of the file.
    const std::string in_file = shown_input(about) + ": ";
    const std::string on_line = shown_input(about) + ":" + std::to_string(found.line) + ": ";
    const std::uint64_t count = found.count;
    const std::string number = std::to_string(count);
    switch (found.kind) {
    case finding_kind::malformed_field:
        return on_line + std::string(tr("value is not 8 hex digits; stored as 0"));
    case finding_kind::values_ignored:
        return in_file +
               fill(trn("%s value after the first %s was ignored", "%s values after the first %s were ignored", count),
                    {number, std::to_string(TABLE_SLOTS)});
    case finding_kind::too_few_values:
        return in_file + (count == 0 ? std::string(tr("holds no values; every slot is 0"))
                                     : fill(tr("%s; a missing line moves the values after it up by one slot"),
                                            {count + 1 == TABLE_SLOTS
                                                 ? fill(tr("holds %s values; slot %s is 0"), {number, number})
                                                 : fill(trn("holds %s value; slots %s to %s are 0",
                                                            "holds %s values; slots %s to %s are 0", count),
                                                        {number, number, std::to_string(TABLE_SLOTS - 1)})}));
    case finding_kind::short_field:
        return on_line + fill(trn("the input ends after %s hex digit of the value; read as %s",
                                  "the input ends after %s hex digits of the value; read as %s", count),
                              {number, hex8(found.detail)});
    case finding_kind::long_value:
        return on_line + fill(count < listing_scanner::DIGITS_COUNTED
                                  ? tr("the value has %s hex digits; the first 8 were taken")
                                  : tr("the value has at least %s hex digits; the first 8 were taken"),
                              {number});
    case finding_kind::other_key:
        return on_line + fill(count != 0
                                  ? tr("the key \"%s\" is not the \"%s\" of most lines; the values after it moved by "
                                       "one slot")
                                  : tr("the key \"%s\" is not the \"%s\" of most lines"),
                              {shown_text(found.key), shown_text(found.usual)});
    case finding_kind::beyond_table:
        if (!strict) {
            return in_file +
                   (count % TABLE_BYTES == 0
                        ? fill(tr("holds %s tables; the first is used"), {std::to_string(count / TABLE_BYTES)})
                        : fill(tr("holds %s bytes; the first %s are used"), {number, std::to_string(TABLE_BYTES)}));
        }
        [[fallthrough]];
    case finding_kind::short_table:
        return in_file + fill(tr("holds %s bytes; a table file takes %s"), {number, std::to_string(TABLE_BYTES)});
    case finding_kind::cut_short_table:
        return in_file + fill(tr("holds %s bytes: %s and %s of one cut short"),
                              {number, counted(count / TABLE_BYTES, trn("%s table", "%s tables", count / TABLE_BYTES)),
                               counted(count % TABLE_BYTES, trn("%s byte", "%s bytes", count % TABLE_BYTES))});
    case finding_kind::goes_on:
        return in_file + (strict ? fill(tr("goes on past what a table needs; a table file takes %s bytes"),
                                        {std::to_string(TABLE_BYTES)})
                                 : std::string(tr("goes on past what a table needs; read no further")));
    case finding_kind::bad_line:
        return shown_input(about) + ":" + std::to_string(found.line) +
               (found.column != 0 ? ":" + std::to_string(found.column) : std::string()) + ": " + fault_words(found);
    case finding_kind::more_bad_lines:
        return in_file + counted(count, trn("%s more such line", "%s more such lines", count));
    case finding_kind::line_count:
        return in_file + fill(trn("holds %s line; a listing takes %s", "holds %s lines; a listing takes %s", count),
                              {number, std::to_string(TABLE_SLOTS)});
    case finding_kind::utf16:
        // Read as well as any listing, so said only by a strict check.
        return !strict
                   ? std::string()
                   : in_file + std::string(count != 0
                                               ? tr("is UTF-16, big-endian (Unicode big endian); txconv writes ASCII")
                                               : tr("is UTF-16, little-endian (Unicode); txconv writes ASCII"));
    }
    return {};
}

} // namespace txconv
