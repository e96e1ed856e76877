#include "platform/memory.hpp"

#include <sys/mman.h>

namespace txconv {

void* map_pages(std::size_t bytes)
{
    void* pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

} // namespace txconv
