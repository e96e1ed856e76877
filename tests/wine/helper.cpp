// A small Windows program for the Wine tests: it sets up for txconv.exe what a
// test cannot set up from Linux.
//
//   wine_helper console CODEPAGE ANSWER COMMAND...
//       Runs COMMAND on a console of its own whose output code page is
//       CODEPAGE, with ANSWER and a line end as its standard input, and prints
//       what the console's screen then shows, as UTF-8. Exits as COMMAND did.
//   wine_helper new-console ANSWER COMMAND...
//       Runs COMMAND in a new console that only it uses, as Explorer does for
//       a file dropped on an .exe, with ANSWER as its standard input.
//   wine_helper hold-alone PATH SECONDS
//       The same, sharing nothing, as an editor that keeps a file to itself.
//   wine_helper hold PATH SECONDS
//       Opens PATH for reading and writing, sharing both but not deletion, as
//       a log viewer might; prints "holding" and keeps it open for SECONDS.
//   wine_helper hold-locked PATH SECONDS
//       The same, with the whole file locked, as a program that writes it.
//
// In COMMAND, \uXXXX stands for that UTF-16 unit: Wine reads a Linux
// command line in the Linux locale's character set, which a test that runs
// Wine in a Chinese locale the machine lacks cannot rely on.

#include <cwchar>
#include <string>

#include <windows.h>

namespace {

std::string utf8(const std::wstring& text)
{
    const int in = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, out.data(), size, nullptr, nullptr);
    return out;
}

void write_all(HANDLE to, const std::string& bytes)
{
    DWORD put = 0;
    ::WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
}

std::wstring unescape(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, L"\\u") == 0 && i + 6 <= text.size()) {
            out.push_back(static_cast<wchar_t>(std::wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16)));
            i += 5;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::wstring command_line(int argc, wchar_t** argv, int from)
{
    std::wstring line;
    for (int i = from; i < argc; ++i) {
        line += (i > from ? L" \"" : L"\"") + unescape(argv[i]) + L"\"";
    }
    return line;
}

// A pipe holding answer and a line end, to be the child's standard input.
HANDLE answer_pipe(const std::wstring& answer)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ::CreatePipe(&read, &write, &inherit, 0);
    ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    write_all(write, utf8(answer) + "\r\n");
    ::CloseHandle(write);
    return read;
}

DWORD run(std::wstring command, HANDLE in, HANDLE out, DWORD flags)
{
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = out;
    start.hStdError = out;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &start, &process)) {
        return 255;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 255;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return code;
}

int on_console(int argc, wchar_t** argv)
{
    const HANDLE report = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::FreeConsole();
    ::AllocConsole();
    ::SetConsoleOutputCP(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 10)));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE screen = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherit, OPEN_EXISTING, 0, nullptr);
    const DWORD code = run(command_line(argc, argv, 4), answer_pipe(argv[3]), screen, 0);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ::GetConsoleScreenBufferInfo(screen, &info);
    std::wstring text;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
        DWORD got = 0;
        ::ReadConsoleOutputCharacterW(screen, line.data(), static_cast<DWORD>(line.size()), COORD{0, row}, &got);
        line.resize(got);
        while (!line.empty() && line.back() == L' ') {
            line.pop_back();
        }
        text += line + L"\n";
    }
    write_all(report, utf8(text));
    return static_cast<int>(code);
}

int on_new_console(int argc, wchar_t** argv)
{
    return static_cast<int>(run(command_line(argc, argv, 3), answer_pipe(argv[2]), nullptr, CREATE_NEW_CONSOLE));
}

int hold(wchar_t** argv, DWORD sharing, bool locked = false)
{
    const HANDLE file =
        ::CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED whole{};
    if (file == INVALID_HANDLE_VALUE ||
        (locked && !::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))) {
        return 1;
    }
    write_all(::GetStdHandle(STD_OUTPUT_HANDLE), "holding\n");
    ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) * 1000);
    ::CloseHandle(file);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"console" && argc > 4) {
        return on_console(argc, argv);
    }
    if (what == L"new-console" && argc > 3) {
        return on_new_console(argc, argv);
    }
    if (what == L"hold" && argc == 4) {
        return hold(argv, FILE_SHARE_READ | FILE_SHARE_WRITE);
    }
    if (what == L"hold-alone" && argc == 4) {
        return hold(argv, 0);
    }
    if (what == L"hold-locked" && argc == 4) {
        return hold(argv, FILE_SHARE_READ | FILE_SHARE_WRITE, true);
    }
    return 2;
}
