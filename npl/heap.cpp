// Allocation, release and reallocation in the library heap, its creation and destruction,
// its lock, and the process-wide flag word, hook and global heap.
#include "npl/heap.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "npl/heap_region.h"
#include "npl/heap_sanitizer.h"
#include "npl/memory.h"
#include "npl/platform/debug_output.h"

using namespace npl::heap;
using npl::platform::RecursiveLock;

namespace {

constexpr std::uint32_t kNotABlock = 0xFFFFFFFF;
// A block taken whole may carry up to this much more than asked; larger blocks are split.
constexpr std::uint32_t kSplitSlack = 32;
// Shrinking the LAST block of a region to this size or less moves it to a fitting block.
constexpr std::uint32_t kMoveOnShrinkSize = 256;

#if defined(NPL_HEAP_DEBUG)
constexpr bool kDebugHeap = true;
#else
constexpr bool kDebugHeap = false;
#endif
// Debug builds fill freed and fresh bytes, so that reading either shows up at once.
constexpr unsigned char kFreedFill = 0xDD;
constexpr unsigned char kFreshFill = 0xCD;

std::uint32_t EffectiveFlags(const RegionHeader* head, std::uint32_t flags)
{
    return flags | head->flags | GlobalFlagSlot();
}

/// Holds the heap's lock for a scope unless the effective flags say HeapNoLock.
class HeapGuard {
public:
    HeapGuard(RegionHeader* head, std::uint32_t effectiveFlags)
        : lock_((effectiveFlags & HeapNoLock) != 0 ? nullptr : LockOf(head))
    {
        if (lock_ != nullptr)
            lock_->Enter();
    }
    ~HeapGuard()
    {
        if (kDebugHeap)
            Verify();
        if (lock_ != nullptr)
            lock_->Leave();
    }
    HeapGuard(const HeapGuard&) = delete;
    HeapGuard& operator=(const HeapGuard&) = delete;

    /// Set once the operation may have changed the heap, to check it afterwards in debug builds.
    RegionHeader* head_ = nullptr;

private:
    void Verify() const
    {
        if (head_ != nullptr && !CheckHeap(head_)) {
            npl::platform::WriteDebugOutput("NPL heap: invariant broken\n");
            std::abort();
        }
    }
    RecursiveLock* lock_;
};

std::uint32_t RequestSize(std::uint32_t size) { return size == 0 ? 8 : RoundUp(size, 8); }

/// Marks bytes that just became part of a free block's payload (never its header or links).
void MarkFreeBytes(void* at, std::uint32_t size)
{
    if (kDebugHeap)
        std::memset(at, kFreedFill, size);
    PoisonBytes(at, size);
}

/// Moves a free block's header and links forward or back to `to`; the caller fixes sizes.
Block MoveFreeHeader(RegionHeader* region, Block from, unsigned char* to)
{
    UnpoisonBytes(to, 2 * kBlockHeaderSize);
    std::memmove(to, from, 2 * kBlockHeaderSize);
    auto moved = reinterpret_cast<Block>(to);
    FreeListMoved(region, moved);
    return moved;
}

// --- region chain ---

void UnlinkRegion(RegionHeader* head, RegionHeader* region)
{
    RegionHeader* previous = region->previous;
    RegionHeader* next = region->next;
    previous->next = next;
    if (next != nullptr)
        next->previous = previous;
    else
        head->last = previous == head ? nullptr : previous;
    region->next = nullptr;
    region->previous = nullptr;
}

void InsertAfterHead(RegionHeader* head, RegionHeader* region)
{
    RegionHeader* next = head->next;
    region->next = next;
    region->previous = head;
    head->next = region;
    if (next != nullptr)
        next->previous = region;
    else
        head->last = region;
}

void InsertBefore(RegionHeader* before, RegionHeader* region)
{
    RegionHeader* previous = before->previous;
    region->previous = previous;
    region->next = before;
    previous->next = region;
    before->previous = region;
}

void DropRegion(RegionHeader* head, RegionHeader* region)
{
    if (region->anchor != nullptr)
        SearchRemove(head, region);
    UnlinkRegion(head, region);
    IndexRemove(head, region);
    ReleaseRegionMemory(region);
}

// --- allocation ---

/// Walks a region's free list for a block that can give `n` bytes; lowers the region's hint
/// when there is none.
Block FindFreeBlock(RegionHeader* region, std::uint32_t n)
{
    // The anchor keeps a reserve, so the bytes worth walking for start 32 below the total.
    std::int64_t remaining = static_cast<std::int64_t>(region->freeBytes) - kSplitSlack;
    std::uint32_t largest = 0;
    if (remaining >= n) {
        // The anchor heads every list and is the only FIRST block in it; it must keep its
        // reserve, so it needs more room than the blocks after it.
        Block block = region->anchor;
        std::uint32_t size = BlockSize(block);
        if (size >= n + kSplitSlack)
            return block;
        largest = size;
        remaining -= size;
        const std::uint32_t needed = n + kBlockHeaderSize;
        std::uint32_t next = FreeLinks(block)[1];
        while (next != 0 && remaining >= n) {
            block = BlockAt(region, next);
            size = BlockSize(block);
            if (size >= needed)
                return block;
            if (size > largest)
                largest = size;
            remaining -= size;
            next = FreeLinks(block)[1];
        }
    }
    std::uint32_t unexamined = remaining > 0 ? static_cast<std::uint32_t>(remaining) : 0;
    std::uint32_t bound = largest > unexamined ? largest : unexamined;
    if (bound < region->largestFree)
        region->largestFree = bound;
    return nullptr;
}

/// Takes `n` bytes from free block `block`: the whole block when little would be left,
/// otherwise a new block cut from its end, so that the free block keeps its list place.
unsigned char* TakeBlock(RegionHeader* region, Block block, std::uint32_t n)
{
    std::uint32_t size = BlockSize(block);
    if (!HasFlag(block, kBlockFirst) && size < n + kSplitSlack) {
        FreeListUnlink(region, block);
        block[0] &= ~kBlockFree;
        region->freeBytes -= size;
        UnpoisonBytes(Payload(block), size);
        return Payload(block);
    }
    std::uint32_t remainder = size - kBlockHeaderSize - n;
    bool last = HasFlag(block, kBlockLast);
    SetSize(block, remainder);
    auto taken = reinterpret_cast<Block>(Payload(block) + remainder);
    UnpoisonBytes(taken, kBlockHeaderSize + n);
    SetHeader(taken, n, last ? kBlockLast : 0);
    SetPrevious(taken, block);
    if (last)
        block[0] &= ~kBlockLast;
    else
        SetPrevious(NextBlock(taken), taken);
    region->freeBytes -= n + kBlockHeaderSize;
    return Payload(taken);
}

unsigned char* AllocateDedicated(RegionHeader* head, std::uint32_t n, std::uint32_t effective)
{
    if (!IndexReserve(head))
        return nullptr;
    RegionHeader* region = CreateRegion(n + kDedicatedOverhead, 0, HeapNoLock | (effective & HeapNoPrompt), nullptr);
    if (region == nullptr)
        return nullptr;
    region->anchor = nullptr;
    RegionHeader* tail = head->last != nullptr ? head->last : head;
    tail->next = region;
    region->previous = tail;
    head->last = region;
    (void)IndexAdd(head, region); // room was reserved above

    Block first = FirstBlock(region);
    SetHeader(first, kDedicatedAnchorSize, kBlockFree | kBlockFirst);
    auto big
        = reinterpret_cast<Block>(reinterpret_cast<unsigned char*>(region) + kDedicatedOverhead - kBlockHeaderSize);
    std::uint32_t bigSize = region->regionSize - kDedicatedOverhead;
    UnpoisonBytes(big, kBlockHeaderSize + bigSize);
    SetHeader(big, bigSize, kBlockLast);
    SetPrevious(big, first);
    region->freeBytes = kDedicatedAnchorSize;
    region->largestFree = kDedicatedAnchorSize;
    return Payload(big);
}

unsigned char* AllocateExtension(RegionHeader* head, std::uint32_t n, std::uint32_t effective)
{
    std::uint32_t size = n + kExtensionOverhead;
    if (head->parent == nullptr && size < head->growSize)
        size = head->growSize;
    if (!IndexReserve(head))
        return nullptr;
    RegionHeader* region = CreateRegion(size, 0, HeapNoLock | (effective & HeapNoPrompt), head->parent);
    if (region == nullptr)
        return nullptr;
    InsertAfterHead(head, region);
    (void)IndexAdd(head, region); // room was reserved above
    SearchInsertAfterHead(head, region);
    return TakeBlock(region, region->anchor, n);
}

/// Allocation with the lock already settled; `effective` are the effective flags.
void* AllocateIn(RegionHeader* head, std::uint32_t size, std::uint32_t effective)
{
    if (size >= kLargestRequest)
        return nullptr;
    std::uint32_t n = RequestSize(size);
    unsigned char* payload = nullptr;
    if (head->parent == nullptr && n >= head->growSize / 2) {
        payload = AllocateDedicated(head, n, effective);
    } else {
        // The head and the extension regions in chain order, up to the first dedicated region.
        RegionIndex* index = head->index;
        RegionHeader** regions = index->SearchRegions();
        std::uint32_t* hints = index->SearchHints();
        for (std::uint32_t slot = 0; slot < index->searchCount; ++slot) {
            if (hints[slot] < n)
                continue;
            RegionHeader* region = regions[slot];
            Block block = FindFreeBlock(region, n);
            hints[slot] = region->largestFree;
            if (block != nullptr) {
                payload = TakeBlock(region, block, n);
                if (region == head->spare)
                    head->spare = nullptr;
                break;
            }
        }
        if (payload == nullptr)
            payload = AllocateExtension(head, n, effective);
    }
    if (payload != nullptr && (effective & HeapZeroFill) != 0)
        MemoryFill(payload, 0, BlockSize(BlockOf(payload)));
    else if (payload != nullptr && kDebugHeap)
        std::memset(payload, kFreshFill, BlockSize(BlockOf(payload)));
    return payload;
}

/// Releases a block already checked by IsAllocatedBlock, with the lock settled.
void FreeIn(RegionHeader* head, RegionHeader* region, void* address)
{
    Block block = BlockOf(address);
    std::uint32_t size = BlockSize(block);
    Block previous = PreviousBlock(block);
    Block merged;
    if (HasFlag(previous, kBlockFree)) {
        SetSize(previous, BlockSize(previous) + kBlockHeaderSize + size);
        if (HasFlag(block, kBlockLast))
            previous[0] |= kBlockLast;
        else
            SetPrevious(NextBlock(block), previous);
        region->freeBytes += size + kBlockHeaderSize;
        block[0] = 0; // a stale header must never pass for a block again
        MarkFreeBytes(block, kBlockHeaderSize + size);
        merged = previous;
    } else {
        block[0] |= kBlockFree;
        FreeListInsertAfterAnchor(region, block);
        region->freeBytes += size;
        if (size > 8)
            MarkFreeBytes(Payload(block) + 8, size - 8);
        merged = block;
    }
    if (!HasFlag(merged, kBlockLast)) {
        Block next = NextBlock(merged);
        if (HasFlag(next, kBlockFree)) {
            FreeListUnlink(region, next);
            SetSize(merged, BlockSize(merged) + kBlockHeaderSize + BlockSize(next));
            if (HasFlag(next, kBlockLast))
                merged[0] |= kBlockLast;
            else
                SetPrevious(NextBlock(merged), merged);
            region->freeBytes += kBlockHeaderSize;
            next[0] = 0;
            MarkFreeBytes(next, 2 * kBlockHeaderSize);
        }
    }
    RaiseHint(head, region, BlockSize(merged));

    if (region == head)
        return;
    if (HasFlag(merged, kBlockFirst) && HasFlag(merged, kBlockLast)) {
        if (region->anchor == nullptr) {
            DropRegion(head, region);
            return;
        }
        // Keep one empty extension region, at the front, for reuse. The head remembers it:
        // regions of different sizes can pass each other in the chain, so the one kept
        // before is not always at the front any more.
        RegionHeader* spare = head->spare;
        head->spare = region;
        if (spare != nullptr && spare != region)
            DropRegion(head, spare);
        if (head->next != region) {
            SearchRemove(head, region);
            UnlinkRegion(head, region);
            InsertAfterHead(head, region);
            SearchInsertAfterHead(head, region);
        }
        return;
    }
    RegionHeader* previousRegion = region->previous;
    if (previousRegion != head && previousRegion->freeBytes < region->freeBytes) {
        UnlinkRegion(head, region);
        InsertBefore(previousRegion, region);
        SearchSwapWithPrevious(head, region);
    }
}

void ZeroTail(unsigned char* payload, std::uint32_t from, std::uint32_t to)
{
    if (to > from)
        MemoryFill(payload + from, 0, to - from);
}

/// Moves a block's contents to a new block of `newSize` bytes; null (old block kept) when
/// there is no new block.
void* MoveBlock(RegionHeader* head, RegionHeader* region, void* address, std::uint32_t newSize, std::uint32_t keep,
    std::uint32_t effective)
{
    void* moved = AllocateIn(head, newSize, effective | HeapNoLock);
    if (moved == nullptr)
        return nullptr;
    std::memcpy(moved, address, keep);
    FreeIn(head, region, address);
    return moved;
}

void* ReallocateIn(
    RegionHeader* head, RegionHeader* region, void* address, std::uint32_t newSize, std::uint32_t effective)
{
    Block block = BlockOf(address);
    auto* payload = static_cast<unsigned char*>(address);
    std::uint32_t current = BlockSize(block);
    std::uint32_t n = RequestSize(newSize);
    bool zeroFill = (effective & HeapZeroFill) != 0;

    if (current > n) {
        if (HasFlag(block, kBlockLast)) {
            if (n <= kMoveOnShrinkSize || n <= head->growSize / 16) {
                void* moved = MoveBlock(head, region, address, newSize, newSize, effective);
                if (moved != nullptr)
                    return moved;
                // No block for the smaller size: the old one still serves.
            }
        } else {
            Block next = NextBlock(block);
            if (HasFlag(next, kBlockFree)) {
                std::uint32_t surplus = current - n;
                std::uint32_t nextSize = BlockSize(next);
                Block moved = MoveFreeHeader(region, next, reinterpret_cast<unsigned char*>(next) - surplus);
                SetSize(moved, nextSize + surplus);
                SetPrevious(moved, block);
                if (!HasFlag(moved, kBlockLast))
                    SetPrevious(NextBlock(moved), moved);
                SetSize(block, n);
                region->freeBytes += surplus;
                RaiseHint(head, region, BlockSize(moved));
                MarkFreeBytes(Payload(moved) + 8, surplus);
            }
        }
        if (zeroFill)
            ZeroTail(payload, newSize, BlockSize(block));
        return address;
    }
    if (current == n)
        return address;

    std::uint32_t room = current;
    Block next = HasFlag(block, kBlockLast) ? nullptr : NextBlock(block);
    if (next != nullptr && HasFlag(next, kBlockFree))
        room += kBlockHeaderSize + BlockSize(next);
    else
        next = nullptr;
    if (room < n)
        return MoveBlock(head, region, address, newSize, current, effective);

    std::uint32_t extra = n - current;
    std::uint32_t nextSize = BlockSize(next);
    if (extra >= nextSize / 2) {
        FreeListUnlink(region, next);
        UnpoisonBytes(next, kBlockHeaderSize + nextSize);
        SetSize(block, current + kBlockHeaderSize + nextSize);
        if (HasFlag(next, kBlockLast))
            block[0] |= kBlockLast;
        else
            SetPrevious(NextBlock(block), block);
        region->freeBytes -= nextSize;
        next[0] = 0;
    } else {
        UnpoisonBytes(next, kBlockHeaderSize + extra);
        Block moved = MoveFreeHeader(region, next, reinterpret_cast<unsigned char*>(next) + extra);
        SetSize(moved, nextSize - extra);
        SetPrevious(moved, block);
        if (!HasFlag(moved, kBlockLast))
            SetPrevious(NextBlock(moved), moved);
        SetSize(block, n);
        region->freeBytes -= extra;
    }
    if (zeroFill)
        ZeroTail(payload, current, BlockSize(block));
    return address;
}

} // namespace

extern "C" {

NPLHeap nplHeapCreate(std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t flags, NPLHeap parent)
{
    auto* parentHead = static_cast<RegionHeader*>(parent);
    RegionHeader* head = CreateRegion(initialSize, growSize, flags, parentHead);
    if (head == nullptr)
        return nullptr;
    if (!IndexAdd(head, head)) {
        ReleaseRegionMemory(head);
        return nullptr;
    }
    SearchAddHead(head);
    if ((flags & HeapNoLock) == 0)
        new (LockOf(head)) RecursiveLock();
    return head;
}

void nplHeapDestroy(NPLHeap heap)
{
    if (heap == nullptr)
        return;
    auto* head = static_cast<RegionHeader*>(heap);
    if (--head->referenceCount > 0)
        return;
    if ((head->flags & HeapNoLock) == 0)
        LockOf(head)->~RecursiveLock();
    if (GlobalHeapSlot() == head)
        GlobalHeapSlot() = nullptr;
    RegionHeader* region = head->next;
    while (region != nullptr) {
        RegionHeader* next = region->next;
        ReleaseRegionMemory(region);
        region = next;
    }
    IndexRelease(head);
    ReleaseRegionMemory(head);
}

void* nplHeapAllocate(NPLHeap heap, std::uint32_t size, std::uint32_t flags)
{
    RegionHeader* head = HeadOf(heap, true);
    if (head == nullptr)
        return nullptr;
    std::uint32_t effective = EffectiveFlags(head, flags);
    HeapGuard guard(head, effective);
    guard.head_ = head;
    return AllocateIn(head, size, effective);
}

void nplHeapFree(NPLHeap heap, void* address, std::uint32_t flags)
{
    if (address == nullptr)
        return;
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return;
    std::uint32_t effective = EffectiveFlags(head, flags);
    HeapGuard guard(head, effective);
    RegionHeader* region = FindRegion(head, address);
    if (region == nullptr || !IsAllocatedBlock(region, address))
        return;
    guard.head_ = head;
    FreeIn(head, region, address);
}

void* nplHeapReallocate(NPLHeap heap, void* address, std::uint32_t newSize, std::uint32_t flags)
{
    if (address == nullptr)
        return nplHeapAllocate(heap, newSize, flags);
    if (newSize >= kLargestRequest)
        return nullptr;
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return nullptr;
    std::uint32_t effective = EffectiveFlags(head, flags);
    HeapGuard guard(head, effective);
    RegionHeader* region = FindRegion(head, address);
    if (region == nullptr || !IsAllocatedBlock(region, address))
        return nullptr;
    guard.head_ = head;
    return ReallocateIn(head, region, address, newSize, effective);
}

std::uint32_t nplHeapGetLength(NPLHeap heap, const void* address)
{
    if (address == nullptr)
        return kNotABlock;
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return kNotABlock;
    // Under the lock, because the region index may be growing in another thread.
    HeapGuard guard(head, EffectiveFlags(head, 0));
    RegionHeader* region = FindRegion(head, address);
    if (region == nullptr || !IsAllocatedBlock(region, address))
        return kNotABlock;
    return BlockSize(BlockOf(address));
}

void nplHeapLock(NPLHeap heap)
{
    RegionHeader* head = HeadOf(heap, true);
    if (head != nullptr && (head->flags & HeapNoLock) == 0)
        LockOf(head)->Enter();
}

void nplHeapUnlock(NPLHeap heap)
{
    RegionHeader* head = HeadOf(heap, false);
    if (head != nullptr && (head->flags & HeapNoLock) == 0)
        LockOf(head)->Leave();
}

std::uint32_t nplHeapGetGlobalFlag() { return GlobalFlagSlot(); }

void nplHeapSetGlobalFlag(std::uint32_t flags) { GlobalFlagSlot() = flags; }

void nplHeapHookNoMemory(NPLNoMemoryHook hook) { NoMemoryHookSlot() = hook; }

NPLHeap nplGetGlobalHeap() { return HeadOf(nullptr, true); }

void nplFreeGlobalHeap()
{
    RegionHeader* head = GlobalHeapSlot();
    if (head == nullptr)
        return;
    nplHeapDump(head, 100);
    nplHeapDestroy(head);
    GlobalHeapSlot() = nullptr;
}

} // extern "C"
