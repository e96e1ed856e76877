#include "app/messages.hpp"

#include "convert/table_format.hpp"
#include "platform/console.hpp"

#include <algorithm>

namespace txconv {

namespace {

constexpr std::string_view NOTICE_CANNOT_OPEN = "错误：无法打开文件";
constexpr std::string_view NOTICE_CANNOT_WRITE = "错误：无法写入文件";
constexpr std::string_view NOTICE_SAME_FILE = "错误：输出文件与输入文件相同";
constexpr std::string_view NOTICE_SHORT_TABLE = "错误：表文件不完整";

std::string io_text(io_error error)
{
    switch (error.reason) {
    case io_reason::symlink:
        return "is a symbolic link; not followed";
    case io_reason::not_regular:
        return "is not a regular file";
    case io_reason::no_progress:
        return "the system accepted no bytes";
    case io_reason::closed:
        return "was closed when txconv started";
    case io_reason::folder:
        return "is a folder";
    case io_reason::device_name:
        return "is a name Windows keeps for a device; no file of that name is made or read";
    case io_reason::stream_name:
        return "names an alternate data stream, which txconv does not write";
    case io_reason::read_only:
        return "is read-only; clear that first to replace it";
    case io_reason::unknown_identity:
        return "is a file whose identity cannot be read, so it might be the input; not used";
    case io_reason::link_loop:
        return "its links go round in a loop and lead to no file";
    case io_reason::system:
    case io_reason::missing:
    case io_reason::exists:
    case io_reason::busy:
        break;
    }
    return system_message(error.code);
}

std::string seconds(std::chrono::milliseconds waited)
{
    const auto ms = static_cast<std::uint64_t>(waited.count());
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// What is wrong with a line a strict check found not as written.
std::string fault_words(const finding& found)
{
    switch (found.fault) {
    case line_fault::other:
        break;
    case line_fault::byte_order_mark:
        return "starts with a UTF-8 byte order mark";
    case line_fault::empty:
        return "an empty line";
    case line_fault::no_key:
        return "no \"=\" on the line";
    case line_fault::key_case:
        return "the key in capitals; txconv writes \"uv=\"";
    case line_fault::other_key:
        return "a key other than \"uv\"";
    case line_fault::space_before:
        return "a space before \"=\"";
    case line_fault::space_after:
        return "a space after \"=\"";
    case line_fault::trailing_space:
        return "a trailing space";
    case line_fault::space:
        return "a space";
    case line_fault::tab:
        return "a tab";
    case line_fault::not_hex: {
        const auto byte = static_cast<unsigned char>(found.detail);
        std::string shown;
        if (byte >= 0x20 && byte < 0x7F) {
            shown = std::string("'") + static_cast<char>(byte) + "'";
        } else {
            escape_byte(shown, byte);
        }
        return shown + " is not a hex digit";
    }
    case line_fault::few_digits:
    case line_fault::many_digits:
        return counted(found.detail, "hex digit", "hex digits") + "; a value takes 8";
    case line_fault::lone_carriage_return:
        return "ends in a CR without an LF";
    }
    return "not a line of \"uv=\" and 8 hex digits";
}

std::string exists_hint(bool can_append)
{
    return can_append ? "already exists; use --force to replace it or --append to add to it"
                      : "already exists; use --force to replace it";
}

std::string reason_of(const failure& failed, bool can_append)
{
    const io_error cause = failed.cause.value_or(io_error{});
    switch (failed.kind) {
    case failure_kind::cannot_read:
        return io_text(cause);
    case failure_kind::cannot_write: {
        const std::string where = failed.cause_in.empty() ? "" : shown_path(failed.cause_in) + ": ";
        return failed.undo ? where + io_text(cause) + "; cutting the file back failed too: " + io_text(*failed.undo)
                           : where + io_text(cause);
    }
    case failure_kind::same_file:
        return "output would overwrite the input it is made from";
    case failure_kind::exists:
        return exists_hint(can_append);
    case failure_kind::lock_timeout:
        return "another program kept it in use for " + seconds(failed.waited) + "; gave up waiting";
    case failure_kind::name_kept_changing:
        return "its name kept vanishing and reappearing while it was written";
    }
    return {};
}

std::string reason_of(const refusal& refused)
{
    switch (refused.kind) {
    case refusal_kind::short_table:
        return "holds " + std::to_string(refused.bytes) + " bytes; a table takes " + std::to_string(TABLE_BYTES);
    case refusal_kind::not_as_written:
        return "not in the form txconv writes";
    case refusal_kind::binary_to_terminal:
        return "a table is not written to a terminal; redirect it, or use --force";
    case refusal_kind::no_such_image:
        return "holds " + counted(refused.tables, "table", "tables") + "; there is no table " +
               std::to_string(refused.wanted);
    case refusal_kind::shared_output:
        return "its output " + shown_input(refused.output) + " is also that of " + shown_input(refused.earlier) +
               ", converted before it; a file is not written twice in one run";
    }
    return {};
}

const subject& subject_of(const job_failure& failed)
{
    return std::visit([](const auto& f) -> const subject& { return f.about; }, failed);
}

std::string reason_of(const job_failure& failed, bool can_append)
{
    if (const auto* file = std::get_if<failure>(&failed)) {
        return reason_of(*file, can_append);
    }
    return reason_of(std::get<refusal>(failed));
}

} // namespace

std::string counted(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string_view notice_headline(const job_failure& failed)
{
    if (const auto* refused = std::get_if<refusal>(&failed)) {
        return refused->kind == refusal_kind::short_table     ? NOTICE_SHORT_TABLE
               : refused->kind == refusal_kind::shared_output ? NOTICE_CANNOT_WRITE
                                                              : NOTICE_CANNOT_OPEN;
    }
    switch (std::get<failure>(failed).kind) {
    case failure_kind::cannot_read:
        return NOTICE_CANNOT_OPEN;
    case failure_kind::same_file:
        return NOTICE_SAME_FILE;
    case failure_kind::cannot_write:
    case failure_kind::exists:
    case failure_kind::lock_timeout:
    case failure_kind::name_kept_changing:
        break;
    }
    return NOTICE_CANNOT_WRITE;
}

std::string failure_line(const job_failure& failed, bool can_append)
{
    // The notice's first line says which side failed; the console line says
    // it in words.
    const auto* file = std::get_if<failure>(&failed);
    const std::string side = file == nullptr                            ? ""
                             : file->kind == failure_kind::cannot_read  ? "cannot be read: "
                             : file->kind == failure_kind::cannot_write ? "cannot be written: "
                                                                        : "";
    return shown_input(subject_of(failed)) + ": " + side + reason_of(failed, can_append);
}

std::string failure_notice(const job_failure& failed)
{
    return std::string(notice_headline(failed)) + "\n" + shown_input(subject_of(failed)) + "\n" +
           reason_of(failed, true);
}

std::string warning_for(const subject& about, const finding& found)
{
    const std::string shown = shown_input(about);
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
    case finding_kind::cut_short_table:
        return shown + ": holds " + std::to_string(count) +
               " bytes: " + counted(count / TABLE_BYTES, "table", "tables") + " and " +
               counted(count % TABLE_BYTES, "byte", "bytes") + " of one cut short";
    case finding_kind::goes_on:
        return shown + ": goes on past what a table needs; read no further";
    case finding_kind::short_field:
    case finding_kind::short_table:
    case finding_kind::bad_line:
    case finding_kind::more_bad_lines:
    case finding_kind::line_count:
        break;
    }
    return {};
}

std::string departure_line(const subject& about, const finding& found)
{
    const std::string shown = shown_input(about);
    switch (found.kind) {
    case finding_kind::bad_line:
        return shown + ":" + std::to_string(found.line) +
               (found.column != 0 ? ":" + std::to_string(found.column) : std::string()) + ": " + fault_words(found);
    case finding_kind::more_bad_lines:
        return shown + ": " + counted(found.count, "more such line", "more such lines");
    case finding_kind::line_count:
        return shown + ": holds " + counted(found.count, "line", "lines") + "; a listing takes " +
               std::to_string(TABLE_SLOTS);
    case finding_kind::beyond_table:
    case finding_kind::short_table:
        return shown + ": holds " + std::to_string(found.count) + " bytes; a table file takes " +
               std::to_string(TABLE_BYTES);
    case finding_kind::goes_on:
        return shown + ": goes on past what a table needs; a table file takes " + std::to_string(TABLE_BYTES) +
               " bytes";
    default:
        return warning_for(about, found);
    }
}

std::string added_line(const subject& output, direction way, std::uint64_t held_before)
{
    // Said after every menu conversion: built in one string, as cheaply as
    // the conversion itself.
    const bool table = way == direction::to_table;
    const std::string_view what = table ? "table" : "listing";
    std::string line;
    line.reserve(128);
    line.append(DIAGNOSTIC_PREFIX).append(shown_input(output)).append(": ").append(what);
    if (held_before == 0) {
        return line.append(" written\n");
    }
    const std::uint64_t unit = table ? TABLE_BYTES : LISTING_BYTES;
    const std::uint64_t holds = held_before + unit;
    line.append(" appended; it now holds ");
    if (holds % unit == 0) {
        line.append(std::to_string(holds / unit)).append(" ").append(what).append("s, and programs read the first");
    } else {
        line.append(std::to_string(holds))
            .append(" bytes, and programs read ")
            .append(table ? "its first 380" : "its first 95 values");
    }
    return line.append("\n");
}

std::string waiting_line(const subject& about)
{
    return shown_input(about) + ": waiting for another program to release it";
}

std::string late_close_line(const subject& about, io_error cause)
{
    return shown_input(about) + ": closing it failed after its bytes were safely written: " + io_text(cause);
}

std::string ok_line(const subject& input)
{
    return shown_input(input) + ": ok";
}

std::string converted_line(const subject& input, const subject& output)
{
    return shown_input(input) + " -> " + shown_input(output);
}

std::string replace_question(const subject& target)
{
    return shown_input(target) + " already exists.\n\nReplace it?";
}

std::string closing_notice(std::span<const std::string> added_to, std::span<const warned_output> outputs,
                           std::span<const std::string> warnings)
{
    std::string text;
    for (const std::string& line : added_to) {
        text += line + "\n";
    }
    if (!added_to.empty() && !outputs.empty()) {
        text += "\n";
    }
    for (const warned_output& output : outputs) {
        text +=
            shown_input(output.output) + ": written, with " + counted(output.warnings, "warning", "warnings") + "\n";
    }
    for (std::size_t i = 0; i < warnings.size() && i < QUOTED_WARNINGS; ++i) {
        text += "\n" + warnings[i];
    }
    if (warnings.size() > QUOTED_WARNINGS) {
        text += "\n(" + std::to_string(warnings.size() - QUOTED_WARNINGS) + " more)";
    }
    return text;
}

// Standard error is the last place to report to: when it cannot be written
// there is nobody left to tell, and the exit status still says what happened.
void print_diagnostic(std::string_view line)
{
    std::string text(DIAGNOSTIC_PREFIX);
    text += line;
    text += '\n';
    (void)write_console(console_stream::error, text);
}

} // namespace txconv
