#include "platform/memory.hpp"

#include <windows.h>

namespace txconv {

void* map_pages(std::size_t bytes)
{
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

} // namespace txconv
