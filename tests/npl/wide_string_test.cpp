#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "npl/heap.h"
#include "npl/platform/code_page.h"
#include "npl/platform/pages.h"
#include "npl/string.h"
#include "npl/wide_string.h"
#include "tests/support/exhausted_heap.h"
#include "tests/support/shift_jis_code_page.h"

namespace {

// Shift_JIS texts whose trail bytes are 0x5C, the backslash.
const char kHyouji[] = "\x95\x5C\x8E\xA6"; // 表示
const char kSoNou[] = "\x83\x5C\x94\x5C"; // ソ能
const char16_t kHyoujiWide[] = u"\u8868\u793A";
const char16_t kSoNouWide[] = u"\u30BD\u80FD";

int Sign(int value) { return (value > 0) - (value < 0); }

std::u16string Text(const EWideString& s) { return std::u16string(s.GetText(), s.GetLength()); }

void ExpectOwnedBlock(const EWideString& s)
{
    ASSERT_TRUE(s.HasBuffer());
    ASSERT_NE(s.GetCapacity(), 0u);
    const std::uint32_t bytes = nplHeapGetLength(nullptr, s.GetText());
    EXPECT_NE(bytes, 0xFFFFFFFFu);
    EXPECT_GE(bytes, (s.GetCapacity() + 1) * 2);
    EXPECT_EQ(s.GetText()[s.GetLength()], u'\0');
}

void ExpectNoBuffer(const EWideString& s)
{
    EXPECT_FALSE(s.HasBuffer());
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), 0u);
    EXPECT_EQ(s.GetText()[0], u'\0');
}

class EWideStringShiftJisTest : public ShiftJisCodePageTest {};

TEST(EWideStringTest, ConstructionCopyAndAssignmentSizes)
{
    const EWideString abc(u"abc");
    EXPECT_EQ(Text(abc), u"abc");
    EXPECT_EQ(abc.GetCapacity(), 5u); // 3 + 3 / 2 + 1
    ExpectOwnedBlock(abc);

    const EWideString copy(abc);
    EXPECT_EQ(Text(copy), u"abc");
    EXPECT_EQ(copy.GetCapacity(), 3u);
    ExpectOwnedBlock(copy);

    const EWideString noBuffer;
    ExpectNoBuffer(noBuffer);
    ExpectNoBuffer(EWideString(static_cast<const char16_t*>(nullptr)));
    const EWideString copyOfNothing(noBuffer);
    EXPECT_EQ(copyOfNothing.GetCapacity(), 1u);
    ExpectOwnedBlock(copyOfNothing);

    EWideString s;
    s = abc;
    EXPECT_EQ(Text(s), u"abc");
    EXPECT_EQ(s.GetCapacity(), 4u); // source length + 1
    s = u"abcdef";
    EXPECT_EQ(s.GetCapacity(), 10u);
    const char16_t* const block = s.GetText();
    s = noBuffer; // empty source: the block stays, emptied
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(s.GetLength(), 0u);
    s = static_cast<const char16_t*>(nullptr); // empty already: nothing happens
    EXPECT_EQ(s.GetText(), block);
    s = u"xy";
    s = static_cast<const char16_t*>(nullptr);
    ExpectNoBuffer(s);
}

TEST(EWideStringTest, AppendGrowsByHalfOfTheNewLength)
{
    EWideString s(u"ab"); // capacity 4
    s += u'c'; // 3 < 4
    EXPECT_EQ(s.GetCapacity(), 4u);
    s += u'd'; // 4 >= 4: 4 + 2 + 1
    EXPECT_EQ(s.GetCapacity(), 7u);
    s += s.GetText();
    EXPECT_EQ(Text(s), u"abcdabcd");
    EXPECT_EQ(s.GetCapacity(), 13u);
    ExpectOwnedBlock(s);
}

TEST(EWideStringTest, CompareTakesUnitsAsUnsigned)
{
    const EWideString abc(u"abc");
    const EWideString fullWidth(u"\uFF21"); // Ａ, far above ASCII as an unsigned unit
    const EWideString noBuffer;
    struct Case {
        const EWideString* string;
        const char16_t* text;
        int sign;
    };
    const Case cases[] = {
        { &noBuffer, nullptr, 0 }, { &noBuffer, u"", 0 }, { &noBuffer, u"a", -1 }, { &abc, nullptr, 1 },
        { &abc, u"abc", 0 }, { &abc, u"abd", -1 }, { &abc, u"ab", 1 }, { &abc, u"abcd", -1 }, { &abc, u"ABC", 1 },
        { &fullWidth, u"a", 1 }, { &abc, u"\uFF21", -1 },
        { &abc, u"\xD800", -1 }, // a lone surrogate is still just a unit
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sign(c.string->Compare(c.text)), c.sign);
}

TEST(EWideStringTest, IdentityIsItsOwn)
{
    EWideString s(u"x");
    EXPECT_STREQ(s.GetClassName(), "EWideString");
    EXPECT_EQ(s.IsKindOf("EWideString"), 1);
    EXPECT_EQ(s.IsKindOf("EString"), 0);
    EXPECT_EQ(s.DynamicCast(EWideString::ClassName), &s);
    EXPECT_EQ(s.DynamicCast(EString::ClassName), nullptr);
}

TEST_F(EWideStringShiftJisTest, ConvertsFromShiftJis)
{
    struct Case {
        const char* text;
        int count;
        std::u16string expected;
        std::uint32_t capacity;
    };
    const Case cases[] = {
        { kHyouji, -1, kHyoujiWide, 4 }, // the terminator is not part of the length
        { kHyouji, 4, kHyoujiWide, 4 },
        { kHyouji, 2, u"\u8868", 2 },
        { kSoNou, -1, kSoNouWide, 4 },
        { "C:\\\x95\x5C\\", -1, u"C:\\\u8868\\", 8 },
        { "", -1, u"", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const EWideString s(c.text, c.count);
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetCapacity(), c.capacity);
        ExpectOwnedBlock(s);
    }
    ExpectNoBuffer(EWideString(static_cast<const char*>(nullptr), -1));
    ExpectNoBuffer(EWideString(static_cast<const char*>(nullptr), 4));
}

TEST_F(EWideStringShiftJisTest, AssignsFromShiftJis)
{
    EWideString s(u"old text");
    s = kSoNou;
    EXPECT_EQ(Text(s), kSoNouWide);
    EXPECT_EQ(s.GetCapacity(), 4u); // 2 + 1 + 1
    ExpectOwnedBlock(s);

    s = static_cast<const char*>(nullptr); // an empty text in a block of capacity 1
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), 1u);
    ExpectOwnedBlock(s);
}

TEST_F(EWideStringShiftJisTest, RoundTripKeepsBackslashTrailBytes)
{
    const std::string path = std::string("C:\\") + kHyouji + "\\" + kSoNou + "\\file.txt";
    const EWideString wide(path.c_str(), -1);
    EXPECT_EQ(Text(wide), std::u16string(u"C:\\") + kHyoujiWide + u"\\" + kSoNouWide + u"\\file.txt");
    const EString back(wide.GetText(), -1);
    EXPECT_EQ(std::string(back.GetText(), back.GetLength()), path);
    EXPECT_EQ(std::string(back.GetFileDirectory().GetText()), std::string("C:\\") + kHyouji + "\\" + kSoNou + "\\");
}

class EWideStringExhaustedHeapTest : public ExhaustedHeapTest {};

// 100 KB of text needs a region of its own, which the heap cannot get.
TEST_F(EWideStringExhaustedHeapTest, StopsWithoutWritingWhenNoBlockComes)
{
    const std::string narrow(100 * 1024, 'x');
    const std::u16string wide(100 * 1024, u'x');
    EWideString s(u"abc");
    const EWideString big(wide.c_str());
    ASSERT_EQ(big.GetLength(), wide.size());

    Exhaust();
    ExpectNoBuffer(EWideString(wide.c_str()));
    ExpectNoBuffer(EWideString(narrow.c_str(), -1));
    ExpectNoBuffer(EWideString(big));
    EXPECT_FALSE(s.Append(wide.c_str()));
    EXPECT_EQ(Text(s), u"abc");
    ExpectOwnedBlock(s);

    EWideString t(u"abc");
    t = narrow.c_str();
    ExpectNoBuffer(t);
    EWideString u(u"abc");
    u = big;
    ExpectNoBuffer(u);
    EXPECT_EQ(nplVerifyHeapChain(nullptr), 0);
}

} // namespace
