#pragma once

#include <cstddef>

namespace txconv {

// Memory straight from the system, for a buffer that lives as long as the
// process: no heap bookkeeping, and no pages until they are touched. Null
// where the system has none to give.
void* map_pages(std::size_t bytes);

} // namespace txconv
