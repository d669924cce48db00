// The stack heap: a bump allocator over system pages for short-lived scratch memory. It has
// no lock and belongs to one thread at a time.
#include <cstdint>

#include "npl/debug_trace.h"
#include "npl/heap.h"
#include "npl/platform/pages.h"

namespace {

struct StackRegion {
    StackRegion* next; ///< next region of the extension chain
    StackRegion* current; ///< first region: the region allocated from now; extension: itself
    unsigned char* dataStart; ///< this region + kStackHeaderSize
    std::uint32_t growSize;
    std::uint32_t capacity; ///< region size - kStackHeaderSize
    std::uint32_t used;
};

constexpr std::uint32_t kGranule = 16;
constexpr std::uint32_t kStackHeaderSize = (sizeof(StackRegion) + kGranule - 1) / kGranule * kGranule;
constexpr std::uint32_t kDefaultSize = 65536;
constexpr std::uint32_t kUnit = 4096;
// Keeps every size computation below inside 32 bits.
constexpr std::uint32_t kLargestRegion = 0x40000000;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(kStackHeaderSize == 32);
#endif

std::uint32_t RoundUp(std::uint32_t value, std::uint32_t unit) { return (value + unit - 1) / unit * unit; }

StackRegion* CreateStackRegion(std::uint32_t size, std::uint32_t growSize)
{
    if (size > kLargestRegion)
        return nullptr;
    size = size == 0 ? kDefaultSize : RoundUp(size, kUnit);
    auto* region = static_cast<StackRegion*>(npl::platform::AllocatePages(size, npl::platform::PageAccess::ReadWrite));
    if (region == nullptr)
        return nullptr;
    region->next = nullptr;
    region->current = region;
    region->dataStart = reinterpret_cast<unsigned char*>(region) + kStackHeaderSize;
    region->growSize = growSize == 0 ? kDefaultSize : growSize;
    region->capacity = size - kStackHeaderSize;
    region->used = 0;
    return region;
}

void ReleaseStackRegion(StackRegion* region) { npl::platform::FreePages(region, region->capacity + kStackHeaderSize); }

} // namespace

extern "C" {

NPLStackHeap nplStackHeapCreate(std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t)
{
    return CreateStackRegion(initialSize, growSize);
}

void* nplStackHeapAllocate(NPLStackHeap stackHeap, std::uint32_t size)
{
    if (stackHeap == nullptr || size > kLargestRegion)
        return nullptr;
    auto* first = static_cast<StackRegion*>(stackHeap);
    StackRegion* current = first->current;
    std::uint32_t n = RoundUp(size, kGranule);
    while (current->capacity - current->used < n) {
        std::uint32_t regionSize = current->growSize > n + kStackHeaderSize ? current->growSize : n + kStackHeaderSize;
        StackRegion* extension = CreateStackRegion(regionSize, current->growSize);
        if (extension == nullptr)
            return nullptr;
        current->next = extension;
        current = extension;
        first->current = extension;
        DebugTrace("Extended stack heap.\n");
    }
    void* top = current->dataStart + current->used;
    current->used += n;
    return top;
}

void nplStackHeapLeave(NPLStackHeap stackHeap, void* address)
{
    if (stackHeap == nullptr)
        return;
    StackRegion* current = static_cast<StackRegion*>(stackHeap)->current;
    auto at = reinterpret_cast<std::uintptr_t>(address);
    auto start = reinterpret_cast<std::uintptr_t>(current->dataStart);
    if (at < start || at >= start + current->used || at % kGranule != 0)
        return;
    current->used = static_cast<std::uint32_t>(at - start);
}

void nplStackHeapFree(NPLStackHeap stackHeap)
{
    if (stackHeap == nullptr)
        return;
    auto* first = static_cast<StackRegion*>(stackHeap);
    StackRegion* extension = first->next;
    while (extension != nullptr) {
        StackRegion* next = extension->next;
        ReleaseStackRegion(extension);
        extension = next;
    }
    first->next = nullptr;
    first->current = first;
    first->used = 0;
}

void nplStackHeapDestroy(NPLStackHeap stackHeap)
{
    if (stackHeap == nullptr)
        return;
    nplStackHeapFree(stackHeap);
    ReleaseStackRegion(static_cast<StackRegion*>(stackHeap));
}

} // extern "C"
