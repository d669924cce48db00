#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "file/memory_file.h"
#include "file/raw_file.h"
#include "npl/platform/code_page.h"
#include "npl/platform/disk_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/file_object_helpers.h"

using npl::test::ReadWholeFile;
using npl::test::TempFolder;
using npl::test::WriteWholeFile;

namespace {

constexpr std::uint32_t kModeReadShared = NPLFileObject::modeRead | NPLFileObject::modeShareRead; // 0x12
constexpr std::uint32_t kModeCreateWrite = NPLFileObject::modeCreate | NPLFileObject::modeWrite; // 5
constexpr std::uint32_t kModeCreateReadWrite
    = NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite; // 7


class RawFileTest : public ::testing::Test {
protected:
    TempFolder folder_;
};

TEST_F(RawFileTest, CreateModeEmptiesAnExistingFile)
{
    WriteWholeFile(folder_.Path() / "out.bin", "old contents");
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("out.bin").c_str(), kModeCreateWrite), 0);
    EXPECT_EQ(file.GetOpenMode(), kModeCreateWrite);
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_EQ(file.Write("new", 3), 3u);
    file.Close();
    EXPECT_EQ(ReadWholeFile(folder_.Path() / "out.bin"), "new");
}

TEST_F(RawFileTest, OpenExistingOnMissingFileFailsAndLeavesTheFileClosed)
{
    ERawFile file;
    EXPECT_EQ(file.Open(folder_.Narrow("missing.bin").c_str(), kModeReadShared), 1);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetOpenMode(), 0u);
    EXPECT_TRUE(file.GetPath().IsEmpty());
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
    EXPECT_EQ(file.GetLargeLength(), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "missing.bin"));
}

TEST_F(RawFileTest, NullAndEmptyPathsFail)
{
    ERawFile file;
    EXPECT_EQ(file.Open(nullptr, kModeCreateWrite), 1);
    EXPECT_EQ(file.Open("", kModeCreateWrite), 1);
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(RawFileTest, WritingIntoAMissingFolderFailsWithoutCreatingIt)
{
    ERawFile file;
    EXPECT_EQ(file.Open(folder_.Narrow("no-such-folder/out.bin").c_str(), kModeCreateWrite), 1);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "no-such-folder"));
}

// Windows refuses to open a folder as a file; the POSIX layer must refuse it as well, or
// OpenRelative with an empty name would hand out an object over the folder.
TEST_F(RawFileTest, OpeningAFolderForReadingFails)
{
    ERawFile file;
    EXPECT_EQ(file.Open(folder_.Path().string().c_str(), kModeReadShared), 1);
    EXPECT_EQ(file.Open(folder_.Narrow("").c_str(), kModeReadShared), 1); // with a trailing separator
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(RawFileTest, ADriveTheSystemDoesNotKnowIsRefusedBeforeAnyOpen)
{
    char path[] = "Q:\\x.bin";
    char root[] = "Q:\\";
    for (char letter = 'Q'; letter <= 'Y'; ++letter) {
        root[0] = letter;
        if (!npl::platform::DiskDriveExists(root)) {
            path[0] = letter;
            ERawFile file;
            EXPECT_EQ(file.Open(path, kModeCreateWrite), 1);
            EXPECT_FALSE(file.IsOpen());
            EXPECT_EQ(file.Open(path, kModeReadShared), 1);
            return;
        }
    }
    GTEST_SKIP() << "every drive letter from Q to Y exists (POSIX has no drive letters)";
}

TEST_F(RawFileTest, FailedOpenKeepsTheRecordedPathAndCloseKeepsItToo)
{
    WriteWholeFile(folder_.Path() / "a.bin", "a");
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("a.bin").c_str(), kModeReadShared), 0);
    std::string recorded = file.GetPath().GetText();
    EXPECT_EQ(recorded, folder_.Narrow("a.bin"));
    EXPECT_EQ(file.Open(folder_.Narrow("missing.bin").c_str(), kModeReadShared), 1);
    EXPECT_EQ(std::string(file.GetPath().GetText()), recorded);
    file.Close();
    EXPECT_EQ(std::string(file.GetPath().GetText()), recorded);
}

TEST_F(RawFileTest, OpenClosesThePreviousFileAndReadsTheNewOne)
{
    WriteWholeFile(folder_.Path() / "a.bin", "first");
    WriteWholeFile(folder_.Path() / "b.bin", "second");
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("a.bin").c_str(), NPLFileObject::modeRead), 0);
    ASSERT_EQ(file.Open(folder_.Narrow("b.bin").c_str(), NPLFileObject::modeRead), 0);
    EXPECT_EQ(ReadString(file, 100), "second");
    // The first file was opened without sharing: opening it again only works once it is closed.
    ERawFile again;
    EXPECT_EQ(again.Open(folder_.Narrow("a.bin").c_str(), NPLFileObject::modeRead), 0);
}

// A relative path is recorded absolute, "." steps dropped; a path longer than the first 256
// characters offered is recorded whole (the size the system asks for is offered next).
TEST_F(RawFileTest, RecordsTheAbsolutePathEvenBeyond256Characters)
{
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_.Path());
    std::string base = folder_.Path().string();
    std::string longName(258 - base.size() - 1, 'n');
    ASSERT_LT(longName.size(), 250u);

    ERawFile file;
    EXPECT_EQ(file.Open("./short.bin", kModeCreateWrite), 0);
    std::string shortPath = file.GetPath().GetText();
    EXPECT_EQ(file.Open(longName.c_str(), kModeCreateWrite), 0);
    std::string longPath = file.GetPath().GetText();
    file.Close();
    std::filesystem::current_path(previous);

    EXPECT_EQ(shortPath, folder_.Narrow("short.bin"));
    EXPECT_EQ(longPath.size(), 258u);
    EXPECT_EQ(longPath, folder_.Narrow(longName));
}

TEST_F(RawFileTest, ReadsAndWritesReportTheBytesTheSystemMoved)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abcdef");
    ERawFile reader;
    ASSERT_EQ(reader.Open(folder_.Narrow("data.bin").c_str(), kModeReadShared), 0);
    EXPECT_EQ(reader.Write("x", 1), 0u); // opened for reading only
    EXPECT_EQ(ReadString(reader, 4), "abcd");
    EXPECT_EQ(ReadString(reader, 100), "ef"); // short at the end
    EXPECT_EQ(ReadString(reader, 100), "");

    ERawFile writer;
    ASSERT_EQ(writer.Open(folder_.Narrow("w.bin").c_str(), kModeCreateWrite), 0);
    char byte = 0;
    EXPECT_EQ(writer.Read(&byte, 1), 0u); // opened for writing only
}

TEST_F(RawFileTest, SeekFromTheEndIsSignExtended)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abcdef");
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("data.bin").c_str(), kModeReadShared), 0);
    EXPECT_EQ(file.Seek(-1, NPLFileObject::FromEnd), 5u);
    EXPECT_EQ(ReadString(file, 10), "f");
    EXPECT_EQ(file.Seek(-4, NPLFileObject::FromCurrent), 2u);
    EXPECT_EQ(ReadString(file, 1), "c");
    EXPECT_EQ(file.GetPosition(), 3u);
    EXPECT_EQ(file.GetLength(), 6u);
    EXPECT_EQ(file.GetLargeLength(), 6u);
}

TEST_F(RawFileTest, FailedSeeksGiveZeroAndKeepThePosition)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abcdef");
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("data.bin").c_str(), kModeReadShared), 0);
    ASSERT_EQ(file.Seek(3, NPLFileObject::FromBegin), 3u);
    EXPECT_EQ(file.SeekLarge(-10, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(file.Seek(-10, NPLFileObject::FromCurrent), 0u);
    EXPECT_EQ(file.SeekLarge(1, 3), 0u); // no such origin
    EXPECT_EQ(file.GetLargePosition(), 3u);
    file.Close();
    EXPECT_EQ(file.SeekLarge(0, NPLFileObject::FromBegin), 0u);
    EXPECT_EQ(file.GetPosition(), 0u);
}

TEST_F(RawFileTest, SetEndOfFileCutsAtThePosition)
{
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("cut.bin").c_str(), kModeCreateReadWrite), 0);
    ASSERT_EQ(file.Write("0123456789", 10), 10u);
    ASSERT_EQ(file.Seek(4, NPLFileObject::FromBegin), 4u);
    EXPECT_EQ(file.SetEndOfFile(), 0);
    EXPECT_EQ(file.GetLength(), 4u);
    file.Close();
    EXPECT_EQ(ReadWholeFile(folder_.Path() / "cut.bin"), "0123");
    EXPECT_EQ(file.SetEndOfFile(), 1);
}

// Files beyond 4 GiB, made sparse by writing one byte far out: every position and length is
// a full 64-bit value, and a low half of 0xFFFFFFFF is a position like any other, never the
// failure answer.
TEST_F(RawFileTest, PositionsAndLengthsBeyond4GiBAreFull64BitValues)
{
    constexpr std::uint64_t kFar = 0x100000007ull; // 4 GiB + 7: the low halves are small
    ERawFile file;
    ASSERT_EQ(file.Open(folder_.Narrow("big.bin").c_str(), kModeCreateReadWrite), 0);
    ASSERT_EQ(file.SeekLarge(static_cast<std::int64_t>(kFar), NPLFileObject::FromBegin), kFar);
    ASSERT_EQ(file.Write("Z", 1), 1u);
    EXPECT_EQ(file.GetLargeLength(), kFar + 1);
    EXPECT_EQ(file.GetLength(), 8u);
    EXPECT_EQ(file.GetLargePosition(), kFar + 1);
    EXPECT_EQ(file.GetPosition(), 8u);

    EXPECT_EQ(file.SeekLarge(0xFFFFFFFFll, NPLFileObject::FromBegin), 0xFFFFFFFFull);
    EXPECT_EQ(file.GetLargePosition(), 0xFFFFFFFFull);
    EXPECT_EQ(file.GetPosition(), 0xFFFFFFFFu);
    EXPECT_EQ(file.SeekLarge(0x100000000ll, NPLFileObject::FromCurrent), 0x1FFFFFFFFull);
    EXPECT_EQ(file.GetLargePosition(), 0x1FFFFFFFFull);
    EXPECT_EQ(file.Seek(0, NPLFileObject::FromCurrent), 0xFFFFFFFFu);

    EXPECT_EQ(file.Seek(-1, NPLFileObject::FromEnd), 7u);
    EXPECT_EQ(file.GetLargePosition(), kFar);
    EXPECT_EQ(ReadString(file, 4), "Z");
    EXPECT_EQ(file.SeekLarge(-static_cast<std::int64_t>(kFar + 1), NPLFileObject::FromEnd), 0u);
    EXPECT_EQ(ReadString(file, 1), std::string(1, '\0'));
    file.Close();

    ERawFile reader;
    ASSERT_EQ(reader.Open(folder_.Narrow("big.bin").c_str(), kModeReadShared), 0);
    EXPECT_EQ(reader.GetLargeLength(), kFar + 1);
}

TEST_F(RawFileTest, DuplicateOfAReadableFileReadsFromTheStart)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abcdef");
    auto source = std::make_unique<ERawFile>();
    ASSERT_EQ(source->Open(folder_.Narrow("data.bin").c_str(), kModeReadShared), 0);
    ASSERT_EQ(ReadString(*source, 4), "abcd");

    FilePointer copy(source->Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetClassName(), "ERawFile");
    EXPECT_EQ(copy->GetOpenMode(), kModeReadShared);
    EXPECT_EQ(copy->GetPosition(), 0u);
    EXPECT_EQ(ReadString(*copy, 3), "abc");
    EXPECT_EQ(source->GetPosition(), 4u);
    EXPECT_EQ(ReadString(*source, 10), "ef");

    source.reset(); // the duplicate lives on by itself
    EXPECT_EQ(ReadString(*copy, 10), "def");
}

TEST_F(RawFileTest, DuplicateOfAWriteOnlyFileSharesThePositionAndNeverTruncates)
{
    ERawFile source;
    ASSERT_EQ(source.Open(folder_.Narrow("out.bin").c_str(), kModeCreateWrite), 0);
    ASSERT_EQ(source.Write("abc", 3), 3u);
    FilePointer copy(source.Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetOpenMode(), kModeCreateWrite);
    EXPECT_EQ(copy->GetPosition(), 3u);
    EXPECT_EQ(copy->Write("def", 3), 3u);
    EXPECT_EQ(source.GetPosition(), 6u);
    EXPECT_EQ(source.Write("g", 1), 1u);
    source.Close();
    EXPECT_EQ(copy->Write("h", 1), 1u);
    copy.reset();
    EXPECT_EQ(ReadWholeFile(folder_.Path() / "out.bin"), "abcdefgh");
}

// Windows enforces the share flags; POSIX does not (see the README's platform notes).
TEST_F(RawFileTest, ShareFlagsDecideWhetherOthersMayOpenTheFile)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abc");
    std::string path = folder_.Narrow("data.bin");
    ERawFile shared;
    ASSERT_EQ(shared.Open(path.c_str(), kModeReadShared), 0);
    ERawFile reader;
    EXPECT_EQ(reader.Open(path.c_str(), kModeReadShared), 0);
    reader.Close();
    ERawFile writer;
#ifdef _WIN32
    EXPECT_EQ(writer.Open(path.c_str(), NPLFileObject::modeWrite | NPLFileObject::modeShareRead), 1);
#else
    EXPECT_EQ(writer.Open(path.c_str(), NPLFileObject::modeWrite | NPLFileObject::modeShareRead), 0);
#endif
    writer.Close();
    shared.Close();
    ERawFile exclusive;
    ASSERT_EQ(exclusive.Open(path.c_str(), NPLFileObject::modeRead), 0);
#ifdef _WIN32
    EXPECT_EQ(reader.Open(path.c_str(), kModeReadShared), 1);
#else
    EXPECT_EQ(reader.Open(path.c_str(), kModeReadShared), 0);
#endif
}

// A readable file whose sharing refuses the second open falls back to a duplicated handle,
// which shares the position. Only Windows refuses; POSIX reopens with a position of its own.
TEST_F(RawFileTest, DuplicateFallsBackToASharedHandleWhenTheReopenIsRefused)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abcdef");
    ERawFile source;
    ASSERT_EQ(source.Open(folder_.Narrow("data.bin").c_str(), NPLFileObject::modeRead | NPLFileObject::modeWrite), 0);
    ASSERT_EQ(ReadString(source, 2), "ab");
    FilePointer copy(source.Duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetOpenMode(), NPLFileObject::modeRead | NPLFileObject::modeWrite);
#ifdef _WIN32
    EXPECT_EQ(ReadString(*copy, 2), "cd");
    EXPECT_EQ(source.GetPosition(), 4u);
#else
    EXPECT_EQ(ReadString(*copy, 2), "ab");
    EXPECT_EQ(source.GetPosition(), 2u);
#endif
}

TEST_F(RawFileTest, DuplicateOfAClosedFileIsNull)
{
    WriteWholeFile(folder_.Path() / "data.bin", "abc");
    ERawFile file;
    EXPECT_EQ(file.Duplicate(), nullptr);
    ASSERT_EQ(file.Open(folder_.Narrow("data.bin").c_str(), kModeReadShared), 0);
    file.Close();
    EXPECT_EQ(file.Duplicate(), nullptr);
}

class OpenRelativeTest : public RawFileTest {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(folder_.Path() / "game" / "data");
        WriteWholeFile(folder_.Path() / "game" / "patch.exe", "exe");
        WriteWholeFile(folder_.Path() / "game" / "data" / "a.bin", "entry a");
        ASSERT_EQ(exe_.Open((folder_.Path() / "game" / "patch.exe").string().c_str(), kModeReadShared), 0);
    }

    static std::u16string Wide(const std::string& text)
    {
        return std::u16string(text.begin(), text.end()); // ASCII only
    }

    ERawFile exe_;
};

TEST_F(OpenRelativeTest, ANameWithFoldersIsTakenFromTheFilesFolder)
{
    FilePointer entry(exe_.OpenRelative(u"data\\a.bin", kModeReadShared));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ReadString(*entry, 100), "entry a");
    EXPECT_EQ(entry->GetOpenMode(), kModeReadShared);

    FilePointer slashed(exe_.OpenRelative(u"data/a.bin", kModeReadShared));
    ASSERT_NE(slashed, nullptr);
    EXPECT_EQ(ReadString(*slashed, 100), "entry a");

    FilePointer created(exe_.OpenRelative(u"data\\new.bin", kModeCreateWrite));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->Write("n", 1), 1u);
    created.reset();
    EXPECT_EQ(ReadWholeFile(folder_.Path() / "game" / "data" / "new.bin"), "n");
}

TEST_F(OpenRelativeTest, ARootedNameKeepsOnlyTheDrive)
{
    // The same file named from the root of its drive: "\...\game\data\a.bin".
    std::string absolute = (folder_.Path() / "game" / "data" / "a.bin").string();
    std::string rooted = absolute.substr(absolute.find_first_of("\\/"));
    FilePointer entry(exe_.OpenRelative(Wide(rooted).c_str(), kModeReadShared));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ReadString(*entry, 100), "entry a");
}

TEST_F(OpenRelativeTest, ANameWithADriveIsUsedUnchanged)
{
    // "X:y.bin" with X the current drive names y.bin in the current folder; POSIX has no
    // drives, and there the name is a plain relative file name "D:y.bin".
    std::string absolute = folder_.Path().string();
    std::string name = absolute[1] == ':' ? absolute.substr(0, 2) + "y.bin" : "D:y.bin";
    WriteWholeFile(folder_.Path() / (absolute[1] == ':' ? std::string("y.bin") : name), "drive relative");
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_.Path());
    FilePointer entry(exe_.OpenRelative(Wide(name).c_str(), kModeReadShared));
    std::filesystem::current_path(previous);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ReadString(*entry, 100), "drive relative");
}

TEST_F(OpenRelativeTest, AnEmptyNameNamesTheFolderAndYieldsNull)
{
    EXPECT_EQ(exe_.OpenRelative(u"", kModeReadShared), nullptr);
    EXPECT_EQ(exe_.OpenRelative(nullptr, kModeReadShared), nullptr);
    EXPECT_EQ(exe_.OpenRelative(u"data\\missing.bin", kModeReadShared), nullptr);
}

// A file object without OpenRelative of its own hands the call to its parent file.
class ChildFile : public EMemoryFile {
public:
    void SetParent(NPLFileObject* parent) { parent_ = parent; }
};

TEST_F(OpenRelativeTest, TheDefaultDelegatesToTheParentFile)
{
    ChildFile child;
    EXPECT_EQ(child.OpenRelative(u"data\\a.bin", kModeReadShared), nullptr);
    child.SetParent(&exe_);
    FilePointer entry(child.OpenRelative(u"data\\a.bin", kModeReadShared));
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->GetClassName(), "ERawFile");
    EXPECT_EQ(ReadString(*entry, 100), "entry a");
}

// In code page 932 the trail byte of a double-byte character can be 0x5C, the backslash: it
// must not end the folder part of the recorded path.
TEST_F(RawFileTest, OpenRelativeKeepsDoubleByteCharactersWithBackslashTrailBytesWhole)
{
    unsigned previousCodePage = npl::platform::GetAnsiCodePage();
    if (!npl::platform::SetAnsiCodePage(npl::platform::kCodePageShiftJis))
        GTEST_SKIP() << "the process code page is not 932";
    const char hyouSjis[] = "\x95\x5C"; // 表
#ifdef _WIN32
    std::filesystem::path japanese = folder_.Path() / std::filesystem::path(L"\u8868");
#else
    std::filesystem::path japanese = folder_.Path() / std::filesystem::path(std::string(hyouSjis));
#endif
    std::filesystem::create_directories(japanese);
    WriteWholeFile(japanese / "patch.exe", "exe");
    WriteWholeFile(japanese / "a.bin", "inside");
    WriteWholeFile(folder_.Path() / "a.bin", "outside");

    std::string exePath = folder_.Path().string() + static_cast<char>(std::filesystem::path::preferred_separator)
        + hyouSjis + static_cast<char>(std::filesystem::path::preferred_separator) + "patch.exe";
    ERawFile exe;
    ASSERT_EQ(exe.Open(exePath.c_str(), kModeReadShared), 0);
    FilePointer entry(exe.OpenRelative(u"a.bin", kModeReadShared));
    FilePointer wideName(exe.OpenRelative(u"..\\\u8868\\a.bin", kModeReadShared));
    npl::platform::SetAnsiCodePage(previousCodePage);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ReadString(*entry, 100), "inside");
    ASSERT_NE(wideName, nullptr);
    EXPECT_EQ(ReadString(*wideName, 100), "inside");
}

TEST(RawFileIdentity, AnswersAsADiskFileAndAFileObject)
{
    ERawFile file;
    EXPECT_STREQ(file.GetClassName(), "ERawFile");
    EXPECT_EQ(file.IsKindOf("NPLFileObject"), 1);
    EXPECT_EQ(file.IsKindOf("NPLObject"), 1);
    EXPECT_EQ(file.IsKindOf("EMemoryFile"), 0);
    EXPECT_EQ(file.DynamicCast(NPLFileObject::ClassName), static_cast<NPLFileObject*>(&file));
    EXPECT_EQ(file.GetOpenMode(), 0u);
    EXPECT_FALSE(file.IsOpen());
}

} // namespace
