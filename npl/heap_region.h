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

/// Sorted addresses of a heap's regions, in system pages of their own.
struct RegionIndex {
    std::uint32_t count;
    std::uint32_t capacity;
    std::size_t bytes;
    RegionHeader** Entries() { return reinterpret_cast<RegionHeader**>(this + 1); }
};

// Process-wide state: plain values, as the heap functions promise no more.
RegionHeader*& GlobalHeapSlot();
std::uint32_t& GlobalFlagSlot();
NPLNoMemoryHook& NoMemoryHookSlot();

/// The head of `heap`, or of the global heap (created when `create` is set) for null.
RegionHeader* HeadOf(NPLHeap heap, bool create);

/// The region of `head`'s chain whose blocks contain `address`, or null. Reads no block.
RegionHeader* FindRegion(RegionHeader* head, const void* address);

/// True when `address` may be handed to the heap: it lies on a block boundary of `region`,
/// and that block is VALID, neither FREE nor FIRST, and fits the region with its neighbours.
bool IsAllocatedBlock(RegionHeader* region, const void* address);

/// Creates a region (the no-memory hook or prompt decide on failures). Null on failure.
RegionHeader* CreateRegion(
    std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t flags, RegionHeader* parent);

/// Adds a new region to the head's index; false when the index cannot grow.
bool IndexAdd(RegionHeader* head, RegionHeader* region);
void IndexRemove(RegionHeader* head, RegionHeader* region);
/// Makes room in the index for one more region; false when the system refuses.
bool IndexReserve(RegionHeader* head);
void IndexRelease(RegionHeader* head);

/// Gives a region's memory back (to the system or to its parent). The region must be
/// unlinked from its chain and its index already.
void ReleaseRegionMemory(RegionHeader* region);

/// The free-list operations of a region.
void FreeListInsertAfterAnchor(RegionHeader* region, Block block);
void FreeListUnlink(RegionHeader* region, Block block);
/// Rewrites the neighbours' links after a free block's header (with its links) moved to `to`.
void FreeListMoved(RegionHeader* region, Block to);

/// Invariant check of every region of a heap: headers valid and adjacent, free list made of
/// free blocks only, no two free blocks side by side, free bytes matching the list. Writes
/// the first violation to the debug output. Used by debug builds after each operation and
/// by the tests.
[[nodiscard]] bool CheckHeap(NPLHeap heap);

} // namespace npl::heap
