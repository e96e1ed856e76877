#include "platform/user_language.hpp"

#include <windows.h>

namespace txconv {

ui_language user_language()
{
    // Simplified Chinese is that of China and of Singapore; Taiwan's, Hong
    // Kong's and Macao's is traditional, which these words are not.
    static const ui_language chosen = [] {
        const LANGID id = ::GetUserDefaultUILanguage();
        const bool simplified = PRIMARYLANGID(id) == LANG_CHINESE && (SUBLANGID(id) == SUBLANG_CHINESE_SIMPLIFIED ||
                                                                      SUBLANGID(id) == SUBLANG_CHINESE_SINGAPORE);
        return simplified ? ui_language::simplified_chinese : ui_language::english;
    }();
    return chosen;
}

} // namespace txconv
