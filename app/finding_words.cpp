// The words for what reading an input found: warnings, and a strict
// check's departures.
#include "app/messages.hpp"

#include "convert/table_format.hpp"

namespace txconv {

std::string warning_for(const path_string& path, const finding& found)
{
    const std::string shown = shown_input(path);
    const std::uint64_t count = found.count;
    switch (found.kind) {
    case finding_kind::malformed_field:
        return shown + ":" + std::to_string(found.line) + ": value is not 8 hex digits; stored as 0";
    case finding_kind::values_ignored:
        return shown + ": " + counted(count, "value", "values") + " after the first " + std::to_string(TABLE_SLOTS) +
               (count == 1 ? " was" : " were") + " ignored";
    case finding_kind::too_few_values:
        return count == 0 ? shown + ": holds no values; every slot is 0"
               : count + 1 == TABLE_SLOTS
                   ? shown + ": holds " + std::to_string(count) + " values; slot " + std::to_string(count) + " is 0"
                   : shown + ": holds " + counted(count, "value", "values") + "; slots " + std::to_string(count) +
                         " to " + std::to_string(TABLE_SLOTS - 1) + " are 0";
    case finding_kind::beyond_table:
        return count % TABLE_BYTES == 0
                   ? shown + ": holds " + std::to_string(count / TABLE_BYTES) + " tables; the first is used"
                   : shown + ": holds " + std::to_string(count) + " bytes; the first " + std::to_string(TABLE_BYTES) +
                         " are used";
    default:
        return {};
    }
}

std::string departure_line(const path_string& path, const finding& found)
{
    const std::string shown = shown_input(path);
    switch (found.kind) {
    case finding_kind::bad_line:
        return shown + ":" + std::to_string(found.line) + ": not a line of \"uv=\" and 8 hex digits";
    case finding_kind::more_bad_lines:
        return shown + ": " + counted(found.count, "more such line", "more such lines");
    case finding_kind::line_count:
        return shown + ": holds " + counted(found.count, "line", "lines") + "; a listing takes " +
               std::to_string(TABLE_SLOTS);
    case finding_kind::beyond_table:
    case finding_kind::short_table:
        return shown + ": holds " + std::to_string(found.count) + " bytes; a table file takes " +
               std::to_string(TABLE_BYTES);
    default:
        return warning_for(path, found);
    }
}

} // namespace txconv
