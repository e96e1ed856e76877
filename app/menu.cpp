#include "app/menu.hpp"
#include "app/translation.hpp"

#include "app/messages.hpp"

#include <algorithm>
#include <cstdlib>

namespace txconv {

menu_choice parse_choice(std::string_view answer)
{
    // White space, then a sign: a minus, left where it stands, reads as no
    // digit, as the number it signs is neither 1 nor 2.
    answer.remove_prefix(std::min(answer.find_first_not_of(" \t\n\v\f\r"), answer.size()));
    answer.remove_prefix(answer.starts_with('+') ? 1 : 0);
    // Only 1 and 2 matter, so the value stops growing once it is past them:
    // no answer, however long, can wrap round to either.
    int value = 0;
    for (; !answer.empty() && answer.front() >= '0' && answer.front() <= '9' && value <= 2; answer.remove_prefix(1)) {
        value = (value * 10) + (answer.front() - '0');
    }
    return value == 1 ? menu_choice::txt_to_tx : value == 2 ? menu_choice::tx_to_txt : menu_choice::none;
}

int run_menu(std::span<const path_string> paths)
{
    // The menu is a prompt: a console that cannot show it does not change
    // which answer arrives, so the run goes on by that answer.
    (void)write_console(standard_stream::output, MENU);
    const io_expected<console_line> answer = read_console_line();
    const menu_choice choice = answer ? parse_choice(answer->text) : menu_choice::none;
    std::string shown;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        shown += (i > 0 ? "\n" : "") + shown_path(paths[i]);
    }
    notify(shown);
    if (!answer) {
        print_diagnostic(failure_line(cannot_read(subject::standard_input(), answer.error())));
        return EXIT_FAILURE;
    }
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
        task.inputs = {{.from = {subject_kind::file, path}, .way = way}};
        task.output.to = {subject_kind::file, output_name_for(name_as_opened(path), made_extension(way))};
    }
    const run_summary summary = run_jobs(jobs, {.notices = true});
    if ((!summary.warned.empty() || !summary.added_to.empty()) && console_closes_with_process()) {
        notify(closing_notice(summary.added_to, summary.warned, summary.warnings),
               summary.warnings.empty() ? notice_icon::none : notice_icon::warning);
    }
    return summary.any_failed() ? EXIT_FAILURE : EXIT_SUCCESS;
}

} // namespace txconv
