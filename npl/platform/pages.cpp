#include "npl/platform/pages.h"

#include <atomic>

#include "npl/platform/system_pages.h"

namespace npl::platform {

namespace {
std::atomic<int> injectedFailures{0};

bool TakeInjectedFailure()
{
    int pending = injectedFailures.load();
    while (pending != 0) {
        if (pending < 0)
            return true;
        if (injectedFailures.compare_exchange_weak(pending, pending - 1))
            return true;
    }
    return false;
}
} // namespace

void* AllocatePages(std::size_t size, PageAccess access)
{
    if (TakeInjectedFailure())
        return nullptr;
    return SystemAllocatePages(size, access);
}

void FreePages(void* address, std::size_t size)
{
    if (address != nullptr)
        SystemFreePages(address, size);
}

void InjectPageFailures(int count) { injectedFailures.store(count); }

} // namespace npl::platform
