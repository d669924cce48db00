#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "npl/heap.h"
#include "npl/heap_region.h"
#include "npl/platform/debug_output.h"
#include "npl/platform/pages.h"

using namespace npl::heap;
using npl::platform::InjectPageFailures;
using npl::platform::SetDebugOutputSink;

namespace {

constexpr std::uint32_t kNotABlock = 0xFFFFFFFF;

void FillPattern(void* at, std::uint32_t size, std::uint32_t seed)
{
    auto* bytes = static_cast<unsigned char*>(at);
    for (std::uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(seed * 31 + i * 7 + (i >> 8));
}

/// The index of the first byte that differs from the pattern, or -1.
long long PatternMismatch(const void* at, std::uint32_t size, std::uint32_t seed)
{
    const auto* bytes = static_cast<const unsigned char*>(at);
    for (std::uint32_t i = 0; i < size; ++i) {
        if (bytes[i] != static_cast<unsigned char>(seed * 31 + i * 7 + (i >> 8)))
            return i;
    }
    return -1;
}

bool AllZero(const void* at, std::uint32_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(at);
    for (std::uint32_t i = 0; i < size; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

std::uint32_t ChainLength(RegionHeader* head)
{
    std::uint32_t count = 0;
    for (RegionHeader* region = head; region != nullptr; region = region->next)
        ++count;
    return count;
}

// Every test starts from a fresh private heap and leaves the process-wide state as it was.
class Heap : public ::testing::Test {
protected:
    void SetUp() override
    {
        heap_ = nplHeapCreate(0, 0, 0, nullptr);
        ASSERT_NE(heap_, nullptr);
    }
    void TearDown() override
    {
        InjectPageFailures(0);
        nplHeapHookNoMemory(nullptr);
        nplHeapSetGlobalFlag(0);
        SetDebugOutputSink(nullptr, nullptr);
        EXPECT_TRUE(CheckHeap(heap_));
        EXPECT_EQ(nplVerifyHeapChain(heap_), 0);
        nplHeapDestroy(heap_);
    }
    RegionHeader* Head() const { return static_cast<RegionHeader*>(heap_); }
    void* Allocate(std::uint32_t size, std::uint32_t flags = 0) { return nplHeapAllocate(heap_, size, flags); }

    NPLHeap heap_ = nullptr;
};

TEST_F(Heap, PayloadSizesAreMultiplesOfEightAndZeroCountsAsOne)
{
    struct Case {
        std::uint32_t request;
        std::uint32_t length;
    };
    for (Case c :
        { Case { 0, 8 }, Case { 1, 8 }, Case { 8, 8 }, Case { 9, 16 }, Case { 100, 104 }, Case { 4096, 4096 } }) {
        void* block = Allocate(c.request);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(nplHeapGetLength(heap_, block), c.length) << "request " << c.request;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u);
    }
}

TEST_F(Heap, GlobalHeapServesNullHandleAndIsCreatedOnFirstUse)
{
    nplFreeGlobalHeap();
    void* block = nplHeapAllocate(nullptr, 0, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(nplHeapGetLength(nullptr, block), 8u);
    EXPECT_EQ(nplHeapGetLength(nplGetGlobalHeap(), block), 8u);
    // A block of the global heap is not a block of another heap.
    EXPECT_EQ(nplHeapGetLength(heap_, block), kNotABlock);
    nplHeapFree(nullptr, block, 0);
    EXPECT_EQ(nplHeapGetLength(nullptr, block), kNotABlock);
    nplFreeGlobalHeap();
    nplHeapUnlock(nullptr); // no global heap: nothing to leave, and none is created
    nplHeapFree(nullptr, block, 0);
    EXPECT_EQ(nplHeapGetLength(nullptr, block), kNotABlock);
    nplHeapLock(nullptr); // creates it
    NPLHeap created = nplGetGlobalHeap();
    EXPECT_NE(created, nullptr);
    nplHeapUnlock(nullptr);
    nplFreeGlobalHeap();
}

TEST_F(Heap, FreshHeadHasOneFreeBlockOfRegionSizeLessFirstPayloadOffset)
{
    EXPECT_EQ(Head()->regionSize, 65536u);
    EXPECT_EQ(Head()->growSize, 65536u);
    EXPECT_EQ(Head()->freeBytes, 65536u - kFirstPayloadOffset);
    Block first = FirstBlock(Head());
    EXPECT_EQ(reinterpret_cast<unsigned char*>(Payload(first)) - reinterpret_cast<unsigned char*>(Head()),
        static_cast<std::ptrdiff_t>(kFirstPayloadOffset));
    EXPECT_EQ(BlockSize(first), 65536u - kFirstPayloadOffset);
    EXPECT_TRUE(HasFlag(first, kBlockFree) && HasFlag(first, kBlockLast) && HasFlag(first, kBlockFirst));
    // The first allocation is cut from the end of that block.
    void* block = Allocate(64);
    EXPECT_EQ(static_cast<unsigned char*>(block) + 64, RegionEnd(Head()));
    EXPECT_EQ(Head()->freeBytes, 65536u - kFirstPayloadOffset - 72);
}

TEST_F(Heap, SizesRoundUpToPagesAndZeroMeansDefault)
{
    NPLHeap heap = nplHeapCreate(5000, 12345, 0, nullptr);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(static_cast<RegionHeader*>(heap)->regionSize, 8192u);
    EXPECT_EQ(static_cast<RegionHeader*>(heap)->growSize, 12345u);
    nplHeapDestroy(heap);
}

// Half the grow size is where large blocks stop competing for region space.
TEST_F(Heap, HalfGrowSizeRequestGetsDedicatedRegionReleasedAtFree)
{
    void* large = Allocate(32768);
    ASSERT_NE(large, nullptr);
    RegionHeader* region = FindRegion(Head(), large);
    ASSERT_NE(region, nullptr);
    EXPECT_NE(region, Head());
    EXPECT_EQ(region->regionSize, RoundUp(32768 + kDedicatedOverhead, 4096));
    EXPECT_EQ(static_cast<unsigned char*>(large) - reinterpret_cast<unsigned char*>(region),
        static_cast<std::ptrdiff_t>(kDedicatedOverhead));
    EXPECT_EQ(region->anchor, nullptr);
    EXPECT_EQ(Head()->last, region);
    EXPECT_EQ(nplHeapGetLength(heap_, large), region->regionSize - kDedicatedOverhead);
    FillPattern(large, 32768, 3);

    nplHeapFree(heap_, large, 0);
    EXPECT_EQ(Head()->next, nullptr);
    EXPECT_EQ(Head()->last, nullptr);
    EXPECT_EQ(Head()->index->count, 1u);
    EXPECT_EQ(FindRegion(Head(), large), nullptr);
}

TEST_F(Heap, JustBelowHalfGrowSizeIsSearchedAndOpensExtensionRightAfterHead)
{
    void* a = Allocate(32760);
    void* filler = Allocate(32000);
    EXPECT_EQ(FindRegion(Head(), a), Head());
    EXPECT_EQ(FindRegion(Head(), filler), Head());
    void* b = Allocate(32760); // the head has 65,536 - first payload offset - 32,768 left
    RegionHeader* first = FindRegion(Head(), b);
    ASSERT_NE(first, Head());
    EXPECT_EQ(first->regionSize, 65536u);
    EXPECT_EQ(Head()->next, first);
    EXPECT_EQ(Head()->last, first);
    void* small = Allocate(1000);
    EXPECT_EQ(FindRegion(Head(), small), first);
    void* c = Allocate(32760);
    RegionHeader* second = FindRegion(Head(), c);
    ASSERT_NE(second, first);
    ASSERT_NE(second, Head());
    EXPECT_EQ(Head()->next, second);
    EXPECT_EQ(second->next, first);
    EXPECT_EQ(Head()->last, first);

    // Emptying extension regions keeps exactly one of them, at the front.
    nplHeapFree(heap_, b, 0);
    nplHeapFree(heap_, small, 0);
    EXPECT_EQ(Head()->next, first);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(Head()->last, second);
    nplHeapFree(heap_, c, 0);
    EXPECT_EQ(Head()->next, second);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(Head()->last, second);
    EXPECT_EQ(Head()->index->count, 2u);
    nplHeapFree(heap_, a, 0);
    nplHeapFree(heap_, filler, 0);
}

TEST_F(Heap, RoomierExtensionRegionMovesOneStepTowardTheFront)
{
    std::vector<void*> older;
    std::vector<void*> newer;
    for (int i = 0; i < 8; ++i)
        Allocate(8000); // the head is full after these
    RegionHeader* olderRegion = nullptr;
    for (int i = 0; i < 8; ++i) {
        older.push_back(Allocate(8000));
        olderRegion = FindRegion(Head(), older.back());
    }
    for (int i = 0; i < 8; ++i)
        newer.push_back(Allocate(8000));
    RegionHeader* newerRegion = FindRegion(Head(), newer.front());
    ASSERT_NE(olderRegion, newerRegion);
    ASSERT_EQ(Head()->next, newerRegion);
    ASSERT_EQ(newerRegion->next, olderRegion);
    nplHeapFree(heap_, older[0], 0);
    nplHeapFree(heap_, older[2], 0);
    EXPECT_EQ(Head()->next, olderRegion);
    EXPECT_EQ(olderRegion->next, newerRegion);
    EXPECT_EQ(Head()->last, newerRegion);
}

// Hundreds of small regions: more than the region index holds in its first page, so the
// index grows while regions are added, and frees reorder them. The search keeps its own
// copy of the chain order and the hints; it must still take the first region in chain
// order that has room, however the regions were moved.
TEST(HeapManyRegions, SearchTakesFirstRoomyRegionInChainOrderAfterReordering)
{
    constexpr int kRegions = 300;
    constexpr std::uint32_t kBlock = 1800; // two fit in a 4,096-byte region, a third does not
    NPLHeap heap = nplHeapCreate(4096, 4096, 0, nullptr);
    ASSERT_NE(heap, nullptr);
    auto* head = static_cast<RegionHeader*>(heap);
    std::vector<void*> blocks;
    for (int i = 0; i < 2 * kRegions; ++i) {
        blocks.push_back(nplHeapAllocate(heap, kBlock, 0));
        ASSERT_NE(blocks.back(), nullptr);
    }
    ASSERT_EQ(ChainLength(head), static_cast<std::uint32_t>(kRegions));
    ASSERT_EQ(head->index->count, static_cast<std::uint32_t>(kRegions));

    // Free one block in every third region, in a scattered order: each such region gains
    // free bytes and overtakes its predecessor. The region's first allocation is the one at
    // its end, away from the free first block, so that it stays a free block of its own.
    std::vector<void*> freed;
    for (int region = 0; region < kRegions; region += 3)
        freed.push_back(blocks[2 * region]);
    std::mt19937 random(7);
    std::shuffle(freed.begin(), freed.end(), random);
    for (void* block : freed) {
        nplHeapFree(heap, block, 0);
        ASSERT_TRUE(CheckHeap(heap));
    }

    // Each 1,000-byte request fits only a freed block; it must come from the first region
    // of the chain that holds one.
    for (std::size_t i = 0; i < freed.size(); ++i) {
        RegionHeader* expected = nullptr;
        for (RegionHeader* region = head; region != nullptr && expected == nullptr; region = region->next) {
            if (region->freeBytes >= kBlock)
                expected = region;
        }
        ASSERT_NE(expected, nullptr);
        void* block = nplHeapAllocate(heap, 1000, 0);
        ASSERT_EQ(FindRegion(head, block), expected) << "request " << i;
        ASSERT_TRUE(CheckHeap(heap));
    }
    EXPECT_EQ(ChainLength(head), static_cast<std::uint32_t>(kRegions)); // no region was added
    nplHeapDestroy(heap);
}

TEST_F(Heap, NeighboursFreedInEitherOrderBecomeOneBlock)
{
    for (bool upperFirst : { true, false }) {
        // Blocks are cut from the end of the anchor, so later blocks lie lower.
        void* guardHigh = Allocate(64);
        void* upper = Allocate(64);
        void* lower = Allocate(64);
        void* guardLow = Allocate(64);
        ASSERT_EQ(static_cast<unsigned char*>(upper) - static_cast<unsigned char*>(lower), 72);
        std::uint32_t freeBefore = Head()->freeBytes;
        nplHeapFree(heap_, upperFirst ? upper : lower, 0);
        nplHeapFree(heap_, upperFirst ? lower : upper, 0);
        Block merged = BlockOf(lower);
        EXPECT_TRUE(HasFlag(merged, kBlockFree));
        EXPECT_EQ(BlockSize(merged), 64u + 64u + 8u);
        EXPECT_EQ(Head()->freeBytes, freeBefore + 136);
        EXPECT_EQ(nplHeapGetLength(heap_, upper), kNotABlock);
        EXPECT_TRUE(CheckHeap(heap_));
        nplHeapFree(heap_, guardHigh, 0);
        nplHeapFree(heap_, guardLow, 0);
    }
    EXPECT_EQ(Head()->freeBytes, 65536u - kFirstPayloadOffset);
}

class HeapReallocate : public Heap, public ::testing::WithParamInterface<std::uint32_t> { };

TEST_P(HeapReallocate, GrowsInPlaceIntoFollowingFreeBlock)
{
    std::uint32_t flags = GetParam();
    Allocate(64);
    void* follower = Allocate(64);
    void* block = Allocate(64);
    Allocate(64);
    FillPattern(block, 64, 1);
    std::memset(follower, 0xAB, 64); // stale bytes that a zero fill must clear
    nplHeapFree(heap_, follower, 0);

    // A small step takes bytes from the front of the free block.
    EXPECT_EQ(nplHeapReallocate(heap_, block, 80, flags), block);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 80u);
    EXPECT_EQ(PatternMismatch(block, 64, 1), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(block) + 64, 16));
    }
    EXPECT_TRUE(CheckHeap(heap_));

    // A step of at least half the free block absorbs it whole.
    EXPECT_EQ(nplHeapReallocate(heap_, block, 130, flags), block);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 136u);
    EXPECT_EQ(PatternMismatch(block, 64, 1), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(block) + 64, 72));
    }
    EXPECT_TRUE(CheckHeap(heap_));

    // No more room beside it: the block moves and keeps its contents.
    void* moved = nplHeapReallocate(heap_, block, 1000, flags);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, block);
    EXPECT_EQ(PatternMismatch(moved, 64, 1), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(moved) + 136, 1000 - 136));
    }
    EXPECT_EQ(nplHeapGetLength(heap_, block), kNotABlock);
}

TEST_P(HeapReallocate, ShrinkGivesSurplusToFollowingFreeBlockOnly)
{
    std::uint32_t flags = GetParam();
    Allocate(64);
    void* follower = Allocate(64);
    void* block = Allocate(64);
    void* other = Allocate(64);
    Allocate(64);
    FillPattern(block, 64, 2);
    FillPattern(other, 64, 3);
    nplHeapFree(heap_, follower, 0);
    std::uint32_t freeBefore = Head()->freeBytes;

    EXPECT_EQ(nplHeapReallocate(heap_, block, 30, flags), block);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 32u);
    EXPECT_EQ(Head()->freeBytes, freeBefore + 32);
    EXPECT_EQ(PatternMismatch(block, 30, 2), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(block) + 30, 2));
    }

    // Its neighbour is allocated: the block keeps its size.
    EXPECT_EQ(nplHeapReallocate(heap_, other, 20, flags), other);
    EXPECT_EQ(nplHeapGetLength(heap_, other), 64u);
    EXPECT_EQ(PatternMismatch(other, 20, 3), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(other) + 20, 44));
    }
}

// The LAST block of a region cannot hand its surplus on, so small results move.
TEST_P(HeapReallocate, ShrinkingLastBlockToSmallSizeMovesIt)
{
    std::uint32_t flags = GetParam();
    void* last = Allocate(1000);
    ASSERT_TRUE(HasFlag(BlockOf(last), kBlockLast));
    FillPattern(last, 1000, 4);
    void* moved = nplHeapReallocate(heap_, last, 200, flags);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, last);
    EXPECT_EQ(PatternMismatch(moved, 200, 4), -1);
    EXPECT_EQ(nplHeapGetLength(heap_, last), kNotABlock);

    // Above both limits (256 bytes, grow size / 16) the block stays as it is.
    nplHeapFree(heap_, moved, 0);
    void* big = Allocate(8000);
    FillPattern(big, 8000, 5);
    ASSERT_TRUE(HasFlag(BlockOf(big), kBlockLast));
    EXPECT_EQ(nplHeapReallocate(heap_, big, 5000, flags), big);
    EXPECT_EQ(nplHeapGetLength(heap_, big), 8000u);
    EXPECT_EQ(PatternMismatch(big, 5000, 5), -1);
    if (flags & HeapZeroFill) {
        EXPECT_TRUE(AllZero(static_cast<unsigned char*>(big) + 5000, 3000));
    }

    // A dedicated block shrunk this small moves out, and its region goes.
    void* large = Allocate(40000);
    FillPattern(large, 40000, 6);
    void* small = nplHeapReallocate(heap_, large, 100, flags);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(PatternMismatch(small, 100, 6), -1);
    EXPECT_EQ(Head()->last, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Flags, HeapReallocate, ::testing::Values(0u, HeapZeroFill));

TEST_F(Heap, ReallocateOfNullAllocatesAndSameSizeKeepsAddress)
{
    void* block = nplHeapReallocate(heap_, nullptr, 20, HeapZeroFill);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 24u);
    EXPECT_TRUE(AllZero(block, 24));
    EXPECT_EQ(nplHeapReallocate(heap_, block, 17, 0), block);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 24u);
}

TEST_F(Heap, ZeroFillClearsRecycledBytes)
{
    void* block = Allocate(200);
    std::memset(block, 0x5A, 200);
    nplHeapFree(heap_, block, 0);
    void* again = Allocate(200, HeapZeroFill);
    EXPECT_TRUE(AllZero(again, 200));
    void* viaHeapFlag = nullptr;
    NPLHeap zeroing = nplHeapCreate(0, 0, HeapZeroFill, nullptr);
    viaHeapFlag = nplHeapAllocate(zeroing, 100, 0);
    std::memset(viaHeapFlag, 0x5A, 100);
    nplHeapFree(zeroing, viaHeapFlag, 0);
    EXPECT_TRUE(AllZero(nplHeapAllocate(zeroing, 100, 0), 100));
    nplHeapDestroy(zeroing);
}

TEST_F(Heap, RequestsOfOneGibibyteOrMoreFail)
{
    nplHeapSetGlobalFlag(HeapNoPrompt);
    EXPECT_EQ(Allocate(0x40000000), nullptr);
    EXPECT_EQ(Allocate(0xFFFFFFFF), nullptr);
    void* block = Allocate(100);
    FillPattern(block, 100, 7);
    EXPECT_EQ(nplHeapReallocate(heap_, block, 0x40000000, 0), nullptr);
    EXPECT_EQ(nplHeapReallocate(heap_, block, 0xFFFFFFF9, 0), nullptr);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 104u);
    EXPECT_EQ(PatternMismatch(block, 100, 7), -1);
    EXPECT_EQ(nplHeapCreate(0x40001000, 0, HeapNoPrompt, nullptr), nullptr);
}

// Addresses that are not blocks of the heap must be recognised before any header is read.
TEST_F(Heap, AddressesThatAreNotBlocksAreIgnored)
{
    void* upper = Allocate(64);
    void* block = Allocate(64);
    Allocate(64);
    // Payload bytes that look like a block header must not make an inner address a block.
    auto* words = static_cast<std::uint32_t*>(block);
    words[0] = kBlockValid | (32 / 4);
    words[1] = 16;
    NPLHeap other = nplHeapCreate(0, 0, 0, nullptr);
    void* foreign = nplHeapAllocate(other, 64, 0);

    alignas(16) unsigned char onStack[64] = {};
    void* fromMalloc = std::malloc(64);
    std::memset(fromMalloc, 0, 64);
    std::vector<void*> wild = {
        onStack + 16,
        fromMalloc,
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x10000)), // nothing mapped there
        static_cast<unsigned char*>(block) + 8,
        static_cast<unsigned char*>(block) + 1,
        static_cast<unsigned char*>(block) + 4,
        Payload(FirstBlock(Head())),
        RegionEnd(Head()) - 8 + 4096 * 16,
        Head(),
        foreign,
    };
    std::uint32_t freeBefore = Head()->freeBytes;
    for (void* address : wild) {
        EXPECT_EQ(nplHeapGetLength(heap_, address), kNotABlock) << address;
        EXPECT_EQ(nplHeapReallocate(heap_, address, 16, 0), nullptr) << address;
        nplHeapFree(heap_, address, 0);
    }
    EXPECT_EQ(Head()->freeBytes, freeBefore);
    EXPECT_EQ(nplHeapGetLength(heap_, block), 64u);
    EXPECT_EQ(nplHeapGetLength(other, foreign), 64u);

    // Freed twice, and freed again after merging into its neighbour: both ignored.
    nplHeapFree(heap_, block, 0);
    std::uint32_t freeAfter = Head()->freeBytes;
    nplHeapFree(heap_, block, 0);
    EXPECT_EQ(Head()->freeBytes, freeAfter);
    nplHeapFree(heap_, upper, 0);
    freeAfter = Head()->freeBytes;
    nplHeapFree(heap_, upper, 0);
    nplHeapFree(heap_, block, 0);
    EXPECT_EQ(Head()->freeBytes, freeAfter);
    EXPECT_EQ(nplHeapGetLength(heap_, upper), kNotABlock);
    EXPECT_EQ(nplHeapReallocate(heap_, upper, 8, 0), nullptr);

    std::free(fromMalloc);
    EXPECT_TRUE(CheckHeap(other));
    nplHeapDestroy(other);
}

std::vector<int> hookAttempts;
int hookAnswer = 0;
int RecordingHook(int attempt)
{
    hookAttempts.push_back(attempt);
    return hookAnswer;
}

TEST_F(Heap, NoMemoryHookIsAskedWithAttemptNumbersUntilItGivesUp)
{
    struct Case {
        int refusals;
        int answer;
        bool succeeds;
        std::vector<int> attempts;
    };
    const Case cases[] = {
        { 3, 0, true, { 0, 1, 2 } },
        { 2, 6, true, { 0, 1 } },
        { -1, 1, false, { 0 } },
        { -1, 7, false, { 0 } },
    };
    nplHeapHookNoMemory(RecordingHook);
    for (const Case& c : cases) {
        hookAttempts.clear();
        hookAnswer = c.answer;
        InjectPageFailures(c.refusals);
        void* block = Allocate(40000); // a dedicated region: new pages for sure
        InjectPageFailures(0);
        EXPECT_EQ(block != nullptr, c.succeeds) << "answer " << c.answer;
        EXPECT_EQ(hookAttempts, c.attempts) << "answer " << c.answer;
        nplHeapFree(heap_, block, 0);
    }
}

TEST_F(Heap, NoPromptFailsWithoutAskingWhenPagesAreRefused)
{
    void* kept = Allocate(100);
    FillPattern(kept, 100, 8);
    InjectPageFailures(-1);
    nplHeapSetGlobalFlag(HeapNoPrompt);
    EXPECT_EQ(Allocate(40000), nullptr);
    EXPECT_EQ(nplHeapCreate(0, 0, 0, nullptr), nullptr);
    // A reallocation that needs a new region fails and leaves the old block valid.
    EXPECT_EQ(nplHeapReallocate(heap_, kept, 60000, 0), nullptr);
    nplHeapSetGlobalFlag(0);
    // The call's own flag, and the heap's creation flag, do the same.
    EXPECT_EQ(Allocate(40000, HeapNoPrompt), nullptr);
    InjectPageFailures(0);
    NPLHeap quiet = nplHeapCreate(0, 0, HeapNoPrompt, nullptr);
    ASSERT_NE(quiet, nullptr);
    InjectPageFailures(-1);
    EXPECT_EQ(nplHeapAllocate(quiet, 40000, 0), nullptr);
    InjectPageFailures(0);
    nplHeapDestroy(quiet);
    EXPECT_EQ(nplHeapGetLength(heap_, kept), 104u);
    EXPECT_EQ(PatternMismatch(kept, 100, 8), -1);
    EXPECT_EQ(Head()->next, nullptr);
}

TEST_F(Heap, ChildHeapTakesRegionsFromItsParentAndHoldsItAlive)
{
    RegionHeader* parent = Head();
    NPLHeap child = nplHeapCreate(0, 0, 0, heap_);
    ASSERT_NE(child, nullptr);
    auto* childHead = static_cast<RegionHeader*>(child);
    EXPECT_EQ(parent->referenceCount, 2);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(childHead) % 16, 0u);
    EXPECT_NE(nplHeapGetLength(heap_, childHead->rawBlock), kNotABlock);

    // With a parent there are no dedicated regions: large blocks get extension regions from it.
    void* large = nplHeapAllocate(child, 70000, 0);
    ASSERT_NE(large, nullptr);
    FillPattern(large, 70000, 9);
    RegionHeader* extension = FindRegion(childHead, large);
    ASSERT_NE(extension, childHead);
    EXPECT_EQ(extension->regionSize, RoundUp(70000 + kExtensionOverhead, 4096));
    EXPECT_EQ(parent->referenceCount, 3);
    EXPECT_TRUE(CheckHeap(child));
    EXPECT_TRUE(CheckHeap(heap_));
    EXPECT_EQ(PatternMismatch(large, 70000, 9), -1);
    nplHeapDestroy(child);
    // The child's regions went back: only the reference of this fixture is left.
    EXPECT_EQ(parent->referenceCount, 1);
    EXPECT_TRUE(CheckHeap(heap_));
    Block first = FirstBlock(parent);
    EXPECT_TRUE(HasFlag(first, kBlockFree) && HasFlag(first, kBlockLast));
}

TEST_F(Heap, NoLockHeapHasNoLockAndStillWorks)
{
    NPLHeap heap = nplHeapCreate(0, 0, HeapNoLock, nullptr);
    nplHeapLock(heap);
    void* block = nplHeapAllocate(heap, 10, 0);
    nplHeapUnlock(heap);
    EXPECT_EQ(nplHeapGetLength(heap, block), 16u);
    nplHeapFree(heap, block, 0);
    EXPECT_TRUE(CheckHeap(heap));
    nplHeapDestroy(heap);
}

struct Captured {
    std::string text;
};

void Capture(const char* text, void* context) { static_cast<Captured*>(context)->text += text; }

// "NPL の解放されていないメモリブロックがあります\n" in code page 932.
const std::string kHeading = "\x4e\x50\x4c\x20\x82\xcc\x89\xf0\x95\xfa\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xc8\x82\xa2"
                             "\x83\x81\x83\x82\x83\x8a\x83\x75\x83\x8d\x83\x62\x83\x4e\x82\xaa\x82\xa0\x82\xe8\x82\xdc"
                             "\x82\xb7\n";

std::vector<std::string> BlockLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return lines;
}

std::string ExpectedLine(const void* address, std::uint32_t size, std::uint32_t bytes)
{
    char text[64];
    std::snprintf(text, sizeof text,
        "block %08llXH (%u bytes) :", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)), size);
    std::string line = text;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        std::snprintf(text, sizeof text, " %02X", static_cast<const unsigned char*>(address)[i]);
        line += text;
    }
    return line + "\n";
}

TEST_F(Heap, FreeGlobalHeapListsTheThreeBlocksStillAllocated)
{
    nplFreeGlobalHeap();
    std::vector<void*> blocks;
    for (std::uint32_t i = 0; i < 3; ++i) {
        blocks.push_back(nplHeapAllocate(nullptr, 20 + i * 8, 0));
        FillPattern(blocks.back(), 20 + i * 8, i);
    }
    std::vector<std::string> expected;
    // Listed from the region's start: the last allocation lies lowest.
    for (int i = 2; i >= 0; --i)
        expected.push_back(ExpectedLine(blocks[i], 24 + i * 8, 16));
    Captured captured;
    SetDebugOutputSink(Capture, &captured);
    nplFreeGlobalHeap();
    SetDebugOutputSink(nullptr, nullptr);
    ASSERT_EQ(captured.text.compare(0, kHeading.size(), kHeading), 0) << captured.text;
    std::vector<std::string> lines = BlockLines(captured.text.substr(kHeading.size()));
    EXPECT_EQ(lines, expected);
}

TEST_F(Heap, FreeGlobalHeapListsAtMostOneHundredBlocks)
{
    nplFreeGlobalHeap();
    for (int i = 0; i < 150; ++i)
        nplHeapAllocate(nullptr, 16, HeapZeroFill);
    Captured captured;
    SetDebugOutputSink(Capture, &captured);
    nplFreeGlobalHeap();
    SetDebugOutputSink(nullptr, nullptr);
    ASSERT_EQ(captured.text.compare(0, kHeading.size(), kHeading), 0);
    std::vector<std::string> lines = BlockLines(captured.text.substr(kHeading.size()));
    ASSERT_EQ(lines.size(), 100u);
    std::regex format("block [0-9A-F]{8,16}H \\(16 bytes\\) :( 00){16}\n");
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line, format)) << line;
}

TEST_F(Heap, DumpOfEmptyHeapWritesNothingAndStopsAtRegionEnd)
{
    Captured captured;
    SetDebugOutputSink(Capture, &captured);
    nplHeapDump(heap_, 100);
    EXPECT_EQ(captured.text, "");
    // An 8-byte LAST block ends the region: only its own 8 bytes can be shown.
    void* last = Allocate(8);
    FillPattern(last, 8, 1);
    nplHeapDump(heap_, 100);
    EXPECT_EQ(captured.text, kHeading + ExpectedLine(last, 8, 8));
    captured.text.clear();
    nplHeapDump(heap_, 0);
    EXPECT_EQ(captured.text, "");
}

TEST_F(Heap, VerifyChainFindsDamagedLinksWithoutFollowingThem)
{
    Allocate(40000); // dedicated, at the tail
    Allocate(32760);
    Allocate(32760); // opens an extension region
    RegionHeader* extension = Head()->next;
    ASSERT_NE(extension, nullptr);
    ASSERT_NE(extension->anchor, nullptr);
    EXPECT_EQ(nplVerifyHeapChain(heap_), 0);

    Captured captured;
    SetDebugOutputSink(Capture, &captured);
    RegionHeader* saved = extension->previous;
    extension->previous = nullptr;
    EXPECT_EQ(nplVerifyHeapChain(heap_), 1);
    extension->previous = saved;
    EXPECT_EQ(nplVerifyHeapChain(heap_), 0);

    alignas(16) unsigned char bogus[256] = {};
    RegionHeader* savedNext = extension->next;
    for (RegionHeader* damage :
        { reinterpret_cast<RegionHeader*>(bogus), reinterpret_cast<RegionHeader*>(0x10000), extension }) {
        extension->next = damage;
        EXPECT_EQ(nplVerifyHeapChain(heap_), 1);
        nplHeapDump(heap_, 1000); // ends early, does not fault
    }
    extension->next = savedNext;

    RegionHeader* savedLast = Head()->last;
    Head()->last = extension;
    EXPECT_EQ(nplVerifyHeapChain(heap_), 1);
    Head()->last = savedLast;
    EXPECT_EQ(nplVerifyHeapChain(heap_), 0);
    EXPECT_NE(captured.text.find("broken"), std::string::npos);
}

TEST_F(Heap, DumpStopsAtDamagedBlockHeader)
{
    void* a = Allocate(64);
    Allocate(64);
    Block header = BlockOf(a);
    std::uint32_t saved = header[0];
    header[0] = kBlockValid | kBlockSizeMask; // a size far beyond the region
    Captured captured;
    SetDebugOutputSink(Capture, &captured);
    nplHeapDump(heap_, 100);
    EXPECT_EQ(BlockLines(captured.text.substr(kHeading.size())).size(), 1u);
    header[0] = saved;
}

TEST_F(Heap, ThreadsSharingOneHeapKeepItSound)
{
    constexpr int kThreads = 4;
    std::atomic<int> damaged { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &damaged] {
            std::mt19937 random(t);
            std::vector<std::pair<void*, std::uint32_t>> live;
            for (int i = 0; i < 20000; ++i) {
                if (live.size() < 200 && random() % 2 == 0) {
                    std::uint32_t size = 1 + random() % 600;
                    void* block = nplHeapAllocate(heap_, size, 0);
                    FillPattern(block, size, size + t);
                    live.emplace_back(block, size);
                } else if (!live.empty()) {
                    std::size_t at = random() % live.size();
                    if (PatternMismatch(live[at].first, live[at].second, live[at].second + t) != -1)
                        ++damaged;
                    nplHeapFree(heap_, live[at].first, 0);
                    live[at] = live.back();
                    live.pop_back();
                }
            }
            for (auto& [block, size] : live)
                nplHeapFree(heap_, block, 0);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(damaged.load(), 0);
}

#if defined(NPL_SANITIZE)
// Free blocks of the library heap are poisoned, so misuse inside it is caught like misuse of
// the C runtime's heap.
TEST_F(Heap, UseAfterFreeIsReportedBySanitizer)
{
    auto* block = static_cast<unsigned char*>(Allocate(64));
    Allocate(64);
    nplHeapFree(heap_, block, 0);
    EXPECT_DEATH(block[32] = 1, "use-after-poison");
}
#endif

struct StressConfig {
    const char* name;
    std::uint32_t growSize;
    bool withParent;
    std::uint32_t flags;
};

class HeapStress : public ::testing::TestWithParam<StressConfig> { };

// Random allocate/free/reallocate against a list of what each block must hold.
TEST_P(HeapStress, RandomOperationsKeepContentsAndInvariants)
{
    const StressConfig& config = GetParam();
    NPLHeap parent = config.withParent ? nplHeapCreate(0, 0, 0, nullptr) : nullptr;
    NPLHeap heap = nplHeapCreate(0, config.growSize, config.flags, parent);
    ASSERT_NE(heap, nullptr);
    struct Live {
        void* block;
        std::uint32_t size;
        std::uint32_t seed;
    };
    std::vector<Live> live;
    std::mt19937 random(12345);
    auto randomSize = [&random]() -> std::uint32_t {
        std::uint32_t kind = random() % 100;
        if (kind < 70)
            return random() % 257;
        if (kind < 95)
            return 257 + random() % 8000;
        return 8000 + random() % 70000;
    };
    std::uint32_t seed = 0;
    for (int step = 0; step < 30000; ++step) {
        std::uint32_t action = random() % 100;
        if (action < 45 || live.empty()) {
            std::uint32_t size = randomSize();
            bool zero = random() % 4 == 0;
            void* block = nplHeapAllocate(heap, size, zero ? std::uint32_t { HeapZeroFill } : 0u);
            ASSERT_NE(block, nullptr);
            ASSERT_GE(nplHeapGetLength(heap, block), size);
            if (zero) {
                ASSERT_TRUE(AllZero(block, size));
            }
            FillPattern(block, size, ++seed);
            live.push_back({ block, size, seed });
        } else if (action < 75) {
            std::size_t at = random() % live.size();
            ASSERT_EQ(PatternMismatch(live[at].block, live[at].size, live[at].seed), -1) << "step " << step;
            nplHeapFree(heap, live[at].block, 0);
            live[at] = live.back();
            live.pop_back();
        } else {
            std::size_t at = random() % live.size();
            Live& entry = live[at];
            std::uint32_t size = randomSize();
            bool zero = random() % 3 == 0;
            std::uint32_t before = nplHeapGetLength(heap, entry.block);
            void* block = nplHeapReallocate(heap, entry.block, size, zero ? std::uint32_t { HeapZeroFill } : 0u);
            ASSERT_NE(block, nullptr);
            std::uint32_t kept = size < entry.size ? size : entry.size;
            ASSERT_EQ(PatternMismatch(block, kept, entry.seed), -1) << "step " << step;
            if (zero && size > before) {
                ASSERT_TRUE(AllZero(static_cast<unsigned char*>(block) + before, size - before)) << "step " << step;
            }
            ASSERT_GE(nplHeapGetLength(heap, block), size);
            FillPattern(block, size, ++seed);
            entry = { block, size, seed };
        }
        if (step % 1000 == 0) {
            ASSERT_TRUE(CheckHeap(heap)) << "step " << step;
            ASSERT_EQ(nplVerifyHeapChain(heap), 0);
        }
    }
    for (const Live& entry : live) {
        ASSERT_EQ(PatternMismatch(entry.block, entry.size, entry.seed), -1);
        nplHeapFree(heap, entry.block, 0);
    }
    ASSERT_TRUE(CheckHeap(heap));
    auto* head = static_cast<RegionHeader*>(heap);
    EXPECT_EQ(head->freeBytes, head->regionSize - kFirstPayloadOffset);
    EXPECT_LE(ChainLength(head), 2u); // at most the one empty extension region stays
    nplHeapDestroy(heap);
    if (parent != nullptr) {
        EXPECT_TRUE(CheckHeap(parent));
        nplHeapDestroy(parent);
    }
}

INSTANTIATE_TEST_SUITE_P(Configurations, HeapStress,
    ::testing::Values(StressConfig { "DefaultGrowSize", 0, false, 0 }, StressConfig { "SmallGrowSize", 8192, false, 0 },
        StressConfig { "FromParentHeap", 0, true, 0 },
        StressConfig { "NoLockZeroFill", 0, false, HeapNoLock | HeapZeroFill }),
    [](const ::testing::TestParamInfo<StressConfig>& item) { return std::string(item.param.name); });

} // namespace
