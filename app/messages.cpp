#include "app/messages.hpp"

#include "app/translation.hpp"

#include <algorithm>

namespace txconv {

namespace {

// The words for the reasons that are txconv's own, in io_reason's order;
// for the rest, the system's code says it.
constexpr std::string_view IO_WORDS[] = {
    tr_later("is a symbolic link; not followed"),
    tr_later("is not a regular file"),
    tr_later("the system accepted no bytes"),
    tr_later("was closed when txconv started"),
    tr_later("is a folder"),
    tr_later("is a name Windows keeps for a device; no file of that name is made or read"),
    tr_later("names an alternate data stream, which txconv does not write"),
    tr_later("is read-only; clear that first to replace it"),
    tr_later("its links go round in a loop and lead to no file"),
    tr_later("another file took its name after txconv decided to replace it; left alone"),
    tr_later("is written inside a file whose bytes cannot be read back, so a failed write could not be undone"),
    tr_later("no file matches it"),
};
static_assert(std::size(IO_WORDS) == static_cast<std::size_t>(io_reason::system));

// The system's reason is in the user's language where the catalog has it:
// po/system_reasons.cpp lists for the catalog the ones that POSIX systems
// give for what happens to files.
std::string io_text(io_error error)
{
    const auto own = static_cast<std::size_t>(error.reason);
    return std::string(own < std::size(IO_WORDS) ? tr(IO_WORDS[own]) : tr(system_message(error.code)));
}

std::string reason_of(const failure& failed, bool can_append)
{
    const io_error cause = failed.cause;
    switch (failed.kind) {
    case failure_kind::cannot_read:
    case failure_kind::cannot_write:
        return (failed.cause_in.empty() ? "" : shown_path(failed.cause_in) + ": ") +
               (failed.undo
                    ? fill(tr("%s; cutting the file back failed too: %s"), {io_text(cause), io_text(*failed.undo)})
                    : io_text(cause));
    case failure_kind::same_file:
        return std::string(tr("output would overwrite the input it is made from"));
    case failure_kind::exists:
        return std::string(can_append ? tr("already exists; use --force to replace it or --append to add to it")
                                      : tr("already exists; use --force to replace it"));
    case failure_kind::lock_timeout: {
        const auto ms = static_cast<std::uint64_t>(failed.waited.count());
        return fill(tr("another program kept it in use for %s; gave up waiting"),
                    {ms % 1000 == 0 ? counted(ms / 1000, tr("%s s")) : counted(ms, tr("%s ms"))});
    }
    case failure_kind::name_kept_changing:
        return std::string(tr("its name kept vanishing and reappearing while it was written"));
    case failure_kind::endless:
        return failed.read == 0
                   ? std::string(tr("a stream is read no further than 64 MiB, which cannot hold that table"))
                   : counted(failed.read, tr("read %s bytes, and it went on without giving the table asked for"));
    }
    return {};
}

std::string reason_of(const refusal& refused)
{
    switch (refused.kind) {
    case refusal_kind::short_table:
        return fill(tr("holds %s bytes; a table takes %s"),
                    {std::to_string(refused.bytes), std::to_string(TABLE_BYTES)});
    case refusal_kind::not_as_written:
        return std::string(tr("not in the form txconv writes"));
    case refusal_kind::binary_to_terminal:
        return std::string(tr("a table is not written to a terminal; redirect it, or use --force"));
    case refusal_kind::no_such_table:
        return fill(
            trn("holds %s table; there is no table %s", "holds %s tables; there is no table %s", refused.tables),
            {std::to_string(refused.tables), std::to_string(refused.wanted)});
    case refusal_kind::shared_output:
        return fill(tr("its output %s is also that of %s, converted before it; a file is not written twice in one run"),
                    {shown_input(refused.output), shown_input(refused.earlier)});
    case refusal_kind::unmarked_utf16:
        return std::string(tr("is UTF-16 without a byte order mark, which cannot be told from other bytes for "
                              "sure; save it as UTF-8, ANSI or Unicode (with its mark)"));
    case refusal_kind::out_of_memory:
        return std::string(tr("not converted: out of memory"));
    case refusal_kind::out_of_memory_writing:
        return std::string(tr("out of memory while its output was written; it may or may not hold the new bytes"));
    }
    return {};
}

const subject& subject_of(const job_failure& failed)
{
    return std::visit([](const auto& f) -> const subject& { return f.about; }, failed);
}

std::string reason_of(const job_failure& failed, bool can_append)
{
    const auto* file = std::get_if<failure>(&failed);
    return file != nullptr ? reason_of(*file, can_append) : reason_of(std::get<refusal>(failed));
}

// The notice that a file cannot be opened: the same in every language.
constexpr std::string_view NOTICE_CANNOT_OPEN = "错误：无法打开文件";

// The first line of a failure's notice.
std::string_view notice_headline(const job_failure& failed)
{
    if (const auto* refused = std::get_if<refusal>(&failed)) {
        return refused->kind == refusal_kind::short_table     ? tr("Error: the table file is incomplete")
               : refused->kind == refusal_kind::shared_output ? tr("Error: cannot write the file")
                                                              : NOTICE_CANNOT_OPEN;
    }
    // Every other failure is the output's.
    const failure_kind kind = std::get<failure>(failed).kind;
    return kind == failure_kind::cannot_read || kind == failure_kind::endless ? NOTICE_CANNOT_OPEN
           : kind == failure_kind::same_file ? tr("Error: the output file is the input file")
                                             : tr("Error: cannot write the file");
}

} // namespace

std::string_view utf8_prefix(std::string_view text, std::size_t count)
{
    while (count > 0 && count < text.size() && (static_cast<unsigned char>(text[count]) & 0xC0U) == 0x80U) {
        --count;
    }
    return text.substr(0, count);
}

std::string_view utf8_suffix(std::string_view text, std::size_t count)
{
    std::size_t from = text.size() - count;
    while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0U) == 0x80U) {
        ++from;
    }
    return text.substr(from);
}

std::string counted(std::uint64_t count, std::string_view pattern)
{
    return fill(pattern, {std::to_string(count)});
}

std::string failure_line(const job_failure& failed, bool can_append)
{
    // The notice's first line says which side failed; the console line says
    // it in words.
    const std::string reason = reason_of(failed, can_append);
    const auto* file = std::get_if<failure>(&failed);
    const bool read =
        file != nullptr && (file->kind == failure_kind::cannot_read || file->kind == failure_kind::endless);
    const std::string said = file == nullptr                            ? reason
                             : read                                     ? fill(tr("cannot be read: %s"), {reason})
                             : file->kind == failure_kind::cannot_write ? fill(tr("cannot be written: %s"), {reason})
                                                                        : reason;
    return shown_input(subject_of(failed)) + ": " + said;
}

void notify_failure(const job_failure& failed)
{
    // The notice that a file cannot be opened reads as it always has.
    const std::string_view headline = notice_headline(failed);
    notify(notices_share_the_console()
               ? std::string(headline)
               : std::string(headline) + "\n" + shown_input(subject_of(failed)) + "\n" + reason_of(failed, true),
           headline == NOTICE_CANNOT_OPEN ? notice_icon::none : notice_icon::error);
}

std::string added_line(const subject& output, direction way, std::uint64_t held_before, bool utf16)
{
    const bool table = way == direction::to_table;
    const std::string shown = shown_input(output) + ": ";
    if (held_before == 0) {
        return shown + std::string(table ? tr("table written") : tr("listing written"));
    }
    // A listing in UTF-16 takes two bytes a character, behind a mark of two.
    const std::uint64_t unit = table ? TABLE_BYTES : LISTING_BYTES * (utf16 ? 2 : 1);
    const std::uint64_t mark = utf16 ? 2 : 0;
    if (held_before > mark && (held_before - mark) % unit == 0) {
        return shown + fill(table ? tr("table appended; it now holds %s tables, and programs read the first")
                                  : tr("listing appended; it now holds %s listings, and programs read the first"),
                            {std::to_string(((held_before - mark) / unit) + 1)});
    }
    return shown + fill(table ? tr("table appended; it now holds %s bytes, and programs read its first 380")
                              : tr("listing appended; it now holds %s bytes, and programs read its first 95 values"),
                        {std::to_string(held_before + unit)});
}

std::string batch_line(std::size_t files, std::size_t converted, std::size_t left_alone, std::size_t failed)
{
    // TRANSLATORS: how many files, then what became of them; and each next
    // part of that list. The punctuation is the language's own.
    std::string line = fill(tr("%s: %s"), {counted(files, trn("%s file", "%s files", files)),
                                           counted(converted, trn("%s converted", "%s converted", converted))});
    if (left_alone > 0) {
        line = fill(tr("%s, %s"), {line, counted(left_alone, trn("%s left alone (its output exists)",
                                                                 "%s left alone (their outputs exist)", left_alone))});
    }
    if (failed > 0) {
        line = fill(tr("%s, %s"), {line, counted(failed, trn("%s failed", "%s failed", failed))});
    }
    return line;
}

std::string late_close_line(const subject& about, io_error cause)
{
    return shown_input(about) + ": " +
           fill(tr("closing it failed after its bytes were safely written: %s"), {io_text(cause)});
}

std::string closing_notice(std::span<const std::string> added_to, std::span<const warned_output> outputs,
                           std::span<const std::string> warnings)
{
    std::string text;
    for (const std::string& line : added_to) {
        text += line + "\n";
    }
    text += !added_to.empty() && !outputs.empty() ? "\n" : "";
    for (const warned_output& output : outputs) {
        text +=
            shown_input(output.output) + ": " +
            counted(output.warnings, trn("written, with %s warning", "written, with %s warnings", output.warnings)) +
            "\n";
    }
    for (std::size_t i = 0; i < warnings.size() && i < QUOTED_WARNINGS; ++i) {
        text += "\n" + warnings[i];
    }
    if (warnings.size() > QUOTED_WARNINGS) {
        text += "\n" + fill(tr("(%s more)"), {std::to_string(warnings.size() - QUOTED_WARNINGS)});
    }
    return text;
}

std::string fitted_notice(std::string_view text)
{
    constexpr std::size_t LINES = 20;
    constexpr std::size_t WIDTH = 150;
    const auto lines = static_cast<std::size_t>(std::ranges::count(text, '\n')) + 1;
    // Saying that one line more follows would take that line's place.
    const std::size_t shown = lines > LINES + 1 ? LINES : lines;
    std::string fitted;
    for (std::size_t at = 0, n = 0; n < shown; ++n) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        // Both ends of a long line matter: a path's folder and its name.
        fitted += n > 0 ? "\n" : "";
        fitted += line.size() <= WIDTH ? std::string(line)
                                       : std::string(utf8_prefix(line, WIDTH / 3)) + "..." +
                                             std::string(utf8_suffix(line, WIDTH - (WIDTH / 3) - 3));
        at = end + 1;
    }
    return shown < lines ? fitted + "\n" + fill(tr("(%s more lines)"), {std::to_string(lines - LINES)}) : fitted;
}

void notify(std::string_view text, notice_icon icon)
{
    show_notice(fitted_notice(text), tr("[press Enter]"), icon);
}

// Standard error is the last place to report to: when it cannot be written
// there is nobody left to tell, and the exit status still says what happened.
void print_diagnostic(std::string_view line)
{
    print_line(line, "txconv: ");
}

void print_line(std::string_view line, std::string_view before)
{
    (void)write_console(standard_stream::error, std::string(before).append(line).append("\n"));
}

} // namespace txconv
