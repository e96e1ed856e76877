#include "app/menu.hpp"
#include "app/translation.hpp"

#include "app/driver.hpp"
#include "app/messages.hpp"
#include "fileio/file_access.hpp"
#include "platform/console.hpp"

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

menu_choice read_choice()
{
    answer_reader reader;
    (void)read_console_line([&](char c) { reader.feed(c); });
    return reader.choice();
}

int run_menu(std::span<const path_string> paths)
{
    // The menu is a prompt: a console that cannot show it does not change
    // which answer arrives, so the run goes on by that answer.
    (void)write_console(console_stream::output, MENU);
    const menu_choice choice = read_choice();
    std::string shown;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) {
            shown += '\n';
        }
        shown += shown_path(paths[i]);
    }
    notify(shown);
    // Nothing to do is no failure, but it is said.
    if (choice == menu_choice::none || paths.empty()) {
        print_diagnostic(choice == menu_choice::none ? tr("nothing converted: the answer was not 1 or 2")
                                                     : tr("nothing converted: no file was given"));
        return EXIT_SUCCESS;
    }

    // Each result is appended next to its input, never written over.
    const direction way = choice == menu_choice::txt_to_tx ? direction::to_table : direction::to_listing;
    std::vector<job> jobs;
    for (const path_string& path : paths) {
        // Every path is a file here, "-" too: a drop names no stream.
        job& task = jobs.emplace_back();
        task.input = {.from = {subject_kind::file, path}, .way = way};
        task.output = {subject_kind::file, output_name_for(name_as_opened(path), made_extension(way))};
        task.mode = write_mode::append;
    }
    const run_summary summary = run_jobs(jobs, {.notices = true});
    if ((!summary.warned.empty() || !summary.added_to.empty()) && console_closes_with_process()) {
        notify(closing_notice(summary.added_to, summary.warned, summary.warnings));
    }
    return summary.any_failed ? EXIT_FAILURE : EXIT_SUCCESS;
}

} // namespace txconv
