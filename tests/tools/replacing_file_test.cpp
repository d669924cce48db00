#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"
#include "tools/archive_tool/replacing_file.h"

namespace archive_tool {
namespace {

using npl::test::ReadWholeFile;
using npl::test::TempFolder;
using npl::test::WriteWholeFile;

std::size_t CountEntries(const std::filesystem::path& folder)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

TEST(ReplacingFileTest, UncommittedWriteLeavesTheOldFileAndNoTemporary)
{
    TempFolder folder;
    std::filesystem::path target = folder.Path() / "data.bin";
    WriteWholeFile(target, "old contents");
    {
        ReplacingFile file(target);
        std::string error;
        ASSERT_TRUE(file.Open(error)) << error;
        ASSERT_TRUE(file.Write("new", 3));
        EXPECT_EQ(file.TemporaryPath().parent_path(), target.parent_path()) << "a rename within one folder";
        EXPECT_EQ(ReadWholeFile(target), "old contents") << "nothing reaches the target before Commit";
    } // destroyed as a failed extraction would leave it
    EXPECT_EQ(ReadWholeFile(target), "old contents");
    EXPECT_EQ(CountEntries(folder.Path()), 1u);
}

TEST(ReplacingFileTest, CommitReplacesTheOldFileAndSetsItsTime)
{
    TempFolder folder;
    std::filesystem::path target = folder.Path() / "data.bin";
    WriteWholeFile(target, "old contents, longer than the new");
    auto time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    time = std::chrono::floor<std::chrono::seconds>(time);

    ReplacingFile file(target);
    std::string error;
    ASSERT_TRUE(file.Open(error)) << error;
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.Commit(time, error)) << error;
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(std::filesystem::last_write_time(target), time);
    EXPECT_EQ(CountEntries(folder.Path()), 1u);
}

// A folder in the way must not be replaced by a file, nor the temporary file left behind.
TEST(ReplacingFileTest, CommitOverAFolderFailsAndCleansUp)
{
    TempFolder folder;
    std::filesystem::path target = folder.Path() / "taken";
    std::filesystem::create_directory(target);
    WriteWholeFile(target / "inside.txt", "kept");

    ReplacingFile file(target);
    std::string error;
    ASSERT_TRUE(file.Open(error)) << error;
    ASSERT_TRUE(file.Write("x", 1));
    EXPECT_FALSE(file.Commit(std::nullopt, error));
    EXPECT_NE(error.find("taken"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(target / "inside.txt"), "kept");
    EXPECT_EQ(CountEntries(folder.Path()), 1u);
}

} // namespace
} // namespace archive_tool
