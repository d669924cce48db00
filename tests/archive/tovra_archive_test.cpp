#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/tovra_archive.h"
#include "archive_examples.h"
#include "archive_test_support.h"
#include "archive_walker.h"

using namespace npl::test;

namespace {

std::vector<std::string> ListNames(const TOVRAArchive& archive)
{
    TOVRAArchive::EDirectory list;
    EXPECT_EQ(archive.GetFileEntries(&list), 0);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < list.GetCount(); ++i)
        names.emplace_back(list.GetInfo(i)->GetName());
    return names;
}

Bytes ReadEntry(TOVRAArchive& archive, const char* name)
{
    EXPECT_EQ(archive.OpenEntry(name, nullptr, 1), 0) << name;
    Bytes content = ReadAll(archive);
    EXPECT_EQ(archive.CloseEntry(), 0);
    return content;
}

EntryBytes Entry(const std::string& name, std::uint64_t length, std::uint64_t offset, std::uint32_t attribute = 0)
{
    EntryBytes entry;
    entry.name = name + std::string(1, '\0');
    entry.length = length;
    entry.dataOffset = offset;
    entry.attribute = attribute;
    return entry;
}

class ArchiveReadTest : public ::testing::TestWithParam<Medium> {
protected:
    TestMedium medium_ { GetParam() };
};

INSTANTIATE_TEST_SUITE_P(Media, ArchiveReadTest, ::testing::Values(Medium::Disk, Medium::Memory), MediumName);

TEST_P(ArchiveReadTest, OneEntryExampleListsAndReadsItsFile)
{
    ASSERT_EQ(kOneEntryArchive.size(), 151u);
    NPLFileObject& file = medium_.Load(kOneEntryArchive);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);

    TOVRAArchive::EDirectory list;
    ASSERT_EQ(archive.GetFileEntries(&list), 0);
    ASSERT_EQ(list.GetCount(), 1u);
    const FileInfo* info = list.GetInfo(0);
    EXPECT_STREQ(info->GetName(), "a.txt");
    EXPECT_EQ(info->GetNameLength(), 6u);
    EXPECT_EQ(info->length, 5u);
    EXPECT_EQ(info->dataOffset, 66u);
    EXPECT_EQ(info->attribute, 0u);
    EXPECT_EQ(info->time.second, 30);
    EXPECT_EQ(info->time.dayOfWeek, 2);
    EXPECT_EQ(info->time.month, 12);
    EXPECT_EQ(info->time.year, 2012);
    EXPECT_EQ(info->GetExtraInfo(), nullptr);

    ASSERT_EQ(archive.OpenEntry("a.txt", nullptr, 1), 0);
    EXPECT_EQ(archive.GetLargeLength(), 5u);
    EXPECT_EQ(archive.GetLength(), 5u);
    Bytes block(65536);
    ASSERT_EQ(archive.Read(block.data(), 65536), 5u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 5), "hello");
    EXPECT_EQ(archive.GetLargePosition(), 5u);
    EXPECT_EQ(archive.CloseEntry(), 0);
    EXPECT_EQ(archive.GetOpenEntry(), nullptr);
    EXPECT_EQ(archive.CloseEntry(), 0);
}

// Image views and other layered sources start the archive wherever the file stands.
TEST(ArchiveReadTest, OpensAtTheFilesCurrentPosition)
{
    Bytes bytes = ToBytes("some leading bytes");
    Append(bytes, kOneEntryArchive);
    auto file = MemoryFileWith(bytes);
    file->Seek(18, NPLFileObject::FromBegin);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(ToString(ReadEntry(archive, "a.txt")), "hello");
}

TEST(ArchiveReadTest, NamesAreFoundWithAsciiCaseFoldedAndNothingElse)
{
    Bytes archiveBytes = ArchiveBytes({ FileNode("a.txt", "A"), FileNode("ab", "B"), FileNode("abd", "D") });
    auto file = MemoryFileWith(archiveBytes);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(ToString(ReadEntry(archive, "A.TXT")), "A");
    EXPECT_EQ(archive.OpenEntry("abc", nullptr, 1), 1);
    EXPECT_EQ(archive.GetCurrentDirectory()->FindEntry("abc"), nullptr);
    ASSERT_NE(archive.GetCurrentDirectory()->FindEntry("AbD"), nullptr);
    EXPECT_STREQ(archive.GetCurrentDirectory()->FindEntry("AbD")->GetName(), "abd");
    EXPECT_EQ(archive.OpenEntry("a.tx", nullptr, 1), 1);
    EXPECT_EQ(archive.OpenEntry("a.txt2", nullptr, 1), 1);
}

TEST(ArchiveReadTest, EntriesAreListedInNameOrderWhateverTheStoredOrder)
{
    // Stored as b, a, C; listed as a, b, C. Lower-case bytes above 'Z' fold, so C sorts after b;
    // a byte above 0x7F sorts after every letter.
    Bytes archiveBytes = ArchiveBytes(
        { FileNode("b", "2"), FileNode("a", "1"), FileNode("C", "3"), FileNode("\x83\x41", "4"), FileNode("_", "5") });
    auto file = MemoryFileWith(archiveBytes);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(ListNames(archive), (std::vector<std::string> { "a", "b", "C", "_", "\x83\x41" }));
    EXPECT_EQ(ToString(ReadEntry(archive, "c")), "3");
    EXPECT_EQ(ToString(ReadEntry(archive, "\x83\x41")), "4");
}

TEST(ArchiveReadTest, RootMustBeginWithTheDirectoryRecord)
{
    Bytes level = RecordBytes("filedata", ToBytes("x"));
    Append(level, RecordBytes("DirEntry", DirEntryData({})));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    EXPECT_EQ(archive.Open(file.get(), nullptr), 1);
    EXPECT_EQ(archive.GetCurrentDirectory(), nullptr);
    EXPECT_EQ(archive.GetRecordDepth(), 0u);
}

TEST(ArchiveReadTest, EmptyDirectoryListsNothing)
{
    auto file = MemoryFileWith(ArchiveWithRootLevel(RecordBytes("DirEntry", DirEntryData({}))));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    TOVRAArchive::EDirectory list;
    EXPECT_EQ(archive.GetFileEntries(&list), 0);
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST(ArchiveReadTest, NamesEndAtTheirFirstZeroAndMayBeEmpty)
{
    const std::uint64_t dirSize = 16 + 4 + 40 + 40 + 8;
    EntryBytes unnamed = Entry("", 1, dirSize);
    unnamed.name.clear(); // name length field 0
    EntryBytes cut = Entry("", 1, dirSize + 17);
    cut.name = std::string("ab\0cdefg", 8); // stored length 8, zero after "ab"
    Bytes level = RecordBytes("DirEntry", DirEntryData({ unnamed, cut }));
    ASSERT_EQ(level.size(), dirSize);
    Append(level, RecordBytes("filedata", ToBytes("U")));
    Append(level, RecordBytes("filedata", ToBytes("C")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    TOVRAArchive::EDirectory list;
    ASSERT_EQ(archive.GetFileEntries(&list), 0);
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_STREQ(list.GetInfo(0)->GetName(), "");
    EXPECT_EQ(list.GetInfo(0)->GetNameLength(), 0u);
    EXPECT_STREQ(list.GetInfo(1)->GetName(), "ab");
    EXPECT_EQ(list.GetInfo(1)->GetNameLength(), 3u);
    EXPECT_EQ(ToString(ReadEntry(archive, "")), "U");
    EXPECT_EQ(ToString(ReadEntry(archive, "AB")), "C");
}

TEST(ArchiveReadTest, ExtraInformationAndAllFieldsComeThrough)
{
    EntryBytes entry = Entry("x", 2, 16 + 4 + 40 + 3 + 2);
    entry.extra = std::string("\x01\x00\x02", 3);
    entry.attribute = 0x21; // other bits are carried
    entry.time[0] = 59;
    entry.year = 0xFFFF;
    Bytes level = RecordBytes("DirEntry", DirEntryData({ entry }));
    Append(level, RecordBytes("filedata", ToBytes("ok")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    const FileInfo* info = archive.GetCurrentDirectory()->FindEntry("x");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->GetExtraInfoLength(), 3u);
    EXPECT_EQ(std::memcmp(info->GetExtraInfo(), "\x01\x00\x02", 3), 0);
    EXPECT_EQ(info->attribute, 0x21u);
    EXPECT_EQ(info->time.second, 59);
    EXPECT_EQ(info->time.year, 0xFFFF);
    EXPECT_EQ(ToString(ReadEntry(archive, "x")), "ok");
}

Bytes TreeArchive()
{
    return ArchiveBytes({
        FileNode("root.txt", "root content"),
        DirectoryNode("sub", { FileNode("inner.bin", "inner"), DirectoryNode("deeper", { FileNode("z", "zz") }) }),
        FileNode("second", "22"),
    });
}

TEST_P(ArchiveReadTest, DescendingAndAscendingKeepsTheRootReadable)
{
    NPLFileObject& file = medium_.Load(TreeArchive());
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    EXPECT_EQ(ToString(ReadEntry(archive, "root.txt")), "root content");

    ASSERT_EQ(archive.DescendDirectory("SUB", nullptr), 0);
    EXPECT_EQ(archive.GetDirectoryDepth(), 1u);
    EXPECT_EQ(std::string(archive.GetCurrentDirectory()->name.GetText()), "sub");
    EXPECT_EQ(ListNames(archive), (std::vector<std::string> { "deeper", "inner.bin" }));
    EXPECT_EQ(ToString(ReadEntry(archive, "inner.bin")), "inner");
    ASSERT_EQ(archive.DescendDirectory("deeper", nullptr), 0);
    EXPECT_EQ(ToString(ReadEntry(archive, "z")), "zz");
    EXPECT_EQ(archive.GetRecordDepth(), 3u);
    EXPECT_EQ(archive.AscendDirectory(), 0);
    EXPECT_EQ(archive.AscendDirectory(), 0);
    EXPECT_EQ(archive.GetDirectoryDepth(), 0u);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);

    EXPECT_EQ(ToString(ReadEntry(archive, "root.txt")), "root content");
    EXPECT_EQ(ToString(ReadEntry(archive, "second")), "22");
    // At the root there is nothing above: the archive stays where it is.
    EXPECT_EQ(archive.AscendDirectory(), 0);
    EXPECT_EQ(ListNames(archive), (std::vector<std::string> { "root.txt", "second", "sub" }));
}

TEST(ArchiveReadTest, WrongKindOfEntryIsRefusedAndTheDirectoryStays)
{
    auto file = MemoryFileWith(TreeArchive());
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    const std::vector<std::string> before = ListNames(archive);
    EXPECT_EQ(archive.OpenEntry("sub", nullptr, 1), 1);
    EXPECT_EQ(archive.GetOpenEntry(), nullptr);
    EXPECT_EQ(ListNames(archive), before);
    EXPECT_EQ(archive.DescendDirectory("root.txt", nullptr), 1);
    EXPECT_EQ(archive.DescendDirectory("missing", nullptr), 1);
    EXPECT_EQ(ListNames(archive), before);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);
    EXPECT_EQ(ToString(ReadEntry(archive, "second")), "22");
}

TEST(ArchiveReadTest, OpeningAnotherEntryClosesTheFirst)
{
    auto file = MemoryFileWith(TreeArchive());
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("root.txt", nullptr, 1), 0);
    char four[4];
    ASSERT_EQ(archive.Read(four, 4), 4u);
    EXPECT_EQ(archive.GetRecordDepth(), 2u);
    ASSERT_EQ(archive.OpenEntry("second", nullptr, 1), 0);
    EXPECT_EQ(archive.GetRecordDepth(), 2u);
    EXPECT_EQ(ToString(ReadAll(archive)), "22");
    // Moving down closes it as well.
    ASSERT_EQ(archive.DescendDirectory("sub", nullptr), 0);
    EXPECT_EQ(archive.GetOpenEntry(), nullptr);
    EXPECT_EQ(archive.GetRecordDepth(), 2u);
}

TEST_P(ArchiveReadTest, OpenRelativeReadsStoredBytesAndLeavesTheArchiveAlone)
{
    NPLFileObject& file = medium_.Load(TreeArchive());
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("root.txt", nullptr, 1), 0);
    char five[5];
    ASSERT_EQ(archive.Read(five, 5), 5u);

    FilePointer stored(archive.OpenRelative(u"SECOND", 0));
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->GetClassName(), "UDVFile");
    EXPECT_EQ(stored->GetLargeLength(), 2u);
    EXPECT_EQ(ToString(ReadAll(*stored)), "22");

    EXPECT_EQ(archive.GetOpenEntry(), archive.GetCurrentDirectory()->FindEntry("root.txt"));
    EXPECT_EQ(ToString(ReadAll(archive)), "content");
    EXPECT_EQ(archive.OpenRelative(u"missing", 0), nullptr);

    // A directory entry's record is its level, stored as it is.
    FilePointer level(archive.OpenRelative(u"sub", 0));
    ASSERT_NE(level, nullptr);
    Bytes levelBytes = ReadAll(*level);
    ASSERT_GE(levelBytes.size(), 8u);
    EXPECT_EQ(std::string(levelBytes.begin(), levelBytes.begin() + 8), "DirEntry");
}

TEST_P(ArchiveReadTest, SeeksInsideAnOpenEntryMoveTheNextRead)
{
    NPLFileObject& file = medium_.Load(TreeArchive());
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("root.txt", nullptr, 1), 0);
    char text[16];
    ASSERT_EQ(archive.Read(text, 4), 4u);
    EXPECT_EQ(std::string(text, 4), "root");
    EXPECT_EQ(archive.Seek(1, NPLFileObject::FromCurrent), 5u);
    ASSERT_EQ(archive.Read(text, 3), 3u);
    EXPECT_EQ(std::string(text, 3), "con");
    EXPECT_EQ(archive.SeekLarge(-3, NPLFileObject::FromEnd), 9u);
    ASSERT_EQ(archive.Read(text, 16), 3u);
    EXPECT_EQ(std::string(text, 3), "ent");
    EXPECT_EQ(archive.GetLargePosition(), 12u);
    EXPECT_EQ(archive.Read(text, 16), 0u);
    EXPECT_EQ(archive.SeekLarge(100, NPLFileObject::FromBegin), 12u);
    EXPECT_EQ(archive.Read(text, 16), 0u);
    EXPECT_EQ(archive.Seek(0, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(ToString(ReadAll(archive, 5)), "root content");
}

TEST(ArchiveReadTest, DuplicateOfAnOpenEntryReadsItsRecord)
{
    auto file = MemoryFileWith(kOneEntryArchive);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("a.txt", nullptr, 1), 0);
    archive.Seek(1, NPLFileObject::FromBegin);
    FilePointer copy(archive.Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetClassName(), "UDVFile");
    EXPECT_EQ(ToString(ReadAll(*copy)), "ello");
    EXPECT_EQ(ToString(ReadAll(archive)), "ello");
}

TEST(ArchiveReadTest, ReadsStopAtTheEntryLengthEvenWhenTheRecordHoldsMore)
{
    Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("short", 3, 16 + 4 + 40 + 6) }));
    Append(level, RecordBytes("filedata", ToBytes("12345")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("short", nullptr, 1), 0);
    EXPECT_EQ(archive.GetLargeLength(), 3u);
    EXPECT_EQ(ToString(ReadAll(archive, 1)), "123");
}

TEST(ArchiveReadTest, CodedEntriesAreRefusedUntilTheirDecodersExist)
{
    EntryBytes coded = Entry("coded", 5, 16 + 4 + 40 + 6);
    coded.encodeType = 0x80000010;
    Bytes level = RecordBytes("DirEntry", DirEntryData({ coded }));
    Append(level, RecordBytes("filedata", ToBytes("abcdefghi")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(archive.OpenEntry("coded", nullptr, 1), 1);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);
    EXPECT_EQ(archive.GetOpenEntry(), nullptr);
}

// Damage that a reader must refuse before it allocates for it or reads past what holds it.
TEST(ArchiveReadTest, DamagedRootDirectoryRecordsAreRefused)
{
    const std::uint64_t oneEntryDir = 16 + 4 + 40 + 2;
    struct Case {
        const char* what;
        Bytes level;
    };
    std::vector<Case> cases;
    {
        // Room for one entry, a count of a million.
        Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("a", 1, oneEntryDir) }, 1000000));
        Append(level, RecordBytes("filedata", ToBytes("x")));
        cases.push_back({ "count beyond the record", level });
    }
    {
        Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("a", 1, oneEntryDir) }, 0xFFFFFFFF));
        cases.push_back({ "count of all ones", level });
    }
    {
        EntryBytes entry = Entry("a", 1, 0);
        entry.extraLength = 0x7FFFFFFF;
        cases.push_back({ "extra length beyond the record", RecordBytes("DirEntry", DirEntryData({ entry })) });
    }
    {
        EntryBytes entry = Entry("a", 1, 0);
        entry.extra = "ab";
        entry.extraLength = 4; // swallows the name length field
        cases.push_back({ "extra information over the name length", RecordBytes("DirEntry", DirEntryData({ entry })) });
    }
    {
        EntryBytes entry = Entry("a", 1, 0);
        entry.nameLength = 3; // two name bytes stored
        cases.push_back({ "name length beyond the record", RecordBytes("DirEntry", DirEntryData({ entry })) });
    }
    {
        EntryBytes entry = Entry("a", 1, 0);
        entry.nameLength = 0xFFFFFFFF;
        cases.push_back({ "name length of all ones", RecordBytes("DirEntry", DirEntryData({ entry })) });
    }
    {
        Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("a", 1, oneEntryDir + 17) }));
        Append(level, RecordBytes("filedata", ToBytes("x")));
        cases.push_back({ "data offset past the level", level });
    }
    {
        Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("a", 1, oneEntryDir + 2) }));
        Append(level, RecordBytes("filedata", ToBytes("x")));
        cases.push_back({ "record header not whole inside the level", level });
    }
    {
        Bytes data = DirEntryData({ Entry("a", 1, oneEntryDir) });
        cases.push_back({ "directory record longer than the file", RecordBytes("DirEntry", data, data.size() + 1) });
    }
    {
        Bytes data = DirEntryData({ Entry("a", 1, oneEntryDir), Entry("b", 1, oneEntryDir) });
        data.resize(data.size() - 3);
        cases.push_back({ "entry cut off by the record end", RecordBytes("DirEntry", data) });
    }
    cases.push_back({ "directory record without a count", RecordBytes("DirEntry", ToBytes("abc")) });
    cases.push_back({ "no directory record at all", Bytes() });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto file = MemoryFileWith(ArchiveWithRootLevel(c.level));
        TOVRAArchive archive;
        EXPECT_EQ(archive.Open(file.get(), nullptr), 1);
        EXPECT_EQ(archive.GetCurrentDirectory(), nullptr);
    }
}

TEST(ArchiveReadTest, EntriesWhoseDataCannotBeThereAreRefusedWhenOpened)
{
    const std::uint64_t dir = 16 + 4 + 3 * 40 + 2 + 2 + 2;
    Bytes level = RecordBytes(
        "DirEntry", DirEntryData({ Entry("a", 6, dir), Entry("b", 1, dir + 21), Entry("c", 1, dir + 21 + 17) }));
    Append(level, RecordBytes("filedata", ToBytes("12345"))); // a: content shorter than its length
    Append(level, RecordBytes("filedata", ToBytes("1"))); // b: fine
    Append(level, RecordBytes("filedata", ToBytes("1"), 2)); // c: record runs past the file
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(archive.OpenEntry("a", nullptr, 1), 1);
    EXPECT_EQ(archive.OpenEntry("c", nullptr, 1), 1);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);
    EXPECT_EQ(ToString(ReadEntry(archive, "b")), "1");
}

TEST(ArchiveReadTest, DamagedSubDirectoryIsRefusedAndTheArchiveStaysAtItsLevel)
{
    // The sub-directory's record holds a "DirEntry" record with a count it cannot hold.
    Bytes subLevel = RecordBytes("DirEntry", DirEntryData({}, 5));
    const std::uint64_t dir = 16 + 4 + 2 * 40 + 4 + 2;
    Bytes level = RecordBytes(
        "DirEntry", DirEntryData({ Entry("bad", 0, dir, 0x10), Entry("f", 1, dir + 16 + subLevel.size()) }));
    Append(level, RecordBytes("filedata", subLevel));
    Append(level, RecordBytes("filedata", ToBytes("F")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(archive.DescendDirectory("bad", nullptr), 1);
    EXPECT_EQ(archive.GetDirectoryDepth(), 0u);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);
    EXPECT_EQ(ListNames(archive), (std::vector<std::string> { "bad", "f" }));
    EXPECT_EQ(ToString(ReadEntry(archive, "f")), "F");
}

// A directory nested deeper than the bound is not entered, however the file was made.
TEST(ArchiveReadTest, NestingStopsAtTheDepthBound)
{
    Node node = FileNode("leaf", "L");
    const std::uint32_t levels = TOVRAArchive::MaxDirectoryDepth + 2;
    for (std::uint32_t i = 0; i < levels; ++i)
        node = DirectoryNode("d", { node });
    auto file = MemoryFileWith(ArchiveBytes({ node }));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    std::uint32_t entered = 0;
    while (archive.DescendDirectory("d", nullptr) == 0)
        ++entered;
    EXPECT_EQ(entered, TOVRAArchive::MaxDirectoryDepth);
    EXPECT_EQ(archive.GetDirectoryDepth(), TOVRAArchive::MaxDirectoryDepth);
    EXPECT_EQ(archive.GetRecordDepth(), TOVRAArchive::MaxDirectoryDepth + 1);
    for (std::uint32_t i = 0; i < entered; ++i)
        EXPECT_EQ(archive.AscendDirectory(), 0);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);

    archive.Close();

    file->Seek(0, NPLFileObject::FromBegin);
    const ArchiveWalk walk = WalkArchive(*file, false);
    EXPECT_EQ(walk.openResult, 0);
    EXPECT_EQ(walk.deepest, TOVRAArchive::MaxDirectoryDepth);
    EXPECT_EQ(walk.refused, 1u);
    EXPECT_EQ(walk.files, 0u);
}

TEST(ArchiveReadTest, EqualNamesInADamagedListAreAllKept)
{
    const std::uint64_t dir = 16 + 4 + 2 * 40 + 2 + 2;
    Bytes level = RecordBytes("DirEntry", DirEntryData({ Entry("x", 1, dir), Entry("X", 1, dir + 17) }));
    Append(level, RecordBytes("filedata", ToBytes("1")));
    Append(level, RecordBytes("filedata", ToBytes("2")));
    auto file = MemoryFileWith(ArchiveWithRootLevel(level));
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(file.get(), nullptr), 0);
    EXPECT_EQ(archive.GetCurrentDirectory()->GetCount(), 2u);
    // A caller's list files entries by name, so the second replaces the first there.
    TOVRAArchive::EDirectory list;
    ASSERT_EQ(archive.GetFileEntries(&list), 0);
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST(ArchiveReadTest, ClassIdentities)
{
    TOVRAArchive archive;
    EXPECT_STREQ(archive.GetClassName(), "TOVRAArchive");
    EXPECT_EQ(archive.IsKindOf("UDVFile"), 1);
    EXPECT_EQ(archive.IsKindOf("NPLFileObject"), 1);
    EXPECT_EQ(archive.DynamicCast(UDVFile::ClassName), &archive);

    auto* info = new FileInfo;
    ASSERT_EQ(info->SetName("n"), 0);
    TOVRAArchive::EFileName name("n", info);
    EXPECT_STREQ(name.GetClassName(), "TOVRAArchive::EFileName");
    EXPECT_EQ(name.IsKindOf("EString"), 1);
    EXPECT_EQ(name.IsKindOf("NPLObject"), 1);
    EXPECT_EQ(name.IsKindOf("EPtrArray"), 0);

    TOVRAArchive::EDirectory directory;
    EXPECT_STREQ(directory.GetClassName(), "EPtrArray");
    EXPECT_EQ(directory.IsKindOf("EPtrArray"), 1);
}

TEST(ArchiveReadTest, ClosedArchiveRefusesEverything)
{
    TOVRAArchive archive;
    TOVRAArchive::EDirectory list;
    EXPECT_EQ(archive.GetFileEntries(&list), 1);
    EXPECT_EQ(archive.OpenEntry("a", nullptr, 1), 1);
    EXPECT_EQ(archive.DescendDirectory("a", nullptr), 1);
    EXPECT_EQ(archive.AscendDirectory(), 0);
    EXPECT_EQ(archive.CloseEntry(), 0);
    EXPECT_EQ(archive.OpenRelative(u"a", 0), nullptr);
    archive.Close();
}

} // namespace
