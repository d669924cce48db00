#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/tovra_archive.h"
#include "archive_examples.h"
#include "archive_test_support.h"
#include "archive_walker.h"

using namespace npl::test;

namespace {

/// A caller's entry for a list handed to the writer.
FileInfo MakeInfo(const std::string& name, std::uint32_t attribute = 0)
{
    FileInfo info;
    EXPECT_EQ(info.SetName(name.c_str()), 0);
    info.attribute = attribute;
    return info;
}

void Add(TOVRAArchive::EDirectory& list, const FileInfo& info) { ASSERT_EQ(list.AddEntry(info), 0); }

void WriteEntry(TOVRAArchive& archive, const char* name, const std::string& content)
{
    ASSERT_EQ(archive.OpenEntry(name, nullptr, 0), 0) << name;
    EXPECT_EQ(archive.Write(content.data(), static_cast<std::uint32_t>(content.size())), content.size());
    EXPECT_EQ(archive.CloseEntry(), 0);
}

class ArchiveWriteTest : public ::testing::TestWithParam<Medium> {
protected:
    TestMedium medium_ { GetParam() };
};

INSTANTIATE_TEST_SUITE_P(Media, ArchiveWriteTest, ::testing::Values(Medium::Disk, Medium::Memory), MediumName);

TEST_P(ArchiveWriteTest, OneEntryArchiveIsTheExampleByteForByte)
{
    TOVRAArchive::EDirectory list;
    FileInfo info = MakeInfo("a.txt");
    info.time = FileTime { 30, 15, 10, 2, 11, 12, 2012 };
    info.length = 12345; // replaced when the entry is written
    info.dataOffset = 999; // likewise
    Add(list, info);

    NPLFileObject& file = medium_.Create();
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        EXPECT_TRUE(archive.IsWriting());
        ASSERT_EQ(archive.OpenEntry("a.txt", nullptr, 0), 0);
        EXPECT_EQ(archive.Write("hel", 3), 3u);
        EXPECT_EQ(archive.GetLargePosition(), 3u);
        EXPECT_EQ(archive.GetLargeLength(), 3u);
        EXPECT_EQ(archive.Write("lo", 2), 2u);
        EXPECT_EQ(archive.CloseEntry(), 0);
        archive.Close();
    }
    const Bytes written = medium_.Contents();
    EXPECT_EQ(written, kOneEntryArchive);
    // The caller's list is the caller's.
    EXPECT_EQ(list.GetInfo(0)->length, 12345u);

    NPLFileObject& input = medium_.Load(written);
    const ArchiveWalk walk = WalkArchive(input, true);
    ASSERT_EQ(walk.openResult, 0);
    ASSERT_EQ(walk.entries.size(), 1u);
    EXPECT_EQ(walk.entries[0].first, "a.txt");
    EXPECT_EQ(ToString(walk.entries[0].second), "hello");
}

TEST_P(ArchiveWriteTest, TreeRoundTripsAndMatchesTheIndependentLayout)
{
    // Written in the order the independent layout lists them, so the bytes must agree.
    const std::vector<Node> tree = {
        FileNode("alpha", "first file"),
        DirectoryNode(
            "beta", { DirectoryNode("deep", { FileNode("x", "") }), FileNode("inner", std::string(70000, 'i')) }),
        FileNode("gamma", "last"),
    };
    NPLFileObject& file = medium_.Create();
    {
        TOVRAArchive::EDirectory root;
        Add(root, MakeInfo("gamma"));
        Add(root, MakeInfo("beta", 0x10));
        Add(root, MakeInfo("alpha"));
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &root), 0);
        WriteEntry(archive, "alpha", "first file");
        TOVRAArchive::EDirectory beta;
        Add(beta, MakeInfo("inner"));
        Add(beta, MakeInfo("deep", 0x10));
        ASSERT_EQ(archive.DescendDirectory("beta", &beta), 0);
        TOVRAArchive::EDirectory deep;
        Add(deep, MakeInfo("x"));
        ASSERT_EQ(archive.DescendDirectory("deep", &deep), 0);
        EXPECT_EQ(archive.GetDirectoryDepth(), 2u);
        WriteEntry(archive, "x", "");
        ASSERT_EQ(archive.AscendDirectory(), 0);
        WriteEntry(archive, "inner", std::string(70000, 'i'));
        ASSERT_EQ(archive.AscendDirectory(), 0);
        WriteEntry(archive, "gamma", "last");
    }
    Bytes written = medium_.Contents();
    // The independent layout lists directory lengths as 0, as the writer keeps the caller's.
    EXPECT_EQ(written, ArchiveBytes(tree));

    NPLFileObject& input = medium_.Load(written);
    const ArchiveWalk walk = WalkArchive(input, true);
    ASSERT_EQ(walk.openResult, 0);
    EXPECT_EQ(walk.refused, 0u);
    EXPECT_EQ(walk.shortReads, 0u);
    ASSERT_EQ(walk.entries.size(), 6u);
    EXPECT_EQ(walk.entries[0].first, "alpha");
    EXPECT_EQ(walk.entries[1].first, "beta/");
    EXPECT_EQ(walk.entries[2].first, "beta/deep/");
    EXPECT_EQ(walk.entries[3].first, "beta/deep/x");
    EXPECT_EQ(walk.entries[4].first, "beta/inner");
    EXPECT_EQ(walk.entries[4].second, Bytes(70000, 'i'));
    EXPECT_EQ(ToString(walk.entries[5].second), "last");
}

TEST(ArchiveWriteTest, EntriesAreListedInNameOrderAndStoredInWritingOrder)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("b"));
    Add(list, MakeInfo("a"));
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        WriteEntry(archive, "b", "BB");
        WriteEntry(archive, "a", "A");
    }
    Bytes bytes = MemoryFileBytes(file);
    // Entries at 64 + 16 + 4: a first, then b.
    const std::size_t first = 64 + 16 + 4;
    const std::size_t second = first + 40 + 2;
    EXPECT_EQ(bytes[first + 40], 'a');
    EXPECT_EQ(bytes[second + 40], 'b');
    const std::uint64_t offsetA = GetU64(bytes, first + 16);
    const std::uint64_t offsetB = GetU64(bytes, second + 16);
    EXPECT_EQ(offsetB, 16u + 4 + 2 * 42);
    EXPECT_EQ(offsetA, offsetB + 16 + 2);

    file.Seek(0, NPLFileObject::FromBegin);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("A", nullptr, 1), 0);
    EXPECT_EQ(ToString(ReadAll(archive)), "A");
    ASSERT_EQ(archive.OpenEntry("B", nullptr, 1), 0);
    EXPECT_EQ(ToString(ReadAll(archive)), "BB");
}

TEST(ArchiveWriteTest, EntryNeverWrittenKeepsTheCallersOffsetAndLength)
{
    TOVRAArchive::EDirectory list;
    FileInfo untouched = MakeInfo("untouched");
    untouched.length = 7;
    untouched.dataOffset = 0;
    Add(list, untouched);
    Add(list, MakeInfo("written"));
    FileInfo sub = MakeInfo("sub", 0x10);
    sub.length = 1234;
    Add(list, sub);
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        WriteEntry(archive, "written", "w");
        ASSERT_EQ(archive.DescendDirectory("sub", nullptr), 0); // no list: an empty directory
    }
    file.Seek(0, NPLFileObject::FromBegin);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    const FileInfo* info = archive.GetCurrentDirectory()->FindEntry("untouched");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->length, 7u);
    EXPECT_EQ(info->dataOffset, 0u);
    // The directory's length is the caller's; its offset is where its record went.
    const FileInfo* directory = archive.GetCurrentDirectory()->FindEntry("sub");
    EXPECT_EQ(directory->length, 1234u);
    ASSERT_EQ(archive.DescendDirectory("sub", nullptr), 0);
    EXPECT_EQ(archive.GetCurrentDirectory()->GetCount(), 0u);
}

TEST(ArchiveWriteTest, WrongKindOfEntryWritesNothing)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("dir", 0x10));
    Add(list, MakeInfo("file"));
    FileInfo coded = MakeInfo("coded");
    coded.encodeType = 0x40000000;
    Add(list, coded);
    EMemoryFile file;
    (void)file.Create(0);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, &list), 0);
    const std::uint32_t length = file.GetLength();
    EXPECT_EQ(archive.OpenEntry("dir", nullptr, 0), 1);
    EXPECT_EQ(archive.DescendDirectory("file", nullptr), 1);
    EXPECT_EQ(archive.OpenEntry("missing", nullptr, 0), 1);
    EXPECT_EQ(archive.OpenEntry("coded", nullptr, 0), 1);
    EXPECT_EQ(file.GetLength(), length);
    EXPECT_EQ(archive.GetRecordDepth(), 1u);
}

// The directory points at the later copy; the earlier one stays as unused space.
TEST(ArchiveWriteTest, WritingAnEntryTwiceKeepsTheSecondContent)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("twice"));
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        WriteEntry(archive, "twice", "first");
        WriteEntry(archive, "twice", "second!");
    }
    Bytes bytes = MemoryFileBytes(file);
    EXPECT_EQ(bytes.size(), 64u + 16 + 4 + 46 + 16 + 5 + 16 + 7);
    file.Seek(0, NPLFileObject::FromBegin);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    EXPECT_EQ(archive.GetCurrentDirectory()->FindEntry("twice")->length, 7u);
    ASSERT_EQ(archive.OpenEntry("twice", nullptr, 1), 0);
    EXPECT_EQ(ToString(ReadAll(archive)), "second!");
}

TEST(ArchiveWriteTest, FileWithoutCreateModeIsReadInstead)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("ignored"));
    TempFolder folder;
    WriteWholeFile(folder.Path() / "a.bin", ToString(kOneEntryArchive));
    ERawFile file;
    ASSERT_EQ(file.Open(folder.Narrow("a.bin").c_str(), NPLFileObject::modeRead | NPLFileObject::modeWrite), 0);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, &list), 0);
    EXPECT_FALSE(archive.IsWriting());
    ASSERT_NE(archive.GetCurrentDirectory()->FindEntry("a.txt"), nullptr);
    EXPECT_EQ(archive.GetCurrentDirectory()->FindEntry("ignored"), nullptr);
    archive.Close();
    file.Close();
    EXPECT_EQ(ToBytes(ReadWholeFile(folder.Path() / "a.bin")), kOneEntryArchive);
}

// A file created without write access takes no bytes: the header cannot be written.
TEST(ArchiveWriteTest, FileThatTakesNoBytesCannotBecomeAnArchive)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("a"));
    TempFolder folder;
    ERawFile file;
    ASSERT_EQ(file.Open(folder.Narrow("ro.bin").c_str(), NPLFileObject::modeCreate | NPLFileObject::modeRead), 0);
    {
        TOVRAArchive archive;
        EXPECT_EQ(archive.Open(&file, &list), 1);
        EXPECT_EQ(archive.GetCurrentDirectory(), nullptr);
        EXPECT_EQ(archive.OpenEntry("a", nullptr, 0), 1);
    }
    FileHeader header;
    UDVFile::SetFileHeader(&header, TOVRAArchive::FileTypeId, nullptr);
    UDVFile container;
    EXPECT_EQ(container.Open(&file, &header), 1);
    EXPECT_EQ(container.GetCurrentRecord(), nullptr);
    EXPECT_EQ(file.GetLargeLength(), 0u);
}

TEST(ArchiveWriteTest, SeekingInsideAnEntryBeingWrittenLengthensIt)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("sparse"));
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        ASSERT_EQ(archive.OpenEntry("sparse", nullptr, 0), 0);
        EXPECT_EQ(archive.Write("ab", 2), 2u);
        EXPECT_EQ(archive.SeekLarge(10, NPLFileObject::FromBegin), 10u);
        EXPECT_EQ(archive.GetLargeLength(), 10u);
        EXPECT_EQ(archive.Seek(0, NPLFileObject::FromBegin), 0u);
        EXPECT_EQ(archive.Write("AB", 2), 2u);
        EXPECT_EQ(archive.GetLargePosition(), 2u);
        EXPECT_EQ(archive.CloseEntry(), 0);
    }
    file.Seek(0, NPLFileObject::FromBegin);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    ASSERT_EQ(archive.OpenEntry("sparse", nullptr, 1), 0);
    EXPECT_EQ(archive.GetLargeLength(), 10u);
    Bytes content = ReadAll(archive);
    ASSERT_EQ(content.size(), 10u);
    EXPECT_EQ(content[0], 'A');
    EXPECT_EQ(content[1], 'B');
}

TEST(ArchiveWriteTest, WriterStopsAtTheDepthBound)
{
    EMemoryFile file;
    (void)file.Create(0);
    TOVRAArchive::EDirectory level;
    Add(level, MakeInfo("d", 0x10));
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &level), 0);
        for (std::uint32_t i = 0; i < TOVRAArchive::MaxDirectoryDepth; ++i)
            ASSERT_EQ(archive.DescendDirectory("d", &level), 0) << i;
        const std::uint32_t length = file.GetLength();
        EXPECT_EQ(archive.DescendDirectory("d", &level), 1);
        EXPECT_EQ(file.GetLength(), length);
        // Close finishes all levels.
    }
    file.Seek(0, NPLFileObject::FromBegin);
    const ArchiveWalk walk = WalkArchive(file, false);
    EXPECT_EQ(walk.openResult, 0);
    EXPECT_EQ(walk.directories, TOVRAArchive::MaxDirectoryDepth);
    EXPECT_EQ(walk.deepest, TOVRAArchive::MaxDirectoryDepth);
}

// Many entries in scrambled order, with extra information and stamps, through a disk file.
TEST(ArchiveWriteTest, ManyEntriesWithAllFieldsRoundTripOnDisk)
{
    std::mt19937 random(1234);
    TOVRAArchive::EDirectory list;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("file" + std::to_string((i * 7919) % 300) + ".dat");
    for (std::size_t i = 0; i < names.size(); ++i) {
        FileInfo info = MakeInfo(names[i]);
        info.attribute = 0x20;
        info.time = FileTime { 1, 2, 3, 4, 5, 6, static_cast<std::uint16_t>(1990 + i) };
        const std::string extra = "x" + std::to_string(i);
        ASSERT_EQ(info.SetExtraInfo(extra.data(), static_cast<std::uint32_t>(extra.size())), 0);
        Add(list, info);
    }
    ASSERT_EQ(list.GetCount(), 300u);
    std::vector<std::string> contents(names.size());
    TempFolder folder;
    ERawFile file;
    ASSERT_EQ(file.Open(folder.Narrow("many.bin").c_str(), kModeCreate), 0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        for (std::size_t i = 0; i < names.size(); ++i) {
            contents[i].resize(random() % 600);
            for (char& c : contents[i])
                c = static_cast<char>(random());
            WriteEntry(archive, names[i].c_str(), contents[i]);
        }
    }
    file.Close();
    ASSERT_EQ(file.Open(folder.Narrow("many.bin").c_str(), kModeRead), 0);
    TOVRAArchive archive;
    ASSERT_EQ(archive.Open(&file, nullptr), 0);
    TOVRAArchive::EDirectory read;
    ASSERT_EQ(archive.GetFileEntries(&read), 0);
    ASSERT_EQ(read.GetCount(), 300u);
    for (std::uint32_t i = 1; i < read.GetCount(); ++i)
        EXPECT_LT(read.GetAt(i - 1)->CompareNoCase(read.GetInfo(i)->GetName()), 0);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const FileInfo* info = read.FindEntry(names[i].c_str());
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->attribute, 0x20u);
        EXPECT_EQ(info->time.year, 1990 + i);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(info->GetExtraInfo()), info->GetExtraInfoLength()),
            "x" + std::to_string(i));
        ASSERT_EQ(archive.OpenEntry(names[i].c_str(), nullptr, 1), 0);
        EXPECT_EQ(ToString(ReadAll(archive, 97)), contents[i]);
    }
}

TEST(ArchiveWriteTest, DestroyingTheWriterFinishesTheFile)
{
    TOVRAArchive::EDirectory list;
    Add(list, MakeInfo("a.txt"));
    list.GetInfo(0)->time = FileTime { 30, 15, 10, 2, 11, 12, 2012 };
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive archive;
        ASSERT_EQ(archive.Open(&file, &list), 0);
        ASSERT_EQ(archive.OpenEntry("a.txt", nullptr, 0), 0);
        ASSERT_EQ(archive.Write("hello", 5), 5u);
        // Neither CloseEntry nor Close.
    }
    EXPECT_EQ(MemoryFileBytes(file), kOneEntryArchive);
}

TEST(ArchiveWriteTest, CallerListsReplaceEntriesOfTheSameName)
{
    TOVRAArchive::EDirectory list;
    FileInfo first = MakeInfo("Name");
    first.length = 1;
    FileInfo second = MakeInfo("NAME");
    second.length = 2;
    Add(list, first);
    Add(list, MakeInfo("a"));
    Add(list, second);
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_STREQ(list.GetInfo(1)->GetName(), "NAME");
    EXPECT_EQ(list.GetInfo(1)->length, 2u);

    TOVRAArchive::EDirectory copy;
    FileInfo extra = MakeInfo("b");
    Add(copy, extra);
    ASSERT_EQ(copy.AddEntries(&list), 0);
    ASSERT_EQ(copy.GetCount(), 3u);
    EXPECT_STREQ(copy.GetInfo(0)->GetName(), "a");
    EXPECT_STREQ(copy.GetInfo(1)->GetName(), "b");
    EXPECT_STREQ(copy.GetInfo(2)->GetName(), "NAME");
    // Copies are independent of their source.
    EXPECT_NE(copy.GetInfo(2), list.GetInfo(1));
    EXPECT_NE(copy.GetInfo(2)->GetName(), list.GetInfo(1)->GetName());
}

} // namespace
