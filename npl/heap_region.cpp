// Regions of the library heap: creation with the no-memory policy, release, the index of a
// heap's regions (by address and in search order), and the process-wide heap state.
#include "npl/heap_region.h"

#include <cstring>
#include <new>

#include "npl/heap_sanitizer.h"
#include "npl/platform/message_box.h"
#include "npl/platform/pages.h"

namespace npl::heap {

namespace state {
    RegionHeader* globalHeap = nullptr;
    std::uint32_t globalFlags = 0;
    NPLNoMemoryHook noMemoryHook = nullptr;
}

namespace {
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
} // namespace

RegionHeader* GlobalHead(bool create)
{
    if (state::globalHeap == nullptr && create)
        state::globalHeap = static_cast<RegionHeader*>(nplHeapCreate(0, 0, 0, nullptr));
    return state::globalHeap;
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
        if (state::noMemoryHook != nullptr) {
            int answer = state::noMemoryHook(attempt);
            if (answer == 0 || answer == platform::kAnswerYes)
                continue;
            return nullptr;
        }
        if (((flags | state::globalFlags) & HeapNoPrompt) != 0)
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
    grown->capacity = static_cast<std::uint32_t>((bytes - sizeof(RegionIndex)) / kIndexEntryBytes);
    grown->count = 0;
    grown->searchCount = 0;
    if (index != nullptr) {
        grown->count = index->count;
        grown->searchCount = index->searchCount;
        std::memcpy(grown->Entries(), index->Entries(), index->count * sizeof(RegionHeader*));
        std::memcpy(grown->SearchSlots(), index->SearchSlots(), index->count * sizeof(std::uint32_t));
        std::memcpy(grown->SearchRegions(), index->SearchRegions(), index->searchCount * sizeof(RegionHeader*));
        std::memcpy(grown->SearchHints(), index->SearchHints(), index->searchCount * sizeof(std::uint32_t));
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
    std::uint32_t at = IndexUpperBound(index, region);
    RegionHeader** entries = index->Entries();
    std::uint32_t* slots = index->SearchSlots();
    std::memmove(entries + at + 1, entries + at, (index->count - at) * sizeof(RegionHeader*));
    std::memmove(slots + at + 1, slots + at, (index->count - at) * sizeof(std::uint32_t));
    entries[at] = region;
    slots[at] = kNotSearched;
    ++index->count;
    return true;
}

void IndexRemove(RegionHeader* head, RegionHeader* region)
{
    RegionIndex* index = head->index;
    std::uint32_t at = IndexUpperBound(index, region);
    if (at == 0 || index->Entries()[at - 1] != region)
        return;
    RegionHeader** entries = index->Entries();
    std::uint32_t* slots = index->SearchSlots();
    std::memmove(entries + at - 1, entries + at, (index->count - at) * sizeof(RegionHeader*));
    std::memmove(slots + at - 1, slots + at, (index->count - at) * sizeof(std::uint32_t));
    --index->count;
}

namespace {
    // Records, for the searched regions from position `from` on, their positions in the
    // entries by address.
    void RenumberSearch(RegionIndex* index, std::uint32_t from, std::uint32_t to)
    {
        RegionHeader** regions = index->SearchRegions();
        std::uint32_t* slots = index->SearchSlots();
        for (std::uint32_t slot = from; slot < to; ++slot)
            slots[IndexUpperBound(index, regions[slot]) - 1] = slot;
    }
} // namespace

void SearchAddHead(RegionHeader* head)
{
    RegionIndex* index = head->index;
    index->SearchRegions()[0] = head;
    index->SearchHints()[0] = head->largestFree;
    index->searchCount = 1;
    RenumberSearch(index, 0, 1);
}

void SearchInsertAfterHead(RegionHeader* head, RegionHeader* region)
{
    RegionIndex* index = head->index;
    RegionHeader** regions = index->SearchRegions();
    std::uint32_t* hints = index->SearchHints();
    std::uint32_t count = index->searchCount;
    std::memmove(regions + 2, regions + 1, (count - 1) * sizeof(RegionHeader*));
    std::memmove(hints + 2, hints + 1, (count - 1) * sizeof(std::uint32_t));
    regions[1] = region;
    hints[1] = region->largestFree;
    index->searchCount = count + 1;
    RenumberSearch(index, 1, count + 1);
}

void SearchRemove(RegionHeader* head, RegionHeader* region)
{
    RegionIndex* index = head->index;
    std::uint32_t at = IndexUpperBound(index, region) - 1;
    std::uint32_t slot = index->SearchSlots()[at];
    index->SearchSlots()[at] = kNotSearched;
    RegionHeader** regions = index->SearchRegions();
    std::uint32_t* hints = index->SearchHints();
    std::uint32_t count = index->searchCount;
    std::memmove(regions + slot, regions + slot + 1, (count - slot - 1) * sizeof(RegionHeader*));
    std::memmove(hints + slot, hints + slot + 1, (count - slot - 1) * sizeof(std::uint32_t));
    index->searchCount = count - 1;
    RenumberSearch(index, slot, count - 1);
}

void SearchSwapWithPrevious(RegionHeader* head, RegionHeader* region)
{
    RegionIndex* index = head->index;
    std::uint32_t slot = SearchSlotOf(head, region);
    RegionHeader** regions = index->SearchRegions();
    std::uint32_t* hints = index->SearchHints();
    RegionHeader* before = regions[slot - 1];
    std::uint32_t beforeHint = hints[slot - 1];
    regions[slot - 1] = region;
    hints[slot - 1] = hints[slot];
    regions[slot] = before;
    hints[slot] = beforeHint;
    RenumberSearch(index, slot - 1, slot + 1);
}

void IndexRelease(RegionHeader* head)
{
    if (head->index != nullptr)
        platform::FreePages(head->index, head->index->bytes);
    head->index = nullptr;
}

} // namespace npl::heap
