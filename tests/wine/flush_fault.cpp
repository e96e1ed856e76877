// The Windows txconv.exe with one seam: FlushFileBuffers fails on the call
// that TXCONV_FAIL_FLUSH counts (from 1), as a disk that cannot keep a name
// would. MinGW calls it through __imp_FlushFileBuffers, a pointer, so the
// linker's --wrap swaps that pointer for this one; the real one stays as
// __real___imp_FlushFileBuffers. (Calling FlushFileBuffers here would call
// this again, and so fail the first flush of all whatever the count.)
#include <cstdlib>

#include <windows.h>

extern "C" BOOL(WINAPI* __real___imp_FlushFileBuffers)(HANDLE);

namespace {

BOOL WINAPI flush_or_fail(HANDLE file)
{
    static long calls = 0;
    const char* nth = std::getenv("TXCONV_FAIL_FLUSH");
    if (nth != nullptr && ++calls == std::atol(nth)) {
        ::SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    return __real___imp_FlushFileBuffers(file);
}

} // namespace

extern "C" {
BOOL(WINAPI* __wrap___imp_FlushFileBuffers)(HANDLE) = flush_or_fail;
}
