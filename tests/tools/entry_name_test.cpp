#include <gtest/gtest.h>

#include <string>

#include "tools/archive_tool/entry_name.h"

namespace archive_tool {
namespace {

struct NameCase {
    const char* bytes;
    unsigned codePage;
    NameProblem expected;
};

// "\x95\x5C" is the code page 932 kanji 表 (hyou): its trail byte is the backslash value.
// "\x83\x5C" is the katakana ソ (so), the other well-known such character.
TEST(EntryNameTest, UnsafeNamesAreRefusedAndTrailBytesAreNotSeparators)
{
    // clang-format off
    const NameCase cases[] = {
        { "", kNamesShiftJis, NameProblem::Empty },
        { ".", kNamesShiftJis, NameProblem::DotName },
        { "..", kNamesShiftJis, NameProblem::DotName },
        { "../evil", kNamesShiftJis, NameProblem::Separator },
        { "a/b", kNamesUtf8, NameProblem::Separator },
        { "..\\evil", kNamesShiftJis, NameProblem::Separator },
        { "\\evil", kNamesShiftJis, NameProblem::Separator },
        { "C:", kNamesShiftJis, NameProblem::Colon },
        { "C:evil", kNamesShiftJis, NameProblem::Colon },
        { "file:stream", kNamesShiftJis, NameProblem::Colon },
        { "bell\x07", kNamesShiftJis, NameProblem::ControlCharacter },
        { "CON", kNamesShiftJis, NameProblem::DeviceName },
        { "nul.txt", kNamesShiftJis, NameProblem::DeviceName },
        { "Com7", kNamesShiftJis, NameProblem::DeviceName },
        { "name.", kNamesShiftJis, NameProblem::TrailingDotOrSpace },
        { "name ", kNamesShiftJis, NameProblem::TrailingDotOrSpace },
        { "broken\x83", kNamesShiftJis, NameProblem::BrokenText },
        { "\xC3\x28", kNamesUtf8, NameProblem::BrokenText },
        // The same two bytes are a kanji in code page 932 but a separator after a stray byte in
        // UTF-8, where no byte hides a backslash.
        { "\x95\x5C", kNamesShiftJis, NameProblem::None },
        { "\x95\x5C", kNamesUtf8, NameProblem::Separator },
        { "\x83\x5C\x81\x5B\x83\x58.txt", kNamesShiftJis, NameProblem::None }, // ソース.txt
        { "..hidden", kNamesShiftJis, NameProblem::None },
        { "a..b", kNamesShiftJis, NameProblem::None },
        { "CONSOLE", kNamesShiftJis, NameProblem::None },
        { "COM0", kNamesShiftJis, NameProblem::None },
        { "\xE6\x97\xA5\xE6\x9C\xAC", kNamesUtf8, NameProblem::None }, // 日本 in UTF-8
    };
    // clang-format on
    for (const NameCase& c : cases)
        EXPECT_EQ(CheckEntryName(c.bytes, c.codePage), c.expected) << "name \"" << c.bytes << "\" in " << c.codePage;
}

TEST(EntryNameTest, OrderFoldsOnlyAsciiLettersAndComparesOtherBytesUnsigned)
{
    EXPECT_EQ(CompareEntryNames("readme.TXT", "README.txt"), 0);
    EXPECT_LT(CompareEntryNames("abc", "abd"), 0);
    EXPECT_LT(CompareEntryNames("ab", "abc"), 0);
    // Folding makes 'a' (0x61 -> 0x41) sort before '_' (0x5F), unlike a plain byte order.
    EXPECT_LT(CompareEntryNames("a", "_"), 0);
    // Bytes of double-byte characters are above every ASCII letter.
    EXPECT_GT(CompareEntryNames("\x95\x5C", "z"), 0);
    EXPECT_NE(CompareEntryNames("\x82\xA0", "\x82\xC0"), 0);
}

TEST(EntryNameTest, CodecConvertsExactlyOrRefuses)
{
    EntryNameCodec shiftJis(kNamesShiftJis);
    // 日本語.txt
    std::optional<std::string> bytes = shiftJis.ToEntryName(u"\u65E5\u672C\u8A9E.txt");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "\x93\xFA\x96\x7B\x8C\xEA.txt");
    std::optional<std::u16string> back = shiftJis.ToFileName(*bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, u"\u65E5\u672C\u8A9E.txt");
    EXPECT_EQ(shiftJis.ToFileName("\x95\x5C").value_or(u""), u"\u8868"); // 表

    // Characters code page 932 lacks are refused rather than turned into '?'.
    EXPECT_FALSE(shiftJis.ToEntryName(u"caf\u00E9").has_value());
    EXPECT_FALSE(shiftJis.ToEntryName(u"\U0001F600").has_value());
    EXPECT_FALSE(shiftJis.ToFileName("\x82").has_value());

    EntryNameCodec utf8(kNamesUtf8);
    EXPECT_EQ(utf8.ToEntryName(u"caf\u00E9").value_or(""), "caf\xC3\xA9");
    EXPECT_EQ(utf8.ToFileName("\xE6\x97\xA5").value_or(u""), u"\u65E5");
    EXPECT_FALSE(utf8.ToFileName("\xC3\x28").has_value());
    // An unpaired surrogate has no UTF-8 form.
    EXPECT_FALSE(utf8.ToEntryName(std::u16string(1, char16_t { 0xD800 })).has_value());
}

} // namespace
} // namespace archive_tool
