#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "archive/udv_file.h"
#include "archive_test_support.h"

using namespace npl::test;

namespace {

// A container of type 0x02000400 with the default description and one 5-byte "filedata"
// record, exactly as a finished file must look.
// clang-format off
const Bytes kEightyFiveBytes = {
    'N', 'o', 'r', 'v', 'a', 0x1A, 0x00, 0x00, // magic
    0x00, 0x04, 0x00, 0x02,                   // file type id 0x02000400
    0x00, 0x00, 0x00, 0x00,                   // reserved
    'T', 'O', 'V', 'R', 'A', '-', 'A', 'r', 'c', 'h', 'i', 'v', 'e', ' ', 'f', 'i', 'l', 'e', // description
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, //   filled up with zeros to 32 bytes
    0, 0, 0, 0, 0, 0, 0, 0,                   // root record id
    21, 0, 0, 0, 0, 0, 0, 0,                  // root record length: 16 + 5
    'f', 'i', 'l', 'e', 'd', 'a', 't', 'a',   // record id
    5, 0, 0, 0, 0, 0, 0, 0,                   // record length
    'h', 'e', 'l', 'l', 'o',
};
// clang-format on

class UDVFileMediumTest : public ::testing::TestWithParam<Medium> {
protected:
    TestMedium medium_ { GetParam() };
};

INSTANTIATE_TEST_SUITE_P(Media, UDVFileMediumTest, ::testing::Values(Medium::Disk, Medium::Memory), MediumName);

TEST_P(UDVFileMediumTest, CreatedContainerIsTheEightyFiveByteLayoutAndReadsBack)
{
    ASSERT_EQ(kEightyFiveBytes.size(), 85u);
    NPLFileObject& file = medium_.Create();
    {
        FileHeader header;
        UDVFile::SetFileHeader(&header, 0x02000400, nullptr);
        UDVFile container;
        ASSERT_EQ(container.Open(&file, &header), 0);
        ASSERT_EQ(container.DescendRecord("filedata"), 0);
        EXPECT_EQ(container.Write("hello", 5), 5u);
        EXPECT_EQ(container.AscendRecord(), 0);
        container.Close();
    }
    EXPECT_EQ(medium_.Contents(), kEightyFiveBytes);

    NPLFileObject& input = medium_.Load(kEightyFiveBytes);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    EXPECT_EQ(container.GetOpenMode() & NPLFileObject::modeCreate, 0u);
    EXPECT_EQ(container.GetFileHeader().fileTypeId, 0x02000400u);
    EXPECT_EQ(container.GetLargeLength(), 21u);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);
    EXPECT_EQ(container.GetLargeLength(), 5u);
    EXPECT_EQ(ToString(ReadAll(container)), "hello");
    EXPECT_EQ(container.AscendRecord(), 0);
    EXPECT_EQ(container.GetLargePosition(), 21u);
    EXPECT_EQ(container.GetRecordDepth(), 1u);
}

TEST_P(UDVFileMediumTest, NestedRecordsGetTheirLengthsWhenAscended)
{
    NPLFileObject& file = medium_.Create();
    {
        FileHeader header;
        UDVFile::SetFileHeader(&header, 7, "nest");
        UDVFile container;
        ASSERT_EQ(container.Open(&file, &header), 0);
        ASSERT_EQ(container.DescendRecord("outer..."), 0);
        ASSERT_EQ(container.DescendRecord("inner..."), 0);
        EXPECT_EQ(container.Write("abc", 3), 3u);
        EXPECT_EQ(container.GetRecordDepth(), 3u);
        // Close finishes the two open records and the root.
    }
    Bytes inner = RecordBytes("inner...", ToBytes("abc"));
    Bytes expected = FileHeaderBytes(7, "nest", 16 + inner.size());
    Append(expected, RecordBytes("outer...", inner));
    EXPECT_EQ(medium_.Contents(), expected);

    NPLFileObject& input = medium_.Load(expected);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord(nullptr), 0);
    ASSERT_EQ(container.DescendRecord("inner..."), 0);
    EXPECT_EQ(ToString(ReadAll(container)), "abc");
}

TEST_P(UDVFileMediumTest, HeaderChecksDecideWhetherAFileOpens)
{
    struct Case {
        const char* what;
        Bytes bytes;
        int result;
    };
    Bytes good = FileHeaderBytes();
    Bytes shortFile(good.begin(), good.end() - 1);
    Bytes reserved = good;
    reserved[13] = 1;
    Bytes typeSeven = FileHeaderBytes(7, "anything");
    std::vector<Case> cases = {
        { "64-byte header alone", good, 0 },
        { "63 bytes", shortFile, 1 },
        { "non-zero reserved field", reserved, 1 },
        { "type id 7", typeSeven, 0 },
        { "empty file", Bytes(), 1 },
    };
    for (int i = 0; i < 8; ++i) {
        Bytes changed = good;
        changed[static_cast<std::size_t>(i)] ^= 0x01;
        cases.push_back({ "magic byte changed", changed, 1 });
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NPLFileObject& input = medium_.Load(c.bytes);
        UDVFile container;
        EXPECT_EQ(container.Open(&input, nullptr), c.result);
        if (c.result == 0) {
            EXPECT_EQ(container.GetLargeLength(), 0u);
            char byte;
            EXPECT_EQ(container.Read(&byte, 1), 0u);
        } else {
            EXPECT_EQ(container.GetCurrentRecord(), nullptr);
        }
    }
}

TEST(UDVFileTest, SetFileHeaderGivesTheDefaultDescriptionOfEachType)
{
    const struct {
        std::uint32_t type;
        const char* text;
    } cases[] = {
        { 0x02000400, "TOVRA-Archive file" },
        { 0x03000100, "Norva Rasterized Image format" },
        { 0x03001100, "HGX-3D surface attribute file" },
        { 0x03001200, "HGX-3D model object file" },
        { 0x02000401, "undefined UDV file" },
    };
    for (const auto& c : cases) {
        FileHeader header;
        std::memset(header.description, 0xCC, sizeof header.description);
        std::memset(header.root.id, 0xCC, sizeof header.root.id);
        header.root.length = ~std::uint64_t { 0 };
        UDVFile::SetFileHeader(&header, c.type, nullptr);
        EXPECT_EQ(std::memcmp(header.magic, "Norva\x1a\0\0", 8), 0);
        EXPECT_EQ(header.fileTypeId, c.type);
        EXPECT_EQ(header.reserved, 0u);
        EXPECT_EQ(std::string(header.description, strnlen(header.description, 32)), c.text);
        EXPECT_EQ(header.description[31], '\0');
        EXPECT_EQ(header.root.length, 0u);
    }
}

// A description runs on into the root record header, which closing overwrites: a finished file
// keeps 32 characters of it.
TEST(UDVFileTest, LongDescriptionKeepsItsFirstThirtyTwoCharactersInAFinishedFile)
{
    const std::string forty = "0123456789abcdefghijABCDEFGHIJ0123456789";
    FileHeader header;
    UDVFile::SetFileHeader(&header, 0x03000100, forty.c_str());
    EXPECT_EQ(std::memcmp(header.root.id, forty.data() + 32, 8), 0);

    EMemoryFile file;
    (void)file.Create(0);
    {
        UDVFile container;
        ASSERT_EQ(container.Open(&file, &header), 0);
    }
    Bytes bytes = MemoryFileBytes(file);
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 48), forty.substr(0, 32));
    EXPECT_EQ(Bytes(bytes.begin() + 48, bytes.end()), Bytes(16, 0));
}

TEST_P(UDVFileMediumTest, DescendRecordSearchesForwardFromThePosition)
{
    Bytes root = RecordBytes("filedata", ToBytes("xyz"));
    Append(root, RecordBytes("DirEntry", ToBytes("1234")));
    Bytes file = FileHeaderBytes();
    Append(file, root);

    NPLFileObject& input = medium_.Load(file);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord("DirEntry"), 0);
    EXPECT_EQ(ToString(ReadAll(container)), "1234");
    container.AscendRecord();
    // Standing after "DirEntry", the search cannot see it again nor the record before it.
    EXPECT_EQ(container.DescendRecord("DirEntry"), 1);
    EXPECT_EQ(container.DescendRecord("filedata"), 1);
    EXPECT_EQ(container.GetRecordDepth(), 1u);

    // From the start, null takes whatever comes first.
    EXPECT_EQ(container.SeekLarge(0, NPLFileObject::FromBegin), 0u);
    ASSERT_EQ(container.DescendRecord(nullptr), 0);
    EXPECT_EQ(std::memcmp(container.GetCurrentRecord()->header.id, "filedata", 8), 0);
    EXPECT_EQ(ToString(ReadAll(container)), "xyz");
}

TEST_P(UDVFileMediumTest, AllOnesLengthRunsToTheEndOfTheFile)
{
    Bytes file = FileHeaderBytes();
    Append(file, RecordBytes("filedata", ToBytes("to the end"), ~std::uint64_t { 0 }));
    NPLFileObject& input = medium_.Load(file);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);
    EXPECT_EQ(container.GetLargeLength(), 10u);
    EXPECT_EQ(ToString(ReadAll(container)), "to the end");
}

// Lengths that cannot be true must not be followed: the search would seek outside the parent,
// and a skipped all-ones record would step back one byte and read its own header again.
TEST_P(UDVFileMediumTest, RecordLengthsThatDoNotFitTheirParentAreRefused)
{
    struct Case {
        const char* what;
        Bytes root;
        const char* wanted;
    };
    Bytes allOnesThenWanted = RecordBytes("skip.me.", ToBytes("xx"), ~std::uint64_t { 0 });
    Append(allOnesThenWanted, RecordBytes("wanted..", ToBytes("y")));
    Bytes nestedTooLong = RecordBytes("outer...", RecordBytes("inner...", ToBytes("ab"), 3));
    const Case cases[] = {
        { "record longer than the file", RecordBytes("filedata", ToBytes("abc"), 4), "filedata" },
        { "skipped record longer than the file", RecordBytes("filedata", ToBytes("abc"), 4), "DirEntry" },
        { "skipped all-ones record", allOnesThenWanted, "wanted.." },
        { "huge length", RecordBytes("filedata", ToBytes("abc"), 0x8000000000000000u), nullptr },
        { "huge skipped length", RecordBytes("filedata", ToBytes("abc"), 0xFFFFFFFFFFFFFFF0u), "DirEntry" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes file = FileHeaderBytes();
        Append(file, c.root);
        NPLFileObject& input = medium_.Load(file);
        UDVFile container;
        ASSERT_EQ(container.Open(&input, nullptr), 0);
        EXPECT_EQ(container.DescendRecord(c.wanted), 1);
        EXPECT_EQ(container.GetRecordDepth(), 1u);
    }

    // The inner record claims one byte more than its parent holds, though the file has it.
    Bytes file = FileHeaderBytes();
    Append(file, nestedTooLong);
    file.push_back('!');
    NPLFileObject& input = medium_.Load(file);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord("outer..."), 0);
    EXPECT_EQ(container.DescendRecord(nullptr), 1);
    EXPECT_EQ(container.GetRecordDepth(), 2u);
}

TEST_P(UDVFileMediumTest, ReadsStopAtTheRecordEndAndSeeksStayInside)
{
    Bytes data(100);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    Bytes file = FileHeaderBytes();
    Append(file, RecordBytes("filedata", data));
    Append(file, RecordBytes("trailer.", ToBytes("not part of it")));
    NPLFileObject& input = medium_.Load(file);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);

    std::uint8_t buffer[100];
    EXPECT_EQ(container.SeekLarge(90, NPLFileObject::FromBegin), 90u);
    ASSERT_EQ(container.Read(buffer, 100), 10u);
    EXPECT_EQ(buffer[0], 90);
    EXPECT_EQ(buffer[9], 99);
    EXPECT_EQ(container.Read(buffer, 100), 0u);

    EXPECT_EQ(container.SeekLarge(-4, NPLFileObject::FromEnd), 96u);
    EXPECT_EQ(container.SeekLarge(500, NPLFileObject::FromBegin), 100u);
    EXPECT_EQ(container.SeekLarge(-1, NPLFileObject::FromBegin), 100u); // before the start: the end
    EXPECT_EQ(container.Seek(-10, NPLFileObject::FromCurrent), 90u);
    EXPECT_EQ(container.GetPosition(), 90u);
    // Reading mode: a write is held inside the record too (a read-only disk file takes none).
    EXPECT_LE(container.Write(buffer, 50), 10u);
    EXPECT_LE(container.GetLargePosition(), 100u);
}

TEST(UDVFileTest, SeekingWhileWritingLengthensTheRecord)
{
    EMemoryFile file;
    (void)file.Create(0);
    FileHeader header;
    UDVFile::SetFileHeader(&header, 0x02000400, nullptr);
    UDVFile container;
    ASSERT_EQ(container.Open(&file, &header), 0);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);
    Bytes fifty(50, 'x');
    ASSERT_EQ(container.Write(fifty.data(), 50), 50u);
    EXPECT_EQ(container.SeekLarge(0, NPLFileObject::FromCurrent), 50u);
    EXPECT_EQ(container.GetLargeLength(), 50u);
    EXPECT_EQ(container.SeekLarge(200, NPLFileObject::FromBegin), 200u);
    EXPECT_EQ(container.GetLargeLength(), 200u);
    // A target before the record's start lands on its start instead of making the length
    // near 2^64.
    EXPECT_EQ(container.SeekLarge(-5, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(container.GetLargeLength(), 200u);
    container.Close();
    Bytes bytes = MemoryFileBytes(file);
    EXPECT_EQ(bytes.size(), 64u + 16u + 200u);
    EXPECT_EQ(GetU64(bytes, 72), 200u);
    EXPECT_EQ(GetU64(bytes, 56), 216u);
}

TEST(UDVFileTest, SetEndOfFileCutsTheRecordAtThePosition)
{
    EMemoryFile file;
    (void)file.Create(0);
    FileHeader header;
    UDVFile::SetFileHeader(&header, 0x02000400, nullptr);
    UDVFile container;
    ASSERT_EQ(container.Open(&file, &header), 0);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);
    ASSERT_EQ(container.Write("0123456789", 10), 10u);
    container.Seek(4, NPLFileObject::FromBegin);
    EXPECT_EQ(container.SetEndOfFile(), 0);
    EXPECT_EQ(container.GetLargeLength(), 4u);
    container.Close();
    Bytes bytes = MemoryFileBytes(file);
    EXPECT_EQ(bytes.size(), 84u);
    EXPECT_EQ(GetU64(bytes, 72), 4u);
}

TEST_P(UDVFileMediumTest, DuplicateStandsInTheSameRecordAndReadsIndependently)
{
    Bytes file = FileHeaderBytes();
    Append(file, RecordBytes("first...", ToBytes("skip")));
    Append(file, RecordBytes("filedata", ToBytes("0123456789")));
    NPLFileObject& input = medium_.Load(file);
    UDVFile container;
    ASSERT_EQ(container.Open(&input, nullptr), 0);
    ASSERT_EQ(container.DescendRecord("filedata"), 0);
    container.Seek(3, NPLFileObject::FromBegin);

    FilePointer copy(container.Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->IsKindOf("UDVFile"), 1);
    EXPECT_EQ(copy->GetLargeLength(), 10u);
    EXPECT_EQ(copy->GetLargePosition(), 3u);
    char four[4];
    ASSERT_EQ(copy->Read(four, 4), 4u);
    EXPECT_EQ(std::string(four, 4), "3456");
    EXPECT_EQ(container.GetLargePosition(), 3u);
    EXPECT_EQ(ToString(ReadAll(container)), "3456789");
    EXPECT_EQ(copy->GetLargePosition(), 7u);
    auto* copiedContainer = static_cast<UDVFile*>(copy.get());
    EXPECT_EQ(copiedContainer->AscendRecord(), 0);
    EXPECT_EQ(copiedContainer->GetRecordDepth(), 1u);
    EXPECT_EQ(copy->GetLargePosition(), 16u + 4u + 16u + 10u);
}

// A duplicate shares the records of a container being written. Its stale lengths must not
// overwrite the final ones when it is destroyed after the container it came from.
TEST(UDVFileTest, DuplicateOfAContainerBeingWrittenLeavesTheFinalLengthsAlone)
{
    TempFolder folder;
    ERawFile file;
    ASSERT_EQ(file.Open(folder.Narrow("c.bin").c_str(), kModeCreate), 0);
    FilePointer copy;
    {
        FileHeader header;
        UDVFile::SetFileHeader(&header, 0x02000400, nullptr);
        UDVFile container;
        ASSERT_EQ(container.Open(&file, &header), 0);
        ASSERT_EQ(container.DescendRecord("filedata"), 0);
        ASSERT_EQ(container.Write("12345", 5), 5u);
        copy.reset(container.Duplicate());
        ASSERT_NE(copy, nullptr);
        ASSERT_EQ(container.Write("67890", 5), 5u);
    }
    copy.reset();
    file.Close();
    Bytes bytes = ToBytes(ReadWholeFile(folder.Path() / "c.bin"));
    ASSERT_EQ(bytes.size(), 64u + 16u + 10u);
    EXPECT_EQ(GetU64(bytes, 56), 26u);
    EXPECT_EQ(GetU64(bytes, 72), 10u);
}

TEST(UDVFileTest, ClassIdentityFollowsTheFileObjectChain)
{
    UDVFile container;
    EXPECT_STREQ(container.GetClassName(), "UDVFile");
    EXPECT_EQ(container.IsKindOf("UDVFile"), 1);
    EXPECT_EQ(container.IsKindOf("NPLFileObject"), 1);
    EXPECT_EQ(container.IsKindOf("NPLObject"), 1);
    EXPECT_EQ(container.IsKindOf("TOVRAArchive"), 0);
    EXPECT_EQ(container.DynamicCast(NPLFileObject::ClassName), &container);
}

TEST(UDVFileTest, ClosedContainerAnswersWithoutTouchingAnyFile)
{
    UDVFile container;
    char byte = 0;
    EXPECT_EQ(container.Read(&byte, 1), 0u);
    EXPECT_EQ(container.Write(&byte, 1), 0u);
    EXPECT_EQ(container.GetLargeLength(), 0u);
    EXPECT_EQ(container.DescendRecord(nullptr), 1);
    EXPECT_EQ(container.AscendRecord(), 0);
    EXPECT_EQ(container.Duplicate(), nullptr);
    EXPECT_EQ(container.Open(nullptr, nullptr), 1);
    container.Close();
}

} // namespace
