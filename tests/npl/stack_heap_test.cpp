#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "npl/heap.h"
#include "npl/platform/pages.h"

namespace {

unsigned char* Bytes(void* at) { return static_cast<unsigned char*>(at); }

class StackHeap : public ::testing::Test {
protected:
    void TearDown() override
    {
        npl::platform::InjectPageFailures(0);
        nplStackHeapDestroy(stack_);
    }
    NPLStackHeap stack_ = nullptr;
};

TEST_F(StackHeap, AllocationsComeInSixteenByteGranules)
{
    stack_ = nplStackHeapCreate(0, 0, 0);
    ASSERT_NE(stack_, nullptr);
    void* a = nplStackHeapAllocate(stack_, 1);
    void* b = nplStackHeapAllocate(stack_, 1);
    void* c = nplStackHeapAllocate(stack_, 17);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(Bytes(b) - Bytes(a), 16);
    EXPECT_EQ(Bytes(c) - Bytes(b), 16);
    // A size of 0 gives the top without taking it.
    void* top = nplStackHeapAllocate(stack_, 0);
    EXPECT_EQ(Bytes(top) - Bytes(c), 32);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 16), top);
    std::memset(a, 0x11, 1);
    std::memset(c, 0x33, 17);
    EXPECT_EQ(Bytes(a)[0], 0x11);
}

TEST_F(StackHeap, RequestBeyondCapacityOpensRegionOfAtLeastGrowSize)
{
    stack_ = nplStackHeapCreate(4096, 8192, 0);
    ASSERT_NE(stack_, nullptr);
    void* a = nplStackHeapAllocate(stack_, 3000);
    std::memset(a, 0x5A, 3000);
    void* b = nplStackHeapAllocate(stack_, 2000); // does not fit the first region's rest
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(Bytes(b) < Bytes(a) || Bytes(b) >= Bytes(a) + 4096);
    // The new region holds at least the grow size: these follow b without another region.
    void* c = nplStackHeapAllocate(stack_, 5000);
    EXPECT_EQ(Bytes(c), Bytes(b) + 2000);
    std::memset(c, 0x77, 5000);
    EXPECT_EQ(Bytes(a)[2999], 0x5A);

    // Larger than the grow size: a region big enough for the request.
    void* huge = nplStackHeapAllocate(stack_, 100000);
    ASSERT_NE(huge, nullptr);
    std::memset(huge, 0x42, 100000);
    EXPECT_EQ(Bytes(c)[4999], 0x77);
}

TEST_F(StackHeap, LeaveReleasesOnlyWithinCurrentRegion)
{
    stack_ = nplStackHeapCreate(4096, 4096, 0);
    ASSERT_NE(stack_, nullptr);
    void* early = nplStackHeapAllocate(stack_, 64);
    void* a = nplStackHeapAllocate(stack_, 3900); // forces the next into a new region
    void* b = nplStackHeapAllocate(stack_, 1000);
    void* c = nplStackHeapAllocate(stack_, 100);
    ASSERT_NE(nplStackHeapAllocate(stack_, 100), nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Bytes(c), Bytes(b) + 1008);

    nplStackHeapLeave(stack_, c); // releases c and d
    EXPECT_EQ(nplStackHeapAllocate(stack_, 0), c);
    void* again = nplStackHeapAllocate(stack_, 100);
    EXPECT_EQ(again, c);

    // Ignored: an address of an earlier region, one not on a granule, one above the top.
    void* top = nplStackHeapAllocate(stack_, 0);
    for (void* ignored : std::initializer_list<void*> { early, Bytes(b) + 8, top, Bytes(top) + 16 })
        nplStackHeapLeave(stack_, ignored);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 0), top);
}

TEST_F(StackHeap, FreeReturnsToTheFirstRegionEmpty)
{
    stack_ = nplStackHeapCreate(4096, 4096, 0);
    ASSERT_NE(stack_, nullptr);
    void* first = nplStackHeapAllocate(stack_, 16);
    for (int i = 0; i < 10; ++i)
        ASSERT_NE(nplStackHeapAllocate(stack_, 3000), nullptr);
    nplStackHeapFree(stack_);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 16), first);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 16), Bytes(first) + 16);
}

TEST_F(StackHeap, RefusedPagesGiveNull)
{
    npl::platform::InjectPageFailures(1);
    EXPECT_EQ(nplStackHeapCreate(0, 0, 0), nullptr);
    stack_ = nplStackHeapCreate(4096, 4096, 0);
    ASSERT_NE(stack_, nullptr);
    void* kept = nplStackHeapAllocate(stack_, 4000);
    npl::platform::InjectPageFailures(1);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 1000), nullptr);
    // Nothing was consumed by the failed call, and the stack heap still works.
    EXPECT_EQ(nplStackHeapAllocate(stack_, 0), Bytes(kept) + 4000);
    EXPECT_NE(nplStackHeapAllocate(stack_, 1000), nullptr);
    EXPECT_EQ(nplStackHeapAllocate(stack_, 0xFFFFFFFF), nullptr);
}

TEST_F(StackHeap, NullHandlesAreIgnored)
{
    nplStackHeapDestroy(nullptr);
    nplStackHeapFree(nullptr);
    nplStackHeapLeave(nullptr, nullptr);
    EXPECT_EQ(nplStackHeapAllocate(nullptr, 16), nullptr);
}

} // namespace
