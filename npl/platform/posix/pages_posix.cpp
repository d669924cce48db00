#include <sys/mman.h>

#include "npl/platform/system_pages.h"

namespace npl::platform {

void* SystemAllocatePages(std::size_t size, PageAccess)
{
    // Executable heap pages are a Win32 legacy nothing here relies on; keep them read-write.
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void SystemFreePages(void* address, std::size_t size)
{
    munmap(address, size);
}

} // namespace npl::platform
