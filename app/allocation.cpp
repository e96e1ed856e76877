// The executable's own allocation: a run makes a few dozen small allocations,
// nearly all of them at sizes the C library's heap has never seen, and each
// such first one costs it more than reading a field or writing a line. So
// the first few kilobytes come from a fixed arena, taken in order and never
// given back; the rest, and anything large, from the heap as usual. One
// thread only, as txconv is.
//
// Linked into the executable alone: the tests and the sanitizer builds keep
// the ordinary heap, which checks every allocation.
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t ARENA_BYTES = std::size_t{16} * 1024;
constexpr std::size_t ALIGNMENT = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

alignas(ALIGNMENT) unsigned char arena[ARENA_BYTES];
std::size_t arena_used = 0;

bool in_arena(const void* block)
{
    const auto* byte = static_cast<const unsigned char*>(block);
    return byte >= arena && byte < arena + ARENA_BYTES;
}

void* take(std::size_t size)
{
    const std::size_t rounded = (size + ALIGNMENT - 1) / ALIGNMENT * ALIGNMENT;
    if (rounded >= size && rounded <= ARENA_BYTES - arena_used) {
        void* block = arena + arena_used;
        arena_used += rounded;
        return block;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void give_back(void* block) noexcept
{
    if (!in_arena(block)) {
        std::free(block);
    }
}

} // namespace

void* operator new(std::size_t size)
{
    return take(size);
}

void* operator new[](std::size_t size)
{
    return take(size);
}

void operator delete(void* block) noexcept
{
    give_back(block);
}

void operator delete[](void* block) noexcept
{
    give_back(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    give_back(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    give_back(block);
}
