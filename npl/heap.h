// The library heap: region chains carved into blocks with 8-byte headers, a global heap
// created on first use, a stack heap for scratch memory. The executable exports these
// functions by name so that other modules in the process can share the heaps.
#pragma once

#include <cstdint>

/// A heap: the address of its first region. Null stands for the global heap.
using NPLHeap = void*;
/// A stack heap: the address of its first region.
using NPLStackHeap = void*;

/// Called with the attempt number (0, 1, 2, ...) when the system refuses memory for a region;
/// 0 or 6 asks for another attempt, anything else abandons the allocation.
using NPLNoMemoryHook = int (*)(int attempt);

enum : std::uint32_t {
    HeapZeroFill = 0x01, ///< allocated (or gained) bytes are set to 0
    HeapNoLock = 0x02, ///< the call does not take the heap's lock; a heap made with it has none
    HeapNoPrompt = 0x04, ///< when the system refuses memory, fail instead of asking the user
};

extern "C" {
NPLHeap nplHeapCreate(std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t flags, NPLHeap parent);
void nplHeapDestroy(NPLHeap heap);
/// A block of at least `size` bytes (0 counts as 1), 8-byte aligned; null when the system
/// refuses memory and the hook or the user gives up, and for sizes of 1 GiB or more.
void* nplHeapAllocate(NPLHeap heap, std::uint32_t size, std::uint32_t flags);
/// Releases a block of `heap`. Null, and any address that is not an allocated block of this
/// heap (another heap's, the stack's, a freed one), is ignored; an address outside the heap's
/// regions is never read.
void nplHeapFree(NPLHeap heap, void* address, std::uint32_t flags);
/// Resizes a block, in place when its neighbour allows it. Null address: allocates. Null for
/// an address that is not a block of `heap` and when no new block can be had (sizes of 1 GiB
/// or more included); the old block then stays valid.
void* nplHeapReallocate(NPLHeap heap, void* address, std::uint32_t newSize, std::uint32_t flags);
/// The payload size of an allocated block of `heap`, or 0xFFFFFFFF for any other address.
std::uint32_t nplHeapGetLength(NPLHeap heap, const void* address);
void nplHeapLock(NPLHeap heap);
void nplHeapUnlock(NPLHeap heap);
std::uint32_t nplHeapGetGlobalFlag();
void nplHeapSetGlobalFlag(std::uint32_t flags);
void nplHeapHookNoMemory(NPLNoMemoryHook hook);
void nplHeapDump(NPLHeap heap, std::uint32_t maximumBlocks);
int nplVerifyHeapChain(NPLHeap heap);
NPLHeap nplGetGlobalHeap();
void nplFreeGlobalHeap();

NPLStackHeap nplStackHeapCreate(std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t unused);
void* nplStackHeapAllocate(NPLStackHeap stackHeap, std::uint32_t size);
void nplStackHeapLeave(NPLStackHeap stackHeap, void* address);
void nplStackHeapFree(NPLStackHeap stackHeap);
void nplStackHeapDestroy(NPLStackHeap stackHeap);
}
