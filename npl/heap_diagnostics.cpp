// Looking at a heap from outside: the list of allocated blocks, the region chain check and
// the full invariant check. Every region link is checked against the heap's region index and
// every block header against its region before it is followed, so damaged structures end
// the walk instead of faulting.
#include <cstring>

#include "npl/heap.h"
#include "npl/heap_region.h"
#include "npl/platform/debug_output.h"

using namespace npl::heap;

namespace {

// "NPL の解放されていないメモリブロックがあります\n"
constexpr const char kUnreleasedHeading[]
    = "\x4e\x50\x4c\x20\x82\xcc\x89\xf0\x95\xfa\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x83\x81\x83\x82\x83\x8a"
      "\x83\x75\x83\x8d\x83\x62\x83\x4e\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\n";

constexpr std::uint32_t kDumpBytes = 16;

class LineBuilder {
public:
    void Text(const char* text)
    {
        while (*text != '\0' && length_ + 1 < sizeof buffer_)
            buffer_[length_++] = *text++;
        buffer_[length_] = '\0';
    }
    /// Upper-case hex, at least `digits` digits, more when the value needs them.
    void Hex(unsigned long long value, int digits)
    {
        char text[24];
        int count = 0;
        do {
            text[count++] = "0123456789ABCDEF"[value & 15];
            value >>= 4;
        } while (value != 0 || count < digits);
        char reversed[24];
        for (int i = 0; i < count; ++i)
            reversed[i] = text[count - 1 - i];
        reversed[count] = '\0';
        Text(reversed);
    }
    void Decimal(std::uint32_t value)
    {
        char text[16];
        int count = 0;
        do {
            text[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        char reversed[16];
        for (int i = 0; i < count; ++i)
            reversed[i] = text[count - 1 - i];
        reversed[count] = '\0';
        Text(reversed);
    }
    const char* Get() const { return buffer_; }

private:
    char buffer_[160] = {};
    std::size_t length_ = 0;
};

/// The regions of the chain, each checked against the index before it is used. Stops (and
/// says so) at a link to something that is not a region of this heap, or at a cycle.
class RegionWalk {
public:
    explicit RegionWalk(RegionHeader* head)
        : head_(head)
        , current_(head)
    {
    }
    RegionHeader* Current() const { return current_; }
    bool Broken() const { return broken_; }
    void Advance()
    {
        RegionHeader* next = current_->next;
        if (next != nullptr && (FindRegion(head_, next) != next || ++steps_ >= head_->index->count)) {
            broken_ = true;
            next = nullptr;
        }
        current_ = next;
    }

private:
    RegionHeader* head_;
    RegionHeader* current_;
    std::uint32_t steps_ = 0;
    bool broken_ = false;
};

/// The block after `block` in its region, or null at the end or at a header that does not
/// fit the region.
Block NextInRegion(RegionHeader* region, Block block)
{
    if (HasFlag(block, kBlockLast))
        return nullptr;
    std::uintptr_t offset = OffsetIn(region, block) + kBlockHeaderSize + BlockSize(block);
    if (offset + 2 * kBlockHeaderSize > region->regionSize)
        return nullptr;
    return BlockAt(region, static_cast<std::uint32_t>(offset));
}

bool HeaderFits(RegionHeader* region, Block block)
{
    std::uintptr_t offset = OffsetIn(region, block);
    return (block[0] & kBlockValid) != 0 && offset + kBlockHeaderSize + BlockSize(block) <= region->regionSize;
}

void WriteBlockLine(RegionHeader* region, Block block)
{
    LineBuilder line;
    unsigned char* payload = Payload(block);
    line.Text("block ");
    line.Hex(reinterpret_cast<std::uintptr_t>(payload), 8);
    line.Text("H (");
    line.Decimal(BlockSize(block));
    line.Text(" bytes) :");
    std::uintptr_t available = RegionEnd(region) - payload;
    std::uint32_t count = available < kDumpBytes ? static_cast<std::uint32_t>(available) : kDumpBytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        line.Text(" ");
        line.Hex(payload[i], 2);
    }
    line.Text("\n");
    npl::platform::WriteDebugOutput(line.Get());
}

class HeapLockScope {
public:
    explicit HeapLockScope(RegionHeader* head)
        : head_(head)
    {
        nplHeapLock(head_);
    }
    ~HeapLockScope() { nplHeapUnlock(head_); }
    HeapLockScope(const HeapLockScope&) = delete;
    HeapLockScope& operator=(const HeapLockScope&) = delete;

private:
    RegionHeader* head_;
};

bool Fail(const char* what)
{
    LineBuilder line;
    line.Text("NPL heap check: ");
    line.Text(what);
    line.Text("\n");
    npl::platform::WriteDebugOutput(line.Get());
    return false;
}

bool CheckRegion(RegionHeader* region)
{
    bool dedicated = region->anchor == nullptr;
    Block block = FirstBlock(region);
    Block previous = nullptr;
    std::uint32_t freeBytes = 0;
    std::uint32_t freeBlocks = 0;
    std::uint32_t blocks = 0;
    while (true) {
        if (!HeaderFits(region, block))
            return Fail("block header out of its region");
        if (HasFlag(block, kBlockFirst) != (previous == nullptr))
            return Fail("FIRST flag on the wrong block");
        if (previous == nullptr ? block[1] != kRegionHeaderSize : PreviousBlock(block) != previous)
            return Fail("link to the preceding block is wrong");
        if (HasFlag(block, kBlockFree)) {
            if (previous != nullptr && HasFlag(previous, kBlockFree))
                return Fail("two free blocks side by side");
            if (BlockSize(block) < 8)
                return Fail("free block too small for its links");
            freeBytes += BlockSize(block);
            ++freeBlocks;
        } else if (previous == nullptr) {
            return Fail("first block allocated");
        }
        ++blocks;
        if (HasFlag(block, kBlockLast)) {
            if (Payload(block) + BlockSize(block) != RegionEnd(region))
                return Fail("LAST block does not end the region");
            break;
        }
        previous = block;
        block = NextInRegion(region, block);
        if (block == nullptr)
            return Fail("blocks run past the region");
    }
    if (freeBytes != region->freeBytes)
        return Fail("free bytes do not match the free blocks");
    if (dedicated)
        return blocks == 2 || Fail("dedicated region without exactly one block");

    std::uint32_t listed = 0;
    std::uint32_t previousOffset = 0;
    for (Block free = region->anchor; free != nullptr; free = BlockAt(region, FreeLinks(free)[1])) {
        std::uint32_t offset = OffsetIn(region, free);
        if (offset < kRegionHeaderSize || offset >= region->regionSize || !HasFlag(free, kBlockFree))
            return Fail("free list holds a block that is not free");
        if (FreeLinks(free)[0] != previousOffset)
            return Fail("free list back link is wrong");
        if (++listed > freeBlocks)
            return Fail("free list longer than the free blocks");
        previousOffset = offset;
    }
    if (listed != freeBlocks)
        return Fail("free block missing from the free list");
    return true;
}

} // namespace

namespace npl::heap {

namespace {
    /// The search order must list the head and the extension regions exactly as the chain
    /// does, with their hints, and the entries by address must know their positions. Called
    /// after the chain itself was found sound.
    bool CheckSearchOrder(RegionHeader* head)
    {
        RegionIndex* index = head->index;
        std::uint32_t slot = 0;
        bool dedicatedSeen = false;
        for (RegionHeader* region = head; region != nullptr; region = region->next) {
            std::uint32_t at = IndexUpperBound(index, region) - 1;
            if (region->anchor == nullptr) {
                if (index->SearchSlots()[at] != kNotSearched)
                    return Fail("dedicated region is in the search order");
                dedicatedSeen = true;
                continue;
            }
            // The search ends at the first dedicated region, so none may stand before a
            // searched one.
            if (dedicatedSeen)
                return Fail("extension region after a dedicated region");
            if (slot >= index->searchCount || index->SearchRegions()[slot] != region)
                return Fail("search order and chain disagree");
            if (index->SearchHints()[slot] != region->largestFree)
                return Fail("search order hint and region hint disagree");
            if (index->SearchSlots()[at] != slot)
                return Fail("region index lost a search position");
            ++slot;
        }
        if (slot != index->searchCount)
            return Fail("search order has regions the chain lacks");
        return true;
    }
} // namespace

bool CheckHeap(NPLHeap heap)
{
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return true;
    RegionWalk walk(head);
    std::uint32_t regions = 0;
    RegionHeader* previous = nullptr;
    for (; walk.Current() != nullptr; walk.Advance()) {
        RegionHeader* region = walk.Current();
        if (region->previous != previous)
            return Fail("region chain back link is wrong");
        if (!CheckRegion(region))
            return false;
        Block first = FirstBlock(region);
        bool empty = HasFlag(first, kBlockFree) && HasFlag(first, kBlockLast);
        if (region != head && empty != (region == head->spare))
            return Fail("empty extension region is not the one kept for reuse");
        previous = region;
        ++regions;
    }
    if (walk.Broken())
        return Fail("region chain leaves the heap");
    if (regions != head->index->count)
        return Fail("region index and chain disagree");
    if (head->last != (previous == head ? nullptr : previous))
        return Fail("last region is wrong");
    return CheckSearchOrder(head);
}

} // namespace npl::heap

extern "C" {

void nplHeapDump(NPLHeap heap, std::uint32_t maximumBlocks)
{
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return;
    HeapLockScope lock(head);
    std::uint32_t listed = 0;
    for (RegionWalk walk(head); walk.Current() != nullptr; walk.Advance()) {
        RegionHeader* region = walk.Current();
        for (Block block = FirstBlock(region); block != nullptr && HeaderFits(region, block);
             block = NextInRegion(region, block)) {
            if (HasFlag(block, kBlockFree))
                continue;
            if (listed == maximumBlocks)
                return;
            if (listed == 0)
                npl::platform::WriteDebugOutput(kUnreleasedHeading);
            WriteBlockLine(region, block);
            ++listed;
        }
    }
}

int nplVerifyHeapChain(NPLHeap heap)
{
    RegionHeader* head = HeadOf(heap, false);
    if (head == nullptr)
        return 0;
    HeapLockScope lock(head);
    RegionWalk walk(head);
    RegionHeader* reached = head;
    for (walk.Advance(); walk.Current() != nullptr; walk.Advance()) {
        if (walk.Current()->previous != reached)
            break;
        reached = walk.Current();
    }
    bool sound = walk.Current() == nullptr && !walk.Broken()
        && (reached == head ? head->last == nullptr : reached == head->last);
    if (sound)
        return 0;
    // No debug break: nothing in this library catches one, and a broken chain is reported by
    // the result alone.
    npl::platform::WriteDebugOutput("NPL heap: the region chain is broken\n");
    return 1;
}

} // extern "C"
