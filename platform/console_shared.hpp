#pragma once

// What both platforms' consoles share; not for the layers above.

#include <cstdio>
#include <string_view>

namespace txconv {

// Writes text through the C library and flushes it; false unless all of it
// went out.
inline bool write_stream(std::FILE* to, std::string_view text)
{
    const bool written = std::fwrite(text.data(), 1, text.size(), to) == text.size();
    return std::fflush(to) == 0 && written;
}

} // namespace txconv
