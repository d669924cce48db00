#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"
#include "tools/archive_tool/folder_scan.h"

namespace archive_tool {
namespace {

using npl::test::TempFolder;
using npl::test::WriteWholeFile;

TEST(FolderScanTest, ListsInArchiveOrderWithKindsLengthsAndTotals)
{
    TempFolder folder;
    std::filesystem::path root = folder.Path() / "src";
    std::filesystem::create_directories(root / "b" / "inner");
    std::filesystem::create_directories(root / "empty");
    WriteWholeFile(root / "_under.txt", "12345");
    WriteWholeFile(root / "a.txt", "");
    WriteWholeFile(root / "b" / "inner" / "c.bin", std::string(70000, 'c'));
    WriteWholeFile(root / std::filesystem::path(u"\u65E5\u672C.txt"), "jp");

    SourceTree tree;
    std::string error;
    ASSERT_TRUE(ScanFolder(root, EntryNameCodec(kNamesShiftJis), 64, tree, error)) << error;
    ASSERT_EQ(tree.entries.size(), 5u);
    // 'a' folds to 'A' (0x41), below '_' (0x5F); the kanji bytes sort last.
    EXPECT_EQ(tree.entries[0].entryName, "a.txt");
    EXPECT_EQ(tree.entries[1].entryName, "b");
    EXPECT_EQ(tree.entries[2].entryName, "empty");
    EXPECT_EQ(tree.entries[3].entryName, "_under.txt");
    EXPECT_EQ(tree.entries[4].entryName, "\x93\xFA\x96\x7B.txt");
    EXPECT_TRUE(tree.entries[1].isFolder);
    EXPECT_TRUE(tree.entries[2].isFolder);
    EXPECT_TRUE(tree.entries[2].children.empty());
    ASSERT_EQ(tree.entries[1].children.size(), 1u);
    ASSERT_EQ(tree.entries[1].children[0].children.size(), 1u);
    EXPECT_EQ(tree.entries[1].children[0].children[0].length, 70000u);
    EXPECT_EQ(tree.fileCount, 4u);
    EXPECT_EQ(tree.folderCount, 3u);
    EXPECT_EQ(tree.totalBytes, 70000u + 5 + 2);
}

TEST(FolderScanTest, NameOutsideCodePage932IsRefusedWithAHintUnlessUtf8)
{
    TempFolder folder;
    std::filesystem::path root = folder.Path() / "src";
    std::filesystem::create_directories(root);
    WriteWholeFile(root / std::filesystem::path(u"caf\u00E9.txt"), "x");

    SourceTree tree;
    std::string error;
    EXPECT_FALSE(ScanFolder(root, EntryNameCodec(kNamesShiftJis), 64, tree, error));
    EXPECT_NE(error.find("--names utf-8"), std::string::npos) << error;
    ASSERT_TRUE(ScanFolder(root, EntryNameCodec(kNamesUtf8), 64, tree, error)) << error;
    ASSERT_EQ(tree.entries.size(), 1u);
    EXPECT_EQ(tree.entries[0].entryName, "caf\xC3\xA9.txt");
}

TEST(FolderScanTest, NestingBeyondTheBoundIsRefused)
{
    TempFolder folder;
    std::filesystem::path root = folder.Path() / "src";
    std::filesystem::create_directories(root / "1" / "2" / "3");
    SourceTree tree;
    std::string error;
    EXPECT_TRUE(ScanFolder(root, EntryNameCodec(kNamesShiftJis), 3, tree, error)) << error;
    EXPECT_FALSE(ScanFolder(root, EntryNameCodec(kNamesShiftJis), 2, tree, error));
    EXPECT_NE(error.find("nested more than 2"), std::string::npos) << error;
}

// Names that differ only in ASCII case are one name to the archive (and to Windows).
TEST(FolderScanTest, NamesDifferingOnlyInCaseAreRefused)
{
    TempFolder folder;
    std::filesystem::path root = folder.Path() / "src";
    std::filesystem::create_directories(root);
    WriteWholeFile(root / "Read.me", "1");
    WriteWholeFile(root / "READ.ME", "2");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(root))
        ++files;
    if (files < 2)
        GTEST_SKIP() << "this file system folds case itself";
    SourceTree tree;
    std::string error;
    EXPECT_FALSE(ScanFolder(root, EntryNameCodec(kNamesShiftJis), 64, tree, error));
    EXPECT_NE(error.find("letter case"), std::string::npos) << error;
}

} // namespace
} // namespace archive_tool
