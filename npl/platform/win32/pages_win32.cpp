#include <windows.h>

#include "npl/platform/system_pages.h"

namespace npl::platform {

void* SystemAllocatePages(std::size_t size, PageAccess access)
{
    DWORD protection = access == PageAccess::ReadWriteExecute ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, protection);
}

void SystemFreePages(void* address, std::size_t)
{
    VirtualFree(address, 0, MEM_RELEASE);
}

} // namespace npl::platform
