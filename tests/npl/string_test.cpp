#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "npl/heap.h"
#include "npl/platform/code_page.h"
#include "npl/platform/pages.h"
#include "npl/string.h"
#include "tests/support/exhausted_heap.h"
#include "tests/support/shift_jis_code_page.h"

namespace {

// Shift_JIS texts whose trail bytes are 0x5C, the backslash.
const char kHyou[] = "\x95\x5C"; // 表
const char kSo[] = "\x83\x5C"; // ソ
const char kNou[] = "\x94\x5C"; // 能
const char kHyouji[] = "\x95\x5C\x8E\xA6"; // 表示

int Sign(int value) { return (value > 0) - (value < 0); }

std::string Text(const EString& s) { return std::string(s.GetText(), s.GetLength()); }

// The block belongs to the global heap and holds capacity + 1 characters.
void ExpectOwnedBlock(const EString& s)
{
    ASSERT_TRUE(s.HasBuffer());
    ASSERT_NE(s.GetCapacity(), 0u);
    const std::uint32_t bytes = nplHeapGetLength(nullptr, s.GetText());
    EXPECT_NE(bytes, 0xFFFFFFFFu);
    EXPECT_GE(bytes, s.GetCapacity() + 1);
    EXPECT_EQ(s.GetText()[s.GetLength()], '\0');
}

void ExpectNoBuffer(const EString& s)
{
    EXPECT_FALSE(s.HasBuffer());
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), 0u);
    EXPECT_STREQ(s.GetText(), "");
}

class ShiftJisCodePage : public ShiftJisCodePageTest {};

TEST(EStringConstructionTest, CapacitiesFollowTheSourceKind)
{
    struct Case {
        const char* label;
        EString string;
        const char* text;
        std::uint32_t capacity; // 0: no buffer
    };
    const EString abc("abc");
    const EString noBuffer;
    Case cases[] = {
        { "text abc", EString("abc"), "abc", 5 }, // 3 + 3 / 2 + 1
        { "empty text", EString(""), "", 1 },
        { "null text", EString(static_cast<const char*>(nullptr)), "", 0 },
        { "count 3 of abcdef", EString("abcdef", 3), "abc", 5 },
        { "count -1", EString("abcdef", -1), "abcdef", 10 },
        { "count 0", EString("abc", 0), "", 0 },
        { "null with count -1", EString(static_cast<const char*>(nullptr), -1), "", 0 },
        { "null with count 5", EString(static_cast<const char*>(nullptr), 5), "", 0 },
        { "copy of abc", EString(abc), "abc", 3 },
        { "copy of no buffer", EString(noBuffer), "", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Text(c.string), c.text);
        EXPECT_EQ(c.string.GetCapacity(), c.capacity);
        if (c.capacity == 0)
            ExpectNoBuffer(c.string);
        else
            ExpectOwnedBlock(c.string);
    }
}

// A counted construction may take in zeros; comparing such a string with a shorter text must
// stop at the text's terminator instead of reading past it.
TEST(EStringConstructionTest, CountKeepsEmbeddedZeros)
{
    const EString s("a\0b", 3);
    EXPECT_EQ(s.GetLength(), 3u);
    EXPECT_EQ(Text(s), std::string("a\0b", 3));
    EXPECT_GT(s.Compare("a"), 0);
    EXPECT_GT(s.CompareNoCase("A"), 0);
    EXPECT_LT(s.Compare("b"), 0);
}

TEST(EStringBufferTest, AllocBufferSizesExactlyAndKeepsTheText)
{
    EString s("abcdef");
    ASSERT_TRUE(s.AllocBuffer(20));
    EXPECT_EQ(s.GetCapacity(), 20u);
    EXPECT_EQ(Text(s), "abcdef");
    ExpectOwnedBlock(s);

    EString empty;
    ASSERT_TRUE(empty.AllocBuffer(0)); // 0 counts as 1
    EXPECT_EQ(empty.GetCapacity(), 1u);
    EXPECT_EQ(empty.GetLength(), 0u);
    ExpectOwnedBlock(empty);
}

// Nothing in the library shrinks below the length, but a direct call must not leave the length
// above the capacity with the terminator outside the block.
TEST(EStringBufferTest, AllocBufferBelowTheLengthCutsTheText)
{
    EString s("abcdef");
    ASSERT_TRUE(s.AllocBuffer(2));
    EXPECT_EQ(s.GetCapacity(), 2u);
    EXPECT_EQ(Text(s), "ab");
    ExpectOwnedBlock(s);
}

TEST(EStringBufferTest, BorrowedTextIsCopiedOnFirstChangeAndNeverWritten)
{
    char foreign[] = "borrowed";
    EString s;
    s.Borrow(foreign);
    EXPECT_TRUE(s.IsBorrowed());
    EXPECT_EQ(s.GetText(), foreign);
    EXPECT_EQ(s.GetLength(), 8u);
    EXPECT_EQ(s.GetCapacity(), 0u);
    EXPECT_EQ(s.GetBuffer(), nullptr); // not ours to write
    s.UpdateLength(); // nothing to update in a foreign text
    EXPECT_EQ(s.GetLength(), 8u);

    s += '!';
    EXPECT_FALSE(s.IsBorrowed());
    EXPECT_NE(s.GetText(), foreign);
    EXPECT_EQ(Text(s), "borrowed!");
    ExpectOwnedBlock(s);
    EXPECT_STREQ(foreign, "borrowed");

    EString cut;
    cut.Borrow(foreign);
    ASSERT_TRUE(cut.AllocBuffer(3)); // copies what fits
    EXPECT_EQ(Text(cut), "bor");
    ExpectOwnedBlock(cut);
    EXPECT_STREQ(foreign, "borrowed");
}

TEST(EStringBufferTest, UpdateLengthFindsTheFirstZeroWithinTheCapacity)
{
    EString s;
    ASSERT_TRUE(s.AllocBuffer(8));
    std::memcpy(s.GetBuffer(), "abc\0defg", 9);
    s.UpdateLength();
    EXPECT_EQ(s.GetLength(), 3u);
    EXPECT_EQ(Text(s), "abc");
}

// A system call that filled the whole block without a terminator: the last character gives
// way to the terminator so the text stays inside the block.
TEST(EStringBufferTest, UpdateLengthOnAFullBufferDropsTheLastCharacter)
{
    EString s;
    ASSERT_TRUE(s.AllocBuffer(8));
    std::memset(s.GetBuffer(), 'x', 9);
    s.UpdateLength();
    EXPECT_EQ(s.GetLength(), 7u);
    EXPECT_EQ(Text(s), "xxxxxxx");
    EXPECT_EQ(s.GetText()[7], '\0');
}

TEST(EStringAssignTest, AssignmentRules)
{
    EString s("hello world");
    const char* const block = s.GetText();
    const EString& same = s;
    s = same; // self-assignment does nothing
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(Text(s), "hello world");

    s = s.GetText(); // its own buffer: nothing happens
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(s.GetCapacity(), 17u);

    const EString noBuffer;
    s = noBuffer; // empty source: the owned block stays, emptied
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), 17u);
    EXPECT_STREQ(s.GetText(), "");

    const EString abc("abc");
    s = abc; // capacity = source length + 1
    EXPECT_EQ(Text(s), "abc");
    EXPECT_EQ(s.GetCapacity(), 4u);
    ExpectOwnedBlock(s);

    s = "abcd"; // text: length + length / 2 + 1
    EXPECT_EQ(Text(s), "abcd");
    EXPECT_EQ(s.GetCapacity(), 7u);

    s = static_cast<const char*>(nullptr);
    ExpectNoBuffer(s);

    EString t;
    t = noBuffer; // both empty, t owns nothing: a block of capacity 1
    EXPECT_EQ(t.GetCapacity(), 1u);
    ExpectOwnedBlock(t);
}

// Assigning a tail of the string's own text: the block may move or shrink under the source.
TEST(EStringAssignTest, AssigningATailOfItsOwnTextCopiesItFirst)
{
    EString s("0123456789abcdefghijklmnopqrstuvwxyz");
    s = s.GetText() + 30;
    EXPECT_EQ(Text(s), "uvwxyz");
    EXPECT_EQ(s.GetCapacity(), 10u);
    ExpectOwnedBlock(s);
}

TEST(EStringAppendTest, CharacterGrowsOnlyWhenTheNewLengthReachesTheCapacity)
{
    struct Case {
        std::uint32_t length; // before the append, in a block of capacity 10
        std::uint32_t expectedCapacity;
    };
    const Case cases[] = { { 0, 10 }, { 8, 10 }, { 9, 16 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        EString s;
        ASSERT_TRUE(s.AllocBuffer(10));
        for (std::uint32_t i = 0; i < c.length; ++i)
            ASSERT_TRUE(s.Append('a'));
        ASSERT_EQ(s.GetCapacity(), 10u);
        ASSERT_TRUE(s.Append('z'));
        EXPECT_EQ(s.GetCapacity(), c.expectedCapacity);
        EXPECT_EQ(Text(s), std::string(c.length, 'a') + "z");
        ExpectOwnedBlock(s);
    }
}

TEST(EStringAppendTest, TextAppendsGrowByHalfAndAcceptNullAndItself)
{
    EString s("ab"); // capacity 4
    ASSERT_TRUE(s.Append("cde")); // 5 >= 4: 5 + 2 + 1
    EXPECT_EQ(Text(s), "abcde");
    EXPECT_EQ(s.GetCapacity(), 8u);
    ASSERT_TRUE(s.Append(static_cast<const char*>(nullptr)));
    EXPECT_EQ(Text(s), "abcde");

    s += s.GetText(); // the source lies in the block that grows
    EXPECT_EQ(Text(s), "abcdeabcde");
    s += s.GetText() + 8;
    EXPECT_EQ(Text(s), "abcdeabcdede");
    ExpectOwnedBlock(s);
}

TEST(EStringAppendTest, RepeatedAppendsReallocateLogarithmically)
{
    EString s;
    std::string expected;
    int changes = 0;
    std::uint32_t capacity = 0;
    for (int i = 0; i < 20000; ++i) {
        const char character = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(s.Append(character));
        expected += character;
        if (s.GetCapacity() != capacity) {
            ++changes;
            capacity = s.GetCapacity();
        }
    }
    EXPECT_EQ(Text(s), expected);
    EXPECT_LT(changes, 30);
}

TEST(EStringConcatenationTest, ResultIsExactlySizedAndTheOperandUnchanged)
{
    const EString abc("abc");
    const EString sum = abc + "def";
    EXPECT_EQ(Text(sum), "abcdef");
    EXPECT_EQ(sum.GetCapacity(), 6u);
    ExpectOwnedBlock(sum);
    EXPECT_EQ(Text(abc), "abc");
    EXPECT_EQ(abc.GetCapacity(), 5u);

    const EString empty = EString() + nullptr;
    EXPECT_EQ(empty.GetLength(), 0u);
    EXPECT_EQ(empty.GetCapacity(), 1u);
    ExpectOwnedBlock(empty);
}

TEST(EStringFormatHexTest, DigitsAndWidths)
{
    struct Case {
        std::uint32_t value;
        int digits;
        std::string expected;
        std::uint32_t capacity; // 32, or the digit count when it is larger
    };
    const Case cases[] = {
        { 0x1A2B, 0, "1A2B", 32 },
        { 0x1A2B, 6, "001A2B", 32 },
        { 0x1A2B, 2, "2B", 32 }, // only the low digits
        { 0, 0, "0", 32 },
        { 0xF, 0, "F", 32 },
        { 0x10, 0, "10", 32 },
        { 0xFFFFFFFF, 0, "FFFFFFFF", 32 },
        { 0x10000000, -3, "10000000", 32 },
        { 5, 10, "0000000005", 32 }, // beyond the eighth digit: zeros
        { 0xDEADBEEF, 8, "DEADBEEF", 32 },
        { 0xABCDEF01, 40, std::string(32, '0') + "ABCDEF01", 40 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const EString s = EString::FormatHex(c.value, c.digits);
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetCapacity(), c.capacity);
        ExpectOwnedBlock(s);
    }
}

TEST(EStringRightTest, LastCharactersSizedAsACountedConstruction)
{
    const EString abc("abc");
    struct Case {
        std::uint32_t n;
        const char* expected;
        std::uint32_t capacity;
    };
    const Case cases[] = {
        { 0, "", 0 },
        { 1, "c", 2 },
        { 2, "bc", 4 },
        { 3, "abc", 5 },
        { 5, "abc", 5 },
        { 0xFFFFFFFF, "abc", 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        const EString right = abc.Right(c.n);
        EXPECT_EQ(Text(right), c.expected);
        EXPECT_EQ(right.GetCapacity(), c.capacity);
    }
    ExpectNoBuffer(EString().Right(1));
}

TEST(EStringCompareTest, CaseSensitiveWithSignedBytes)
{
    const EString abc("abc");
    const EString high("\x81");
    EString emptyOwned;
    ASSERT_TRUE(emptyOwned.AllocBuffer(4));
    struct Case {
        const EString* string;
        const char* text;
        int sign;
    };
    const EString noBuffer;
    const Case cases[] = {
        { &emptyOwned, "", 0 }, { &noBuffer, "", 0 }, { &noBuffer, nullptr, 0 }, { &noBuffer, "a", -1 },
        { &noBuffer, "\x81", 1 }, // signed: 0x81 is negative
        { &abc, nullptr, 1 }, { &abc, "abc", 0 }, { &abc, "abd", -1 }, { &abc, "abb", 1 }, { &abc, "ABC", 1 },
        { &abc, "ab", 1 }, { &abc, "abcd", -1 }, { &high, "a", -1 }, // signed bytes: 0x81 sorts below ASCII
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.string->GetText()) + " vs " + (c.text ? c.text : "(null)"));
        EXPECT_EQ(Sign(c.string->Compare(c.text)), c.sign);
    }
}

TEST(EStringCompareTest, NoCaseFoldsOnlyAsciiLetters)
{
    const EString abc("abc");
    const EString noBuffer;
    EString emptyOwned;
    ASSERT_TRUE(emptyOwned.AllocBuffer(4));
    const EString bracket("[");
    const EString ab("ab");
    const EString abHigh("ab\x81");
    struct Case {
        const EString* string;
        const char* text;
        int sign;
    };
    const Case cases[] = {
        { &noBuffer, "", -1 }, // without buffer: below any text, even an empty one
        { &noBuffer, nullptr, 0 },
        { &emptyOwned, nullptr, 0 },
        { &emptyOwned, "", 0 },
        { &abc, nullptr, 1 },
        { &abc, "ABD", -1 },
        { &abc, "ABC", 0 },
        { &abc, "aBc", 0 },
        { &abc, "abcd", -1 },
        { &abc, "AB", 1 },
        { &bracket, "a", 1 }, // 'a' folds to 'A' (0x41), below '[' (0x5B)
        { &ab, "ab\x81", -1 }, // a prefix is less, whatever byte follows
        { &abHigh, "ab", 1 },
        { &abHigh, "AB\x81", 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.string->GetText()) + " vs " + (c.text ? c.text : "(null)"));
        EXPECT_EQ(Sign(c.string->CompareNoCase(c.text)), c.sign);
    }
}

// Archive directories are sorted and binary-searched with CompareNoCase, and their names in code
// page 932 are full of bytes of 0x80 and above: the order must be antisymmetric and transitive.
TEST(EStringCompareTest, NoCaseOrderIsConsistentOverShiftJisNames)
{
    const std::vector<std::string> texts = {
        "a",
        "A",
        "ab",
        "AB",
        "ab\x81\x40",
        "ab\x81",
        "abc",
        "B",
        "readme.txt",
        "README.TXT",
        kHyou,
        kSo,
        kNou,
        kHyouji,
        "\x83\x5C\x83\x74\x83\x67",
        /* ソフト */
        "\x83\x5C"
        "a",
        "\x83\x5C"
        "A",
        "\xA6",
        "_",
        "[",
        "z",
        "{",
        "data\\\x95\x5C",
        "\x88\x9F",
    };
    std::vector<EString> names;
    for (const std::string& text : texts)
        names.emplace_back(text.c_str());
    for (const EString& x : names) {
        for (const EString& y : names) {
            const int xy = Sign(x.CompareNoCase(y.GetText()));
            EXPECT_EQ(xy, -Sign(y.CompareNoCase(x.GetText()))) << x.GetText() << " / " << y.GetText();
            for (const EString& z : names) {
                if (xy < 0 && Sign(y.CompareNoCase(z.GetText())) < 0) {
                    EXPECT_LT(x.CompareNoCase(z.GetText()), 0)
                        << x.GetText() << " < " << y.GetText() << " < " << z.GetText();
                }
            }
        }
    }
}

TEST(EStringDirectoryTest, LeadingPartUpToTheLastSeparator)
{
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        { "C:\\dir\\file.txt", "C:\\dir\\" },
        { "file.txt", "" },
        { "dir/sub/file", "dir/sub/" },
        { "a\\b/c", "a\\b/" },
        { "C:\\", "C:\\" },
        { "\\", "\\" },
        { "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const EString directory = EString(c.path).GetFileDirectory();
        EXPECT_EQ(Text(directory), c.expected);
        const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(c.expected));
        EXPECT_EQ(directory.GetCapacity(), length == 0 ? 0 : length + length / 2 + 1);
    }
    ExpectNoBuffer(EString().GetFileDirectory());
}

using EStringShiftJisTest = ShiftJisCodePage;

// In Shift_JIS a trail byte may be 0x5C; taking it for a separator would cut a name in half.
TEST_F(EStringShiftJisTest, TrailBytesOfDoubleByteCharactersAreNoSeparators)
{
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        { kHyou, "" }, { std::string(kSo) + kNou, "" },
        { std::string("C:\\") + kHyouji + "\\file", std::string("C:\\") + kHyouji + "\\" },
        { std::string("C:\\dir\\") + kHyou, "C:\\dir\\" }, { std::string("a\\") + kSo + "b" + kNou + "c", "a\\" },
        { std::string(kNou) + "\\" + kSo, std::string(kNou) + "\\" },
        { std::string("\xA6\\x"), "\xA6\\" }, // half-width katakana: a single byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Text(EString(c.path.c_str()).GetFileDirectory()), c.expected);
    }
}

TEST_F(EStringShiftJisTest, ConvertsFromUtf16)
{
    const char16_t hyouji[] = u"\u8868\u793A"; // 表示
    struct Case {
        const char16_t* text;
        int count;
        std::string expected;
        std::uint32_t capacity;
    };
    const Case cases[] = {
        { hyouji, -1, kHyouji, 7 }, // the terminator is not part of the length
        { hyouji, 2, kHyouji, 7 },
        { hyouji, 1, kHyou, 4 },
        { u"C:\\\u8868\\\u30BD", -1, std::string("C:\\") + kHyou + "\\" + kSo, 13 },
        { u"", -1, "", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const EString s(c.text, c.count);
        EXPECT_EQ(Text(s), c.expected);
        EXPECT_EQ(s.GetCapacity(), c.capacity);
        ExpectOwnedBlock(s);
    }
    ExpectNoBuffer(EString(static_cast<const char16_t*>(nullptr), -1));
    ExpectNoBuffer(EString(static_cast<const char16_t*>(nullptr), 3));
}

// The heap refuses every new region: strings that need one stop without writing.
class EStringExhaustedHeapTest : public ExhaustedHeapTest {
protected:
    // 100 KB: far more than a region of the global heap holds, so it needs a region of its own.
    void SetUp() override { big_.assign(100 * 1024, 'x'); }
    std::string big_;
};

TEST_F(EStringExhaustedHeapTest, ConstructionsGiveTheEmptyString)
{
    const EString bigString(big_.c_str()); // made while memory is there
    ASSERT_EQ(bigString.GetLength(), big_.size());
    const std::u16string wide(100 * 1024, u'x');

    Exhaust();
    ExpectNoBuffer(EString(big_.c_str()));
    ExpectNoBuffer(EString(big_.c_str(), static_cast<int>(big_.size())));
    ExpectNoBuffer(EString(bigString));
    ExpectNoBuffer(EString(wide.c_str(), -1));
    ExpectNoBuffer(bigString + "y");
    ExpectNoBuffer(bigString.Right(60000));
    ExpectNoBuffer(EString::FormatHex(1, 200000));
    EXPECT_EQ(nplVerifyHeapChain(nullptr), 0);
}

TEST_F(EStringExhaustedHeapTest, ChangesLeaveTheStringAsItWas)
{
    EString s("abc");
    ASSERT_TRUE(s.AllocBuffer(16));
    const char* const block = s.GetText();
    Exhaust();
    EXPECT_FALSE(s.AllocBuffer(static_cast<std::uint32_t>(big_.size())));
    EXPECT_FALSE(s.Append(big_.c_str()));
    EXPECT_TRUE(s.Append('d')); // room within the block needs no heap
    EXPECT_TRUE(s.Append("ef"));
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(Text(s), "abcdef");
    EXPECT_EQ(s.GetCapacity(), 16u);
    ExpectOwnedBlock(s);

    EString borrowed;
    borrowed.Borrow(big_.c_str());
    EXPECT_FALSE(borrowed.Append('y'));
    EXPECT_TRUE(borrowed.IsBorrowed());
    EXPECT_EQ(borrowed.GetLength(), big_.size());
    EXPECT_EQ(borrowed.GetText(), big_.c_str());
}

// A failed assignment must not leave the old text posing as the new one.
TEST_F(EStringExhaustedHeapTest, FailedAssignmentLeavesTheStringEmpty)
{
    EString s("abc");
    const EString bigString(big_.c_str());
    Exhaust();
    s = big_.c_str();
    ExpectNoBuffer(s);
    EXPECT_FALSE(s.Assign(big_.c_str()));

    EString t("abc");
    t = bigString;
    ExpectNoBuffer(t);
}

} // namespace
