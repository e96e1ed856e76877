#include "app/menu.hpp"

#include "app/report.hpp"
#include "convert/conversions.hpp"
#include "platform/console.hpp"
#include "platform/notice.hpp"

#include <cstdlib>
#include <string>
#include <vector>

namespace txconv {

namespace {

bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The failure notice: its own first line, then which file and why.
std::string notice_for(const failure& failed)
{
    return std::string(failed.notice) + "\n" + failed.subject + "\n" + failed.reason;
}

// An output that was written although its input warned.
struct warned_output {
    std::string name;
    std::size_t warnings = 0;
};

// The closing notice for a console that closes with the process: what was
// written, the first few warnings and how many there were.
std::string warnings_notice(const std::vector<warned_output>& outputs, const std::vector<std::string>& warnings)
{
    std::string text;
    for (const warned_output& output : outputs) {
        text += output.name + ": written, with " + std::to_string(output.warnings) +
                (output.warnings == 1 ? " warning\n" : " warnings\n");
    }
    for (std::size_t i = 0; i < warnings.size() && i < QUOTED_WARNINGS; ++i) {
        text += "\n" + warnings[i];
    }
    if (warnings.size() > QUOTED_WARNINGS) {
        text += "\n(" + std::to_string(warnings.size() - QUOTED_WARNINGS) + " more)";
    }
    return text;
}

} // namespace

void answer_reader::feed(char c)
{
    switch (stage_) {
    case stage::spaces:
        if (is_space(c)) {
            return;
        }
        stage_ = stage::digits;
        if (c == '+' || c == '-') {
            negative_ = c == '-';
            return;
        }
        [[fallthrough]];
    case stage::digits:
        if (!is_digit(c)) {
            stage_ = stage::done;
        } else if (value_ <= 2) {
            // Only 1 and 2 matter, so the value stops growing once it is past
            // them; leading zeros still count as nothing.
            value_ = value_ * 10 + (c - '0');
        }
        return;
    case stage::done:
        return;
    }
}

menu_choice answer_reader::choice() const
{
    if (negative_) {
        return menu_choice::none;
    }
    switch (value_) {
    case 1:
        return menu_choice::txt_to_tx;
    case 2:
        return menu_choice::tx_to_txt;
    default:
        return menu_choice::none;
    }
}

menu_choice parse_choice(std::string_view answer)
{
    answer_reader reader;
    for (const char c : answer) {
        reader.feed(c);
    }
    return reader.choice();
}

menu_choice read_choice(std::FILE* in)
{
    answer_reader reader;
    std::size_t count = 0;
    for (int c = std::getc(in); c != EOF && c != '\n' && count < CONSOLE_LINE_LIMIT; c = std::getc(in), ++count) {
        reader.feed(static_cast<char>(c));
    }
    return reader.choice();
}

int run_menu(std::span<const path_string> paths)
{
    // The menu is a prompt: a console that cannot show it does not change
    // which answer arrives, so the run goes on by that answer.
    (void)write_console(console_stream::output, MENU);
    const menu_choice choice = read_choice(stdin);
    std::string shown;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) {
            shown += '\n';
        }
        shown += display_path(paths[i]);
    }
    show_notice(shown);
    if (choice == menu_choice::none) {
        return EXIT_SUCCESS;
    }

    std::vector<std::string> file_warnings;
    output_writer writer(print_diagnostic);
    converter runner(writer, [&](const std::string& warning) {
        print_diagnostic(warning);
        file_warnings.push_back(warning);
    });
    std::vector<warned_output> warned;
    std::vector<std::string> warnings;
    const direction way = choice == menu_choice::txt_to_tx ? direction::to_table : direction::to_listing;
    bool any_failed = false;
    for (const path_string& path : paths) {
        file_warnings.clear();
        outcome result;
        (choice == menu_choice::txt_to_tx ? txt_to_tx : tx_to_txt)(runner, path,
                                                                   [&](const outcome& ended) { result = ended; });
        // One file at a time: its notice comes before the next one starts.
        writer.flush();
        if (result) {
            print_failure(*result);
            show_notice(notice_for(*result));
            any_failed = true;
        } else if (!file_warnings.empty()) {
            warned.push_back({display_path(output_name_for(path, made_extension(way))), file_warnings.size()});
            warnings.insert(warnings.end(), file_warnings.begin(), file_warnings.end());
        }
    }
    if (!warned.empty() && console_closes_with_process()) {
        show_notice(warnings_notice(warned, warnings));
    }
    return any_failed ? EXIT_FAILURE : EXIT_SUCCESS;
}

} // namespace txconv
