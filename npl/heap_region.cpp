// Regions of the library heap: creation with the no-memory policy, release, the address
// index of a heap's regions, free-list links, and the process-wide heap state.
#include "npl/heap_region.h"

#include <cstring>
#include <new>

#include "npl/heap_sanitizer.h"
#include "npl/platform/message_box.h"
#include "npl/platform/pages.h"

namespace npl::heap {

namespace {
    RegionHeader* globalHeap = nullptr;
    std::uint32_t globalFlags = 0;
    NPLNoMemoryHook noMemoryHook = nullptr;

    // "◆ NPL メモリアロケーション ◆"
    constexpr const char kNoMemoryCaption[] = "\x81\x9f\x20\x4e\x50\x4c\x20\x83\x81\x83\x82\x83\x8a\x83\x41\x83\x8d\x83"
                                              "\x50\x81\x5b\x83\x56\x83\x87\x83\x93\x20\x81\x9f";
    // "メモリ確保に失敗しました。\n他のアプリケーションで使用しているメモリを解放してください。\nメモリ確保を再実行しますか？"
    constexpr const char kNoMemoryText[]
        = "\x83\x81\x83\x82\x83\x8a\x8a\x6d\x95\xdb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42\n"
          "\x91\xbc\x82\xcc\x83\x41\x83\x76\x83\x8a\x83\x50\x81\x5b\x83\x56\x83\x87\x83\x93\x82\xc5\x8e\x67\x97\x70\x82"
          "\xb5"
          "\x82\xc4\x82\xa2\x82\xe9\x83\x81\x83\x82\x83\x8a\x82\xf0\x89\xf0\x95\xfa\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82"
          "\xb3"
          "\x82\xa2\x81\x42\n"
          "\x83\x81\x83\x82\x83\x8a\x8a\x6d\x95\xdb\x82\xf0\x8d\xc4\x8e\xc0\x8d\x73\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81"
          "\x48";

    constexpr std::size_t kIndexFirstBytes = platform::kPageSize;

    // One attempt at the memory of a region; the raw block is set when it comes from a parent.
    RegionHeader* ObtainRegionMemory(std::uint32_t size, RegionHeader* parent, void** rawBlock)
    {
        *rawBlock = nullptr;
        if (parent == nullptr)
            return static_cast<RegionHeader*>(platform::AllocatePages(size, platform::PageAccess::ReadWriteExecute));
        void* raw = nplHeapAllocate(parent, size + 16, HeapZeroFill);
        if (raw == nullptr)
            return nullptr;
        *rawBlock = raw;
        auto aligned = (reinterpret_cast<std::uintptr_t>(raw) + 15) & ~static_cast<std::uintptr_t>(15);
        return reinterpret_cast<RegionHeader*>(aligned);
    }

    // The index position of the first region above `address`.
    std::uint32_t UpperBound(RegionIndex* index, const void* address)
    {
        RegionHeader** entries = index->Entries();
        std::uint32_t low = 0;
        std::uint32_t high = index->count;
        while (low < high) {
            std::uint32_t middle = low + (high - low) / 2;
            if (reinterpret_cast<std::uintptr_t>(entries[middle]) <= reinterpret_cast<std::uintptr_t>(address))
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    }
} // namespace

RegionHeader*& GlobalHeapSlot() { return globalHeap; }
std::uint32_t& GlobalFlagSlot() { return globalFlags; }
NPLNoMemoryHook& NoMemoryHookSlot() { return noMemoryHook; }

RegionHeader* HeadOf(NPLHeap heap, bool create)
{
    if (heap != nullptr)
        return static_cast<RegionHeader*>(heap);
    if (globalHeap == nullptr && create)
        globalHeap = static_cast<RegionHeader*>(nplHeapCreate(0, 0, 0, nullptr));
    return globalHeap;
}

RegionHeader* CreateRegion(std::uint32_t initialSize, std::uint32_t growSize, std::uint32_t flags, RegionHeader* parent)
{
    if (initialSize > kLargestRequest)
        return nullptr;
    std::uint32_t size = initialSize == 0 ? kDefaultRegionSize : RoundUp(initialSize, kRegionUnit);
    // The first block must be describable by a block header.
    if (size - kFirstPayloadOffset >= kLargestRequest || size < kDedicatedOverhead)
        return nullptr;

    RegionHeader* region = nullptr;
    void* rawBlock = nullptr;
    for (int attempt = 0;; ++attempt) {
        region = ObtainRegionMemory(size, parent, &rawBlock);
        if (region != nullptr)
            break;
        if (noMemoryHook != nullptr) {
            int answer = noMemoryHook(attempt);
            if (answer == 0 || answer == platform::kAnswerYes)
                continue;
            return nullptr;
        }
        if (((flags | globalFlags) & HeapNoPrompt) != 0)
            return nullptr;
        if (platform::AskYesNo(kNoMemoryCaption, kNoMemoryText) != platform::kAnswerYes)
            return nullptr;
    }

    std::memset(region, 0, kRegionHeaderSize);
    region->growSize = growSize == 0 ? kDefaultRegionSize : growSize;
    region->flags = flags;
    region->regionSize = size;
    region->referenceCount = 1;
    region->parent = parent;
    region->rawBlock = rawBlock;
    if (parent != nullptr)
        ++parent->referenceCount;
    region->freeBytes = size - kFirstPayloadOffset;
    region->largestFree = region->freeBytes;

    Block first = FirstBlock(region);
    SetHeader(first, size - kFirstPayloadOffset, kBlockFree | kBlockLast | kBlockFirst);
    SetPrevious(first, region);
    FreeLinks(first)[0] = 0;
    FreeLinks(first)[1] = 0;
    region->anchor = first;
    PoisonBytes(Payload(first) + 8, size - kFirstPayloadOffset - 8);
    return region;
}

void ReleaseRegionMemory(RegionHeader* region)
{
    UnpoisonBytes(region, region->regionSize);
    RegionHeader* parent = region->parent;
    if (parent == nullptr) {
        platform::FreePages(region, region->regionSize);
        return;
    }
    nplHeapFree(parent, region->rawBlock, 0);
    nplHeapDestroy(parent);
}

bool IndexReserve(RegionHeader* head)
{
    RegionIndex* index = head->index;
    if (index != nullptr && index->count < index->capacity)
        return true;
    std::size_t bytes = index == nullptr ? kIndexFirstBytes : index->bytes * 2;
    auto* grown = static_cast<RegionIndex*>(platform::AllocatePages(bytes, platform::PageAccess::ReadWrite));
    if (grown == nullptr)
        return false;
    grown->bytes = bytes;
    grown->capacity = static_cast<std::uint32_t>((bytes - sizeof(RegionIndex)) / sizeof(RegionHeader*));
    grown->count = 0;
    if (index != nullptr) {
        grown->count = index->count;
        std::memcpy(grown->Entries(), index->Entries(), index->count * sizeof(RegionHeader*));
        platform::FreePages(index, index->bytes);
    }
    head->index = grown;
    return true;
}

bool IndexAdd(RegionHeader* head, RegionHeader* region)
{
    if (!IndexReserve(head))
        return false;
    RegionIndex* index = head->index;
    std::uint32_t at = UpperBound(index, region);
    RegionHeader** entries = index->Entries();
    std::memmove(entries + at + 1, entries + at, (index->count - at) * sizeof(RegionHeader*));
    entries[at] = region;
    ++index->count;
    return true;
}

void IndexRemove(RegionHeader* head, RegionHeader* region)
{
    RegionIndex* index = head->index;
    std::uint32_t at = UpperBound(index, region);
    if (at == 0 || index->Entries()[at - 1] != region)
        return;
    RegionHeader** entries = index->Entries();
    std::memmove(entries + at - 1, entries + at, (index->count - at) * sizeof(RegionHeader*));
    --index->count;
}

void IndexRelease(RegionHeader* head)
{
    if (head->index != nullptr)
        platform::FreePages(head->index, head->index->bytes);
    head->index = nullptr;
}

RegionHeader* FindRegion(RegionHeader* head, const void* address)
{
    // Most blocks live in the head: answer that without the index.
    auto headOffset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(head);
    if (headOffset < head->regionSize)
        return head;
    RegionIndex* index = head->index;
    if (index == nullptr || address == nullptr)
        return nullptr;
    std::uint32_t at = UpperBound(index, address);
    if (at == 0)
        return nullptr;
    RegionHeader* region = index->Entries()[at - 1];
    auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(region);
    return offset < region->regionSize ? region : nullptr;
}

bool IsAllocatedBlock(RegionHeader* region, const void* address)
{
    auto offset = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(region);
    // The FIRST block is never allocated, so an allocated payload starts after it.
    if (offset <= kFirstPayloadOffset + kBlockHeaderSize || offset >= region->regionSize || offset % 8 != 0)
        return false;
    Block block = BlockOf(address);
    if (IsPoisoned(block, kBlockHeaderSize))
        return false;
    std::uint32_t word = block[0];
    if ((word & kBlockValid) == 0 || (word & (kBlockFree | kBlockFirst)) != 0)
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
    if (IsPoisoned(previous, kBlockHeaderSize) || (previous[0] & kBlockValid) == 0 || HasFlag(previous, kBlockLast))
        return false;
    return NextBlock(previous) == block;
}

void FreeListInsertAfterAnchor(RegionHeader* region, Block block)
{
    Block anchor = region->anchor;
    std::uint32_t next = FreeLinks(anchor)[1];
    FreeLinks(block)[0] = OffsetIn(region, anchor);
    FreeLinks(block)[1] = next;
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = OffsetIn(region, block);
    FreeLinks(anchor)[1] = OffsetIn(region, block);
}

void FreeListUnlink(RegionHeader* region, Block block)
{
    std::uint32_t previous = FreeLinks(block)[0];
    std::uint32_t next = FreeLinks(block)[1];
    if (previous != 0)
        FreeLinks(BlockAt(region, previous))[1] = next;
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = previous;
}

void FreeListMoved(RegionHeader* region, Block to)
{
    std::uint32_t previous = FreeLinks(to)[0];
    std::uint32_t next = FreeLinks(to)[1];
    if (previous != 0)
        FreeLinks(BlockAt(region, previous))[1] = OffsetIn(region, to);
    if (next != 0)
        FreeLinks(BlockAt(region, next))[0] = OffsetIn(region, to);
}

} // namespace npl::heap
