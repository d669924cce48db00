#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "npl/heap.h"
#include "npl/platform/pages.h"
#include "npl/ptr_array.h"
#include "tests/support/exhausted_heap.h"

namespace {

// Distinct element values that are never dereferenced.
int gSlots[8];
void* const a = &gSlots[0];
void* const b = &gSlots[1];
void* const c = &gSlots[2];
void* const p = &gSlots[7];

std::vector<void*> Elements(const EPtrArray& array)
{
    std::vector<void*> elements;
    for (std::uint32_t i = 0; i < array.GetCount(); ++i)
        elements.push_back(array.GetAt(i));
    return elements;
}

// The storage is a global-heap block of at least capacity slots.
void ExpectStorageInGlobalHeap(const EPtrArray& array)
{
    ASSERT_NE(array.GetData(), nullptr);
    const std::uint32_t bytes = nplHeapGetLength(nullptr, array.GetData());
    EXPECT_NE(bytes, 0xFFFFFFFFu);
    EXPECT_GE(bytes, array.GetCapacity() * sizeof(void*));
}

TEST(EPtrArrayTest, NewArrayHasNoStorage)
{
    EPtrArray array;
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.GetCount(), 0u);
    EXPECT_EQ(array.GetCapacity(), 0u);
    EXPECT_EQ(array.GetGrowStep(), 0u);
    EXPECT_EQ(array.GetAt(0), nullptr);
}

// Growth goes to the next multiple of the step strictly above the new count.
TEST(EPtrArrayTest, SetSizeAllocatesTheNextStepMultipleAboveTheCount)
{
    struct Case {
        std::uint32_t presetCount; // elements before, in storage of exactly that many slots
        std::uint32_t newCount;
        std::uint32_t step;
        std::uint32_t expectedCapacity;
    };
    const Case cases[] = {
        { 0, 5, 0, 6 }, // step 1 on an empty array
        { 0, 8, 4, 12 }, // 8 is a multiple: the next one above
        { 0, 10, 4, 12 }, { 0, 0, 0, 1 }, // no storage yet: even count 0 allocates
        { 10, 11, 0, 15 }, // half the count: 11 - 1 + 5
        { 10, 10, 0, 10 }, // fits: no reallocation
        { 3, 4, 0, 5 }, // half of 3 is 1
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(testing::Message() << "count " << t.presetCount << " -> " << t.newCount << " step " << t.step);
        EPtrArray array;
        if (t.presetCount != 0) {
            ASSERT_TRUE(array.SetCapacity(t.presetCount));
            ASSERT_TRUE(array.SetSize(t.presetCount));
            ASSERT_EQ(array.GetCapacity(), t.presetCount);
        }
        ASSERT_TRUE(array.SetSize(t.newCount, t.step));
        EXPECT_EQ(array.GetCapacity(), t.expectedCapacity);
        EXPECT_EQ(array.GetCount(), t.newCount);
        ExpectStorageInGlobalHeap(array);
        for (std::uint32_t i = 0; i < t.newCount; ++i)
            EXPECT_EQ(array.GetAt(i), nullptr) << i;
    }
}

TEST(EPtrArrayTest, GrowStepOnceSetStaysForLaterGrowth)
{
    EPtrArray array;
    ASSERT_TRUE(array.SetSize(1, 4));
    EXPECT_EQ(array.GetCapacity(), 4u);
    ASSERT_TRUE(array.SetSize(5));
    EXPECT_EQ(array.GetGrowStep(), 4u);
    EXPECT_EQ(array.GetCapacity(), 8u);
}

TEST(EPtrArrayTest, ShrinkingKeepsStorageAndValuesBeyondTheCount)
{
    EPtrArray array;
    ASSERT_TRUE(array.SetSize(3));
    ASSERT_TRUE(array.SetAt(0, a));
    ASSERT_TRUE(array.SetAt(1, b));
    ASSERT_TRUE(array.SetAt(2, c));
    void** const data = array.GetData();
    const std::uint32_t capacity = array.GetCapacity();

    ASSERT_TRUE(array.SetSize(1));
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array.GetCapacity(), capacity);
    EXPECT_EQ(array.GetAt(1), nullptr); // beyond the count
    EXPECT_EQ(data[1], b); // but still stored

    // Growing again within the storage clears the slots that come back.
    ASSERT_TRUE(array.SetSize(3));
    EXPECT_EQ(Elements(array), (std::vector<void*> { a, nullptr, nullptr }));
}

TEST(EPtrArrayTest, InsertAtMovesLaterElementsUpAndPadsWithNull)
{
    struct Case {
        std::uint32_t index;
        std::vector<void*> expected;
    };
    const Case cases[] = {
        { 0, { p, a, b } },
        { 1, { a, p, b } },
        { 2, { a, b, p } }, // at the count: appends
        { 5, { a, b, nullptr, nullptr, nullptr, p } },
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.index);
        EPtrArray array;
        ASSERT_TRUE(array.InsertAt(0, b));
        ASSERT_TRUE(array.InsertAt(0, a));
        ASSERT_EQ(Elements(array), (std::vector<void*> { a, b }));
        ASSERT_TRUE(array.InsertAt(t.index, p));
        EXPECT_EQ(Elements(array), t.expected);
        EXPECT_GE(array.GetCapacity(), array.GetCount());
    }
}

TEST(EPtrArrayTest, ManyInsertsKeepOrderAndReallocateRarely)
{
    EPtrArray array;
    std::vector<void*> expected;
    int reallocations = 0;
    std::uint32_t capacity = 0;
    for (int i = 0; i < 2000; ++i) {
        void* element = &gSlots[i % 8];
        const std::uint32_t index = static_cast<std::uint32_t>(i / 3);
        ASSERT_TRUE(array.InsertAt(index, element));
        expected.insert(expected.begin() + index, element);
        if (array.GetCapacity() != capacity) {
            ++reallocations;
            capacity = array.GetCapacity();
        }
    }
    EXPECT_EQ(Elements(array), expected);
    EXPECT_LT(reallocations, 30); // growth by half the count: logarithmic
}

TEST(EPtrArrayTest, GetAtAtOrBeyondTheCountIsNull)
{
    EPtrArray array;
    ASSERT_TRUE(array.SetSize(2, 8));
    ASSERT_TRUE(array.SetAt(1, b));
    EXPECT_EQ(array.GetAt(1), b);
    for (std::uint32_t index : { 2u, 3u, 7u, 8u, 0x80000000u, 0xFFFFFFFFu })
        EXPECT_EQ(array.GetAt(index), nullptr) << index;
    EXPECT_FALSE(array.SetAt(2, p));
    EXPECT_EQ(array.GetData()[2], nullptr);
}

TEST(EPtrArrayTest, RemoveAllReleasesStorageButNotTheElements)
{
    std::vector<int> values = { 1, 2, 3 };
    EPtrArray array;
    for (int& value : values)
        ASSERT_TRUE(array.InsertAt(array.GetCount(), &value));
    array.RemoveAll();
    EXPECT_EQ(array.GetCount(), 0u);
    EXPECT_EQ(array.GetCapacity(), 0u);
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(values, (std::vector<int> { 1, 2, 3 }));
}

TEST(EPtrArrayTest, SetCapacityBelowTheCountChangesNothing)
{
    EPtrArray array;
    ASSERT_TRUE(array.SetSize(5));
    void** const data = array.GetData();
    ASSERT_TRUE(array.SetCapacity(4));
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array.GetCapacity(), 6u);
    EXPECT_EQ(array.GetCount(), 5u);

    ASSERT_TRUE(array.SetCapacity(5, 3)); // at the count: exactly that, and the step is kept
    EXPECT_EQ(array.GetCapacity(), 5u);
    EXPECT_EQ(array.GetGrowStep(), 3u);
    ExpectStorageInGlobalHeap(array);
}

TEST(EPtrArrayTest, FreeBufferKeepsTheCountAndLaterGrowthGivesNullSlots)
{
    EPtrArray array;
    ASSERT_TRUE(array.SetSize(3));
    ASSERT_TRUE(array.SetAt(0, a));
    array.FreeBuffer();
    EXPECT_EQ(array.GetData(), nullptr);
    EXPECT_EQ(array.GetCapacity(), 0u);
    EXPECT_EQ(array.GetCount(), 3u);
    EXPECT_EQ(array.GetAt(0), nullptr); // no storage: nothing to read

    // Fresh storage under an old count must not show stale slots.
    ASSERT_TRUE(array.SetSize(4));
    EXPECT_EQ(Elements(array), (std::vector<void*> { nullptr, nullptr, nullptr, nullptr }));
}

// Direct AllocBuffer below the count: the count follows, so it never exceeds the storage.
TEST(EPtrArrayTest, AllocBufferBelowTheCountCutsTheCount)
{
    EPtrArray array;
    ASSERT_TRUE(array.InsertAt(0, c));
    ASSERT_TRUE(array.InsertAt(0, b));
    ASSERT_TRUE(array.InsertAt(0, a));
    ASSERT_TRUE(array.AllocBuffer(2));
    EXPECT_EQ(array.GetCapacity(), 2u);
    EXPECT_EQ(Elements(array), (std::vector<void*> { a, b }));
}

TEST(EPtrArrayTest, SizesBeyondTheAddressableFailWithoutChange)
{
    EPtrArray array;
    ASSERT_TRUE(array.InsertAt(0, a));
    const std::uint32_t capacity = array.GetCapacity();
    EXPECT_FALSE(array.SetSize(0xFFFFFFFFu));
    EXPECT_FALSE(array.InsertAt(0xFFFFFFFFu, p)); // index + 1 wraps
    EXPECT_FALSE(array.SetCapacity(0xFFFFFFFFu));
    EXPECT_EQ(array.GetCount(), 1u);
    EXPECT_EQ(array.GetCapacity(), capacity);
    EXPECT_EQ(array.GetAt(0), a);
}

// The heap refuses every new region: growth that needs one fails and the array stays as it was.
class ExhaustedHeap : public ExhaustedHeapTest {};

TEST_F(ExhaustedHeap, GrowthThatNeedsANewRegionFailsAndLeavesTheArray)
{
    EPtrArray array;
    ASSERT_TRUE(array.InsertAt(0, a));
    ASSERT_TRUE(array.InsertAt(1, b));
    void** const data = array.GetData();
    const std::uint32_t capacity = array.GetCapacity();

    Exhaust();
    // 200,000 slots need a block far beyond any existing region.
    EXPECT_FALSE(array.SetSize(200000));
    EXPECT_FALSE(array.InsertAt(200000, p));
    EXPECT_FALSE(array.AllocBuffer(200000));
    EXPECT_FALSE(array.SetCapacity(200000));
    EXPECT_EQ(array.GetData(), data);
    EXPECT_EQ(array.GetCapacity(), capacity);
    EXPECT_EQ(Elements(array), (std::vector<void*> { a, b }));

    EPtrArray fresh;
    EXPECT_FALSE(fresh.SetSize(200000));
    EXPECT_EQ(fresh.GetData(), nullptr);
    EXPECT_EQ(fresh.GetCount(), 0u);
    EXPECT_EQ(fresh.GetCapacity(), 0u);

    TearDown();
    ASSERT_TRUE(array.SetSize(200000));
    EXPECT_EQ(array.GetAt(1), b);
    EXPECT_EQ(array.GetAt(199999), nullptr);
}

// Elements that record their destruction and may shrink their list while being destroyed.
class Tracked : public NPLObject {
public:
    Tracked(int id, std::vector<int>& log, EPtrArray* shrinkList = nullptr, std::uint32_t shrinkTo = 0)
        : id_(id)
        , log_(log)
        , shrinkList_(shrinkList)
        , shrinkTo_(shrinkTo)
    {
    }
    ~Tracked() override
    {
        log_.push_back(id_);
        if (shrinkList_ != nullptr)
            (void)shrinkList_->SetSize(shrinkTo_);
    }

private:
    int id_;
    std::vector<int>& log_;
    EPtrArray* shrinkList_;
    std::uint32_t shrinkTo_;
};

TEST(EObjectListTest, DestroysElementsLastFirstSkippingNull)
{
    std::vector<int> log;
    {
        EObjectList<Tracked> list;
        for (int id = 0; id < 5; ++id)
            ASSERT_TRUE(list.InsertAt(list.GetCount(), id == 2 ? nullptr : new Tracked(id, log)));
        EXPECT_STREQ(list.GetClassName(), "EPtrArray");
    }
    EXPECT_EQ(log, (std::vector<int> { 4, 3, 1, 0 }));
}

// An element's destructor that shrinks the list: the walk goes on from the new last element,
// and elements cut off by the shrink are not destroyed by the list.
TEST(EObjectListTest, WalkRestartsAtTheNewLastElementWhenAnElementShrinksTheList)
{
    std::vector<int> log;
    auto* list = new EObjectList<Tracked>;
    ASSERT_NE(list, nullptr);
    std::vector<Tracked*> elements;
    for (int id = 0; id < 5; ++id) {
        elements.push_back(new Tracked(id, log, id == 3 ? list : nullptr, 1));
        ASSERT_TRUE(list->InsertAt(list->GetCount(), elements.back()));
    }
    list->DeleteAll();
    EXPECT_EQ(log, (std::vector<int> { 4, 3, 0 }));
    EXPECT_EQ(list->GetCount(), 0u);
    EXPECT_EQ(list->GetData(), nullptr);
    delete list;

    delete elements[1];
    delete elements[2];
    EXPECT_EQ(log, (std::vector<int> { 4, 3, 0, 1, 2 }));
}

} // namespace
