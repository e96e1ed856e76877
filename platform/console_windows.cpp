#include "platform/console.hpp"
#include "platform/windows_shared.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace txconv {

namespace {

bool closed[3] = {};
constexpr DWORD STANDARD_IDS[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

// The windowed twin's console text, waiting for its notice.
bool gathering = false;
std::string gathered;

// Standard stream i's handle, where it is a console; else nothing. Only a
// console is a terminal: NUL and other character devices are not.
HANDLE console_of(int i)
{
    const HANDLE handle = ::GetStdHandle(STANDARD_IDS[i]);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

} // namespace

void prepare_process()
{
    // Windows has no signal for a write, and a standard handle that is
    // missing cannot be taken over by a file; it is only remembered.
    for (int i = 0; i < 3; ++i) {
        const HANDLE handle = ::GetStdHandle(STANDARD_IDS[i]);
        closed[i] = handle == nullptr || handle == INVALID_HANDLE_VALUE;
    }
}

bool closed_at_start(standard_stream stream)
{
    return closed[static_cast<int>(stream)];
}

bool is_terminal(standard_stream stream)
{
    return console_of(static_cast<int>(stream)) != nullptr;
}

io_expected<> write_console(standard_stream stream, std::string_view text)
{
    if (gathering) {
        gathered += text;
        return {};
    }
    const int i = static_cast<int>(stream);
    if (closed[i]) {
        return io_failed(io_reason::closed);
    }
    if (const HANDLE handle = console_of(i); handle != nullptr) {
        // A console shows UTF-16 right whatever its code page; bytes it
        // would read in that code page.
        const std::wstring wide = widen(text);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD put = 0;
            const auto count = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 16384));
            if (const BOOL ok = ::WriteConsoleW(handle, wide.data() + done, count, &put, nullptr); !ok || put == 0) {
                return ok ? io_failed(io_reason::no_progress) : from_last_error();
            }
            done += put;
        }
        return {};
    }
    // Redirected to a file or a pipe: UTF-8 bytes, through the C runtime,
    // whose text mode ends each line in CR LF, as Windows programs do.
    std::FILE* const to = stream == standard_stream::output ? stdout : stderr;
    const bool written = std::fwrite(text.data(), 1, text.size(), to) == text.size();
    return std::fflush(to) != 0 || !written ? io_expected<>(from_last_error()) : io_expected<>();
}

io_expected<console_line> read_console_line()
{
    console_line line;
    while (line.text.size() < CONSOLE_LINE_LIMIT) {
        const int c = std::getc(stdin);
        if (c == EOF) {
            return std::ferror(stdin) != 0 ? io_expected<console_line>(from_last_error()) : line;
        }
        if (c == '\n') {
            line.ended = true;
            break;
        }
        line.text += static_cast<char>(c);
    }
    return line;
}

bool console_closes_with_process()
{
    DWORD processes[2] = {};
    return ::GetConsoleProcessList(processes, 2) == 1;
}

// A message box has its OK button: the console's prompt is not needed. A
// plain notice has no caption, as a notice of the menu never had one.
void show_notice(std::string_view text, std::string_view /*prompt*/, notice_icon icon)
{
    const std::wstring wide = widen(text);
    const UINT style = icon == notice_icon::error ? MB_ICONERROR : icon == notice_icon::warning ? MB_ICONWARNING : 0;
    ::MessageBoxW(nullptr, wide.c_str(), icon == notice_icon::none ? L"" : L"txconv", MB_OK | style);
}

bool notices_share_the_console()
{
    return false;
}

void gather_console_text()
{
    gathering = true;
}

std::string take_gathered_text()
{
    return std::exchange(gathered, {});
}

bool ask_yes_no(std::string_view question)
{
    const std::wstring wide = widen(question);
    return ::MessageBoxW(nullptr, wide.c_str(), L"txconv", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

std::optional<bool> system_ui_is_chinese()
{
    // Simplified Chinese is that of China and of Singapore; Taiwan's, Hong
    // Kong's and Macao's is traditional, which these words are not.
    const LANGID id = ::GetUserDefaultUILanguage();
    return PRIMARYLANGID(id) == LANG_CHINESE &&
           (SUBLANGID(id) == SUBLANG_CHINESE_SIMPLIFIED || SUBLANGID(id) == SUBLANG_CHINESE_SINGAPORE);
}

} // namespace txconv
