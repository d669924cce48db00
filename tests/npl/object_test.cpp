#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "npl/heap.h"
#include "npl/object.h"
#include "npl/platform/pages.h"
#include "npl/ptr_array.h"
#include "npl/string.h"
#include "npl/wide_string.h"

namespace {

// A class two levels below EString, to see the kind test and the cast walk the whole chain.
class TestFileName : public EString {
    NPL_DECLARE_CLASS(EString)

public:
    TestFileName() = default;
};

NPL_DEFINE_CLASS(TestFileName, EString, "TestFileName")

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(NPLObjectKindTest, AnswersForItsOwnNameAndEveryNameAboveIt)
{
    EString text("abc");
    EWideString wide;
    EPtrArray array;
    EObjectList<EString> list;
    NPLObject plain;
    TestFileName name;

    struct Case {
        const NPLObject* object;
        const char* name;
        int expected;
    };
    const Case cases[] = {
        { &text, "EString", 1 },
        { &text, "NPLObject", 1 },
        { &text, "EWideString", 0 },
        { &text, "estring", 0 }, // case-sensitive
        { &text, "EString ", 0 },
        { &text, "EStrin", 0 },
        { &text, "", 0 },
        { &text, nullptr, 0 },
        { &wide, "EWideString", 1 },
        { &wide, "NPLObject", 1 },
        { &wide, "EString", 0 },
        { &array, "EPtrArray", 1 },
        { &array, "NPLObject", 1 },
        { &list, "EPtrArray", 1 }, // an owning list has no identity of its own
        { &plain, "NPLObject", 1 },
        { &plain, "EString", 0 },
        { &plain, nullptr, 0 },
        { &name, "TestFileName", 1 },
        { &name, "EString", 1 },
        { &name, "NPLObject", 1 },
        { &name, "EWideString", 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.object->GetClassName()) + " asked for " + (c.name ? c.name : "(null)"));
        EXPECT_EQ(c.object->IsKindOf(c.name), c.expected);
    }
}

TEST(NPLObjectKindTest, ClassNameIsTheIdentityPointerOfTheNearestNamedClass)
{
    EString text;
    EWideString wide;
    EObjectList<EString> list;
    TestFileName name;
    EXPECT_EQ(text.GetClassName(), EString::ClassName);
    EXPECT_STREQ(text.GetClassName(), "EString");
    EXPECT_EQ(wide.GetClassName(), EWideString::ClassName);
    EXPECT_STREQ(wide.GetClassName(), "EWideString");
    EXPECT_EQ(list.GetClassName(), EPtrArray::ClassName);
    EXPECT_STREQ(name.GetClassName(), "TestFileName");
    // Through the root's table: slot 1 is virtual.
    const NPLObject& root = name;
    EXPECT_EQ(root.GetClassName(), TestFileName::ClassName);
}

TEST(NPLObjectCastTest, MatchesIdentityPointersNeverEqualTexts)
{
    // A separate array, so the compiler cannot fold it into the class's own literal.
    static const char copyOfEString[] = "EString";
    TestFileName name;
    EWideString wide;
    NPLObject& root = name;

    EXPECT_EQ(root.DynamicCast(TestFileName::ClassName), &name);
    EXPECT_EQ(root.DynamicCast(EString::ClassName), static_cast<EString*>(&name));
    EXPECT_EQ(root.DynamicCast(NPLObject::ClassName), &root);
    EXPECT_EQ(root.DynamicCast(copyOfEString), nullptr);
    EXPECT_EQ(root.DynamicCast(EWideString::ClassName), nullptr);
    EXPECT_EQ(root.DynamicCast(EPtrArray::ClassName), nullptr);
    EXPECT_EQ(root.DynamicCast(nullptr), nullptr);
    EXPECT_EQ(wide.DynamicCast(EWideString::ClassName), &wide);
    EXPECT_EQ(wide.DynamicCast(EString::ClassName), nullptr);
}

TEST(CompareTextTest, NullCountsAsEmptyAndBytesCompareUnsigned)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        { nullptr, nullptr, 0 },
        { nullptr, "", 0 },
        { "", nullptr, 0 },
        { nullptr, "a", -1 },
        { "a", nullptr, 1 },
        { "", "", 0 },
        { "abc", "abc", 0 },
        { "abc", "abd", -1 },
        { "abd", "abc", 1 },
        { "ab", "abc", -1 }, // a prefix is less
        { "abc", "ab", 1 },
        { "abc", "ABC", 1 }, // case-sensitive
        { "\x81", "a", 1 }, // 0x81 is above every ASCII byte
        { "a", "\x81", -1 },
        { "ab", "ab\x81", -1 },
        { "ab\x81", "ab", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + " vs " + (c.b ? c.b : "(null)"));
        EXPECT_EQ(Sign(CompareText(c.a, c.b)), c.sign);
    }
}

TEST(CompareTextTest, OrderIsAntisymmetricOverShiftJisNames)
{
    const std::vector<const char*> names = {
        "",
        "a",
        "ab",
        "ab\x81\x40",
        "ABC",
        "\x95\x5C",
        "\x95\x5C\x8E\xA6",
        "\x83\x5C",
        "\x94\x5C",
        "\x83\x5C\x83\x74\x83\x67",
        "\xA6",
        "~",
        "\x7F",
        "\xFC\xFC",
    };
    for (const char* a : names) {
        for (const char* b : names)
            EXPECT_EQ(Sign(CompareText(a, b)), -Sign(CompareText(b, a))) << a << " / " << b;
    }
}

// More than the global heap's regions hold, so the object needs a region of its own.
class LargeObject : public NPLObject {
public:
    LargeObject() { ++constructed; }
    char payload[256 * 1024] = {};
    static int constructed;
};
int LargeObject::constructed = 0;

TEST(NPLObjectAllocationTest, InstancesLiveInTheGlobalHeap)
{
    NPLObject* object = new EString("abc");
    ASSERT_NE(object, nullptr);
    // The global heap knows the block and its size; a foreign address would give 0xFFFFFFFF.
    const std::uint32_t length = nplHeapGetLength(nullptr, object);
    EXPECT_NE(length, 0xFFFFFFFFu);
    EXPECT_GE(length, sizeof(EString));
    EXPECT_EQ(object->IsKindOf("EString"), 1);
    delete object; // slot 0 and the class's operator delete
    EXPECT_EQ(nplVerifyHeapChain(nullptr), 0);
}

// When the heap yields no block, `new` must give null without running the constructor rather
// than handing a null object to it.
TEST(NPLObjectAllocationTest, ExhaustedHeapYieldsNullWithoutConstruction)
{
    nplHeapSetGlobalFlag(HeapNoPrompt);
    npl::platform::InjectPageFailures(-1);
    LargeObject::constructed = 0;
    LargeObject* object = new LargeObject;
    npl::platform::InjectPageFailures(0);
    nplHeapSetGlobalFlag(0);

    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(LargeObject::constructed, 0);

    object = new LargeObject;
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(LargeObject::constructed, 1);
    delete object;
}

} // namespace
