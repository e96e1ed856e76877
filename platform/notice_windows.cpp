#include "platform/notice.hpp"
#include "platform/utf16_windows.hpp"

#include <windows.h>

namespace txconv {

void show_notice(std::string_view text)
{
    const std::wstring wide = widen(text);
    ::MessageBoxW(nullptr, wide.c_str(), L"", MB_OK);
}

bool notices_share_the_console()
{
    return false;
}

} // namespace txconv
