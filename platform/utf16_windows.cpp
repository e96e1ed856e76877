#include "platform/utf16_windows.hpp"

#include <windows.h>

namespace txconv {

std::string narrow(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int in = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), in, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring widen(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int in = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), in, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), in, out.data(), units);
    return out;
}

} // namespace txconv
