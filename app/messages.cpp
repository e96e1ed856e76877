#include "app/messages.hpp"

#include "convert/table_format.hpp"
#include "platform/console.hpp"

namespace txconv {

namespace {

constexpr std::string_view NOTICE_CANNOT_OPEN = "错误：无法打开文件";
constexpr std::string_view NOTICE_CANNOT_WRITE = "错误：无法写入文件";
constexpr std::string_view NOTICE_SAME_FILE = "错误：输出文件与输入文件相同";
constexpr std::string_view NOTICE_SHORT_TABLE = "错误：表文件不完整";

std::string io_text(io_result result)
{
    switch (result.reason) {
    case io_reason::none:
        return "done";
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
    case io_reason::system:
    case io_reason::missing:
    case io_reason::exists:
    case io_reason::busy:
        break;
    }
    return system_message(result.code);
}

std::string seconds(std::uint64_t milliseconds)
{
    return milliseconds % 1000 == 0 ? std::to_string(milliseconds / 1000) + " s" : std::to_string(milliseconds) + " ms";
}

} // namespace

std::string counted(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string shown_path(const path_string& path)
{
    // A name may hold anything but '/' and NUL; a terminal must not take a
    // control character in it as a command. Escaped as ls -b does.
    const std::string text = display_path(path);
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += '\\';
            shown += static_cast<char>('0' + (byte >> 6U));
            shown += static_cast<char>('0' + ((byte >> 3U) & 7U));
            shown += static_cast<char>('0' + (byte & 7U));
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string_view notice_headline(const failure& failed)
{
    switch (failed.kind) {
    case failure_kind::cannot_write:
    case failure_kind::exists:
    case failure_kind::shared_output:
    case failure_kind::lock_timeout:
    case failure_kind::name_unsteady:
        return NOTICE_CANNOT_WRITE;
    case failure_kind::same_file:
        return NOTICE_SAME_FILE;
    case failure_kind::short_table:
        return NOTICE_SHORT_TABLE;
    default:
        return NOTICE_CANNOT_OPEN;
    }
}

bool is_standard_stream(const path_string& path)
{
    return path.size() == 1 && path[0] == path_char('-');
}

std::string shown_input(const path_string& path)
{
    return is_standard_stream(path) ? "standard input" : shown_path(path);
}

std::string subject_of(const failure& failed)
{
    if (!is_standard_stream(failed.path)) {
        return shown_path(failed.path);
    }
    const bool output_side = failed.kind != failure_kind::cannot_read && failed.kind != failure_kind::short_table &&
                             failed.kind != failure_kind::not_as_written;
    return output_side ? "standard output" : "standard input";
}

std::string failure_line(const failure& failed)
{
    // The notice's first line says which side failed; the console line says
    // it in words.
    const std::string side = failed.kind == failure_kind::cannot_read    ? "cannot be read: "
                             : failed.kind == failure_kind::cannot_write ? "cannot be written: "
                                                                         : "";
    return subject_of(failed) + ": " + side + reason_of(failed);
}

std::string reason_of(const failure& failed)
{
    switch (failed.kind) {
    case failure_kind::cannot_read:
        return io_text(failed.cause);
    case failure_kind::cannot_write:
        return failed.undo.ok() ? io_text(failed.cause)
                                : io_text(failed.cause) + "; cutting the file back failed too: " + io_text(failed.undo);
    case failure_kind::same_file:
        return "output would overwrite the input it is made from";
    case failure_kind::exists:
        return "already exists; use --force to replace it or --append to add to it";
    case failure_kind::lock_timeout:
        return "another program kept it in use for " + seconds(failed.count) + "; gave up waiting";
    case failure_kind::name_unsteady:
        return "its name kept vanishing and reappearing while it was written";
    case failure_kind::shared_output:
        return "its output " + shown_path(failed.other_output) + " is also that of " + shown_path(failed.other) +
               ", converted before it; a file is not written twice in one run";
    case failure_kind::short_table:
        return "holds " + std::to_string(failed.count) + " bytes; a table takes " + std::to_string(TABLE_BYTES);
    case failure_kind::not_as_written:
        return "not in the form txconv writes";
    case failure_kind::binary_to_terminal:
        return "a table is not written to a terminal; redirect it, or use --force";
    case failure_kind::no_such_image:
        return "holds " + counted(failed.count, "table", "tables") + "; there is no table " +
               std::to_string(failed.line);
    }
    return {};
}

std::string failure_notice(const failure& failed)
{
    return std::string(notice_headline(failed)) + "\n" + subject_of(failed) + "\n" + reason_of(failed);
}

std::string waiting_line(const path_string& path)
{
    return shown_path(path) + ": waiting for another program to release it";
}

std::string late_close_line(const path_string& path, io_result cause)
{
    return shown_path(path) + ": closing it failed after its bytes were safely written: " + io_text(cause);
}

std::string ok_line(const path_string& input)
{
    return shown_input(input) + ": ok";
}

std::string converted_line(const path_string& input, const path_string* output)
{
    return shown_input(input) + " -> " + (output != nullptr ? shown_path(*output) : "standard output");
}

std::string warnings_notice(std::span<const warned_output> outputs, std::span<const std::string> warnings)
{
    std::string text;
    for (const warned_output& output : outputs) {
        text += output.name + ": written, with " + counted(output.warnings, "warning", "warnings") + "\n";
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
    std::string text = "txconv: ";
    text += line;
    text += '\n';
    (void)write_console(console_stream::error, text);
}

} // namespace txconv
