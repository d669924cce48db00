// The inner layout of the library heap, shared by its source files and white-box tests.
//
// A region starts with a RegionHeader, rounded to 16 bytes, and continues with blocks. Each
// block has an 8-byte header of two 32-bit words right before its payload. Links that point
// into a region (the preceding block, the free-list neighbours) are 32-bit byte offsets, so
// the block header and the smallest free block are the same size on 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "npl/heap.h"
#include "npl/heap_sanitizer.h"
#include "npl/platform/recursive_lock.h"

namespace npl::heap {

struct RegionIndex;

/// The head region's header also describes the whole heap (grow size, flags, lock, last
/// region); extension and dedicated regions use only their own part of it.
struct RegionHeader {
    RegionHeader* next; ///< next region of the chain, null at the end
    RegionHeader* previous; ///< previous region, null in the head
    std::uint32_t* anchor; ///< header of the first block, where the free list starts; null in a dedicated region
    std::uint32_t freeBytes; ///< sum of the payload sizes of the free blocks
    std::uint32_t largestFree; ///< estimate of the largest free block (raised by frees, lowered by failed searches)
    std::uint32_t growSize;
    RegionHeader* last; ///< head: last region of the chain, null while the head is alone
    std::uint32_t flags; ///< creation flags
    std::uint32_t regionSize;
    std::int32_t referenceCount;
    RegionHeader* parent; ///< heap the region's memory came from, null for system pages
    void* rawBlock; ///< the parent's block that holds the region
    RegionHeader* spare; ///< head: the one empty extension region kept for reuse, or null
    RegionIndex* index; ///< head: every region of the chain by address, for lookups
    alignas(platform::kLockStorageAlign) unsigned char lock[sizeof(platform::RecursiveLock)];
};

inline constexpr std::uint32_t RoundUp(std::uint32_t value, std::uint32_t unit)
{
    return (value + unit - 1) / unit * unit;
}

inline constexpr std::uint32_t kBlockHeaderSize = 8;
inline constexpr std::uint32_t kRegionHeaderSize = RoundUp(sizeof(RegionHeader), 16);
/// Payload offset of a region's first block; a new region's first block holds the rest.
inline constexpr std::uint32_t kFirstPayloadOffset = kRegionHeaderSize + kBlockHeaderSize;
/// The first block of a dedicated region keeps this much payload; the large block follows it.
inline constexpr std::uint32_t kDedicatedAnchorSize = 32;
/// Overhead of a dedicated region, and the offset of its one large block's payload.
inline constexpr std::uint32_t kDedicatedOverhead = kFirstPayloadOffset + kDedicatedAnchorSize + kBlockHeaderSize;
/// Overhead added to a request when an extension region is sized for it: room for the
/// region header, the anchor's header and its reserve, the block's header, and slack.
inline constexpr std::uint32_t kExtensionOverhead = 2 * kRegionHeaderSize + kBlockHeaderSize;
inline constexpr std::uint32_t kDefaultRegionSize = 65536;
inline constexpr std::uint32_t kRegionUnit = 4096;
/// Requests of this size or more cannot be described by a block header.
inline constexpr std::uint32_t kLargestRequest = 0x40000000;

#if UINTPTR_MAX == 0xFFFFFFFFu
// The layout of the shipped 32-bit program: 24-byte critical section, 80-byte region header.
static_assert(sizeof(platform::RecursiveLock) == 24);
static_assert(kRegionHeaderSize == 80);
static_assert(kFirstPayloadOffset == 88 && kDedicatedOverhead == 128 && kExtensionOverhead == 168);
#endif

// Block header word 0: payload size in 4-byte units in bits 0-27, and the flags.
inline constexpr std::uint32_t kBlockFree = 0x80000000;
inline constexpr std::uint32_t kBlockLast = 0x40000000;
inline constexpr std::uint32_t kBlockFirst = 0x20000000;
inline constexpr std::uint32_t kBlockValid = 0x10000000;
inline constexpr std::uint32_t kBlockSizeMask = 0x0FFFFFFF;

// A block is addressed by its header: two 32-bit words.
using Block = std::uint32_t*;

inline std::uint32_t BlockSize(const std::uint32_t* block) { return (block[0] & kBlockSizeMask) * 4; }
inline bool HasFlag(const std::uint32_t* block, std::uint32_t flag) { return (block[0] & flag) != 0; }
inline void SetHeader(Block block, std::uint32_t size, std::uint32_t flags)
{
    block[0] = (size / 4) | flags | kBlockValid;
}
inline void SetSize(Block block, std::uint32_t size) { block[0] = (block[0] & ~kBlockSizeMask) | (size / 4); }
inline unsigned char* Payload(Block block) { return reinterpret_cast<unsigned char*>(block) + kBlockHeaderSize; }
inline Block BlockOf(const void* payload)
{
    return reinterpret_cast<Block>(
        const_cast<unsigned char*>(static_cast<const unsigned char*>(payload)) - kBlockHeaderSize);
}
inline Block NextBlock(Block block) { return reinterpret_cast<Block>(Payload(block) + BlockSize(block)); }
/// The physically preceding block (word 1 is the byte distance back to it); not for FIRST blocks.
inline Block PreviousBlock(Block block)
{
    return reinterpret_cast<Block>(reinterpret_cast<unsigned char*>(block) - block[1]);
}
inline void SetPrevious(Block block, const void* previous)
{
    block[1] = static_cast<std::uint32_t>(
        reinterpret_cast<const unsigned char*>(block) - static_cast<const unsigned char*>(previous));
}

inline std::uint32_t OffsetIn(const RegionHeader* region, const void* at)
{
    return static_cast<std::uint32_t>(
        static_cast<const unsigned char*>(at) - reinterpret_cast<const unsigned char*>(region));
}
inline Block BlockAt(RegionHeader* region, std::uint32_t offset)
{
    return offset == 0 ? nullptr : reinterpret_cast<Block>(reinterpret_cast<unsigned char*>(region) + offset);
}
inline Block FirstBlock(RegionHeader* region) { return BlockAt(region, kRegionHeaderSize); }
inline unsigned char* RegionEnd(RegionHeader* region)
{
    return reinterpret_cast<unsigned char*>(region) + region->regionSize;
}

// A free block keeps the offsets of its free-list neighbours in its first 8 payload bytes.
inline std::uint32_t* FreeLinks(Block block) { return block + 2; }

inline platform::RecursiveLock* LockOf(RegionHeader* head)
{
    return reinterpret_cast<platform::RecursiveLock*>(head->lock);
}

/// A heap's regions in two orders, in system pages of their own: every region sorted by
/// address (to find the region of a block), and the searched regions (the head and the
/// extension regions) in chain order with a copy of their largest-free hints, so that the
/// allocation search skips a region without touching its header.
struct RegionIndex {
    std::uint32_t count; ///< regions sorted by address
    std::uint32_t capacity;
    std::size_t bytes;
    std::uint32_t searchCount; ///< regions in search order; the head is always the first
    /// Every region, sorted by address.
    RegionHeader** Entries() { return reinterpret_cast<RegionHeader**>(this + 1); }
    /// The searched regions in chain order.
    RegionHeader** SearchRegions() { return Entries() + capacity; }
    /// The largest-free hint of each searched region, kept equal to its header's.
    std::uint32_t* SearchHints() { return reinterpret_cast<std::uint32_t*>(SearchRegions() + capacity); }
    /// For each entry by address, its position in search order (kNotSearched for dedicated regions).
    std::uint32_t* SearchSlots() { return SearchHints() + capacity; }
};

inline constexpr std::uint32_t kNotSearched = 0xFFFFFFFF;
inline constexpr std::size_t kIndexEntryBytes = 2 * sizeof(RegionHeader*) + 2 * sizeof(std::uint32_t);

// Process-wide state: plain values, as the heap functions promise no more. The variables are
// visible here so that the hot paths read them without a call.
namespace state {
    extern RegionHeader* globalHeap;
    extern std::uint32_t globalFlags;
    extern NPLNoMemoryHook noMemoryHook;
}
inline RegionHeader*& GlobalHeapSlot() { return state::globalHeap; }
inline std::uint32_t& GlobalFlagSlot() { return state::globalFlags; }
inline NPLNoMemoryHook& NoMemoryHookSlot() { return state::noMemoryHook; }

/// The global heap, created when `create` is set and there is none yet.
RegionHeader* GlobalHead(bool create);

/// The head of `heap`, or of the global heap (created when `create` is set) for null.
inline RegionHeader* HeadOf(NPLHeap heap, bool create)
{
    if (heap != nullptr)
        return static_cast<RegionHeader*>(heap);
    return GlobalHead(create);
}

/// The index position of the first region above `address`. The steps depend on the count
/// only, not on the comparisons, so that frees into scattered regions do not mispredict.
inline std::uint32_t IndexUpperBound(RegionIndex* index, const void* address)
{
    RegionHeader** entries = index->Entries();
    std::uint32_t length = index->count;
    if (length == 0)
        return 0;
    auto key = reinterpret_cast<std::uintptr_t>(address);
    RegionHeader** base = entries;
    while (length > 1) {
        std::uint32_t half = length / 2;
        base = reinterpret_cast<std::uintptr_t>(base[half]) <= key ? base + half : base;
        length -= half;
    }
    return static_cast<std::uint32_t>(base - entries) + (reinterpret_cast<std::uintptr_t>(*base) <= key ? 1 : 0);
}

/// The region of `head`'s chain whose blocks contain `address`, or null. Reads no block.
inline RegionHeader* FindRegion(RegionHeader* head, const void* address)
{
    // Most blocks live in the head: answer that without the index.
    auto headOffset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(head);
    if (headOffset < head->regionSize)
        return head;
    RegionIndex* index = head->index;
    if (index == nullptr || address == nullptr)
        return nullptr;
    std::uint32_t at = IndexUpperBound(index, address);
    if (at == 0)
        return nullptr;
    RegionHeader* region = index->Entries()[at - 1];
    auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(region);
    return offset < region->regionSize ? region : nullptr;
}

/// True when `address` may be handed to the heap: it lies on a block boundary of `region`,
/// and that block is VALID, neither FREE nor FIRST, and fits the region with its neighbours.
inline bool IsAllocatedBlock(RegionHeader* region, const void* address)
{
    auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(region);
    // The FIRST block is never allocated, so an allocated payload starts after it.
    if (offset <= kFirstPayloadOffset + kBlockHeaderSize || offset >= region->regionSize || offset % 8 != 0)
        return false;
    Block block = BlockOf(address);
    if (IsPoisoned(block, kBlockHeaderSize))
        return false;
    std::uint32_t word = block[0];
    if ((word & (kBlockValid | kBlockFree | kBlockFirst)) != kBlockValid)
        return false;
    std::uintptr_t end = offset + BlockSize(block);
    if ((word & kBlockLast) != 0 ? end != region->regionSize : end + kBlockHeaderSize > region->regionSize)
        return false;
    // The preceding block must end exactly here: this rejects stale headers of blocks that
    // were merged away and payload bytes that merely look like a header.
    std::uint32_t back = block[1];
    if (back < 2 * kBlockHeaderSize || back % 8 != 0 || back > offset - kBlockHeaderSize - kRegionHeaderSize)
        return false;
    Block previous = PreviousBlock(block);
    if (IsPoisoned(previous, kBlockHeaderSize))
        return false;
    std::uint32_t previousWord = previous[0];
    if ((previousWord & (kBlockValid | kBlockLast)) != kBlockValid)
        return false;
    return (previousWord & kBlockSizeMask) * 4 + kBlockHeaderSize == back;
}

/// Creates a region (the no-memory hook or prompt decide on failures). Null on failure.
RegionHeader* CreateRegion(
    std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t flags, RegionHeader* parent);

/// Adds a new region to the head's index by address (not yet to the search order); false
/// when the index cannot grow.
bool IndexAdd(RegionHeader* head, RegionHeader* region);
/// Removes a region from the index; it must have left the search order already.
void IndexRemove(RegionHeader* head, RegionHeader* region);
/// Makes room in the index for one more region; false when the system refuses.
bool IndexReserve(RegionHeader* head);
void IndexRelease(RegionHeader* head);

// The search order mirrors the chain's head and extension regions; each change of the chain
// among them is repeated here. The region must be in the index by address.
/// The head as the first searched region of a new heap.
void SearchAddHead(RegionHeader* head);
void SearchInsertAfterHead(RegionHeader* head, RegionHeader* region);
void SearchRemove(RegionHeader* head, RegionHeader* region);
/// The region changes places with the searched region before it.
void SearchSwapWithPrevious(RegionHeader* head, RegionHeader* region);

/// The search position of a region of the head's chain, or kNotSearched.
inline std::uint32_t SearchSlotOf(RegionHeader* head, RegionHeader* region)
{
    if (region == head)
        return 0;
    RegionIndex* index = head->index;
    std::uint32_t at = IndexUpperBound(index, region);
    return index->SearchSlots()[at - 1];
}

/// Raises a region's largest-free hint to `size` when that is larger, in its header and in
/// the search order.
inline void RaiseHint(RegionHeader* head, RegionHeader* region, std::uint32_t size)
{
    if (size <= region->largestFree)
        return;
    region->largestFree = size;
    std::uint32_t slot = SearchSlotOf(head, region);
    if (slot != kNotSearched)
        head->index->SearchHints()[slot] = size;
}

/// Gives a region's memory back (to the system or to its parent). The region must be
/// unlinked from its chain and its index already.
void ReleaseRegionMemory(RegionHeader* region);

// The free-list operations of a region.
inline void FreeListInsertAfterAnchor(RegionHeader* region, Block block)
{
    Block anchor = region->anchor;
    std::uint32_t next = FreeLinks(anchor)[1];
    std::uint32_t at = OffsetIn(region, block);
    FreeLinks(block)[0] = OffsetIn(region, anchor);
    FreeLinks(block)[1] = next;
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = at;
    FreeLinks(anchor)[1] = at;
}

inline void FreeListUnlink(RegionHeader* region, Block block)
{
    std::uint32_t previous = FreeLinks(block)[0];
    std::uint32_t next = FreeLinks(block)[1];
    if (previous != 0)
        FreeLinks(BlockAt(region, previous))[1] = next;
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = previous;
}

/// Rewrites the neighbours' links after a free block's header (with its links) moved to `to`.
inline void FreeListMoved(RegionHeader* region, Block to)
{
    std::uint32_t previous = FreeLinks(to)[0];
    std::uint32_t next = FreeLinks(to)[1];
    if (previous != 0)
        FreeLinks(BlockAt(region, previous))[1] = OffsetIn(region, to);
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = OffsetIn(region, to);
}

/// Invariant check of every region of a heap: headers valid and adjacent, free list made of
/// free blocks only, no two free blocks side by side, free bytes matching the list. Writes
/// the first violation to the debug output. Used by debug builds after each operation and
/// by the tests.
[[nodiscard]] bool CheckHeap(NPLHeap heap);

} // namespace npl::heap
