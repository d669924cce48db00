// The archive tool run as a program on real folders: round trips, names in code page 932 and
// UTF-8, error reports, damaged and hostile archives.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "archive/tovra_archive.h"
#include "file/raw_file.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/tool_runner.h"
#include "tools/archive_tool/archive_tree.h"
#include "tools/archive_tool/path_text.h"

namespace archive_tool {
namespace {

namespace fs = std::filesystem;
using npl::test::ReadWholeFile;
using npl::test::TempFolder;
using npl::test::WriteWholeFile;
using test::RunTool;
using test::ToolRun;

const fs::path kJapaneseFolder { u"\u65E5\u672C\u8A9E" }; // 日本語: 93 FA 96 7B 8C EA in code page 932
const fs::path kTrailByteFile { u"\u30BD\u30FC\u30B9.txt" }; // ソース.txt: ソ is 83 5C
const fs::path kKanjiFile { u"\u8868.dat" }; // 表.dat: 95 5C

// 2012-03-04 05:06:07 UTC, a Sunday: a time no test run is made at.
fs::file_time_type FixedTime()
{
    using namespace std::chrono;
    return file_clock::from_sys(sys_days { year { 2012 } / 3 / 4 } + hours { 5 } + minutes { 6 } + seconds { 7 });
}

/// Every file and folder below `root`: relative generic path -> contents ("<folder>" for one).
std::map<std::u16string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::u16string, std::string> result;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::u16string name = fs::relative(entry.path(), root).generic_u16string();
        result[name] = entry.is_directory() ? "<folder>" : ReadWholeFile(entry.path());
    }
    return result;
}

/// A source tree with nested folders, Japanese names, an empty file and an empty folder.
fs::path MakeSourceTree(const TempFolder& folder)
{
    fs::path src = folder.Path() / "src";
    fs::create_directories(src / kJapaneseFolder / "deep" / "deeper");
    fs::create_directories(src / "empty folder");
    WriteWholeFile(src / "readme.txt", "read me\r\n");
    WriteWholeFile(src / "empty.bin", "");
    WriteWholeFile(src / kJapaneseFolder / kTrailByteFile, "\x83\x5C\x81\x5B\x83\x58");
    WriteWholeFile(src / kKanjiFile, "kanji");
    std::string big(300000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 131 % 251);
    WriteWholeFile(src / kJapaneseFolder / "deep" / "deeper" / "big.bin", big);
    for (const auto& entry : fs::recursive_directory_iterator(src))
        if (entry.is_regular_file())
            fs::last_write_time(entry.path(), FixedTime());
    return src;
}

/// The entry names of the archive's root, as stored.
std::vector<std::string> RootNames(const std::string& archivePath)
{
    OpenedArchive opened;
    std::string error;
    ArchiveTree tree;
    std::vector<std::string> names;
    if (!opened.Open(archivePath, error)
        || !ReadArchiveTree(opened.Archive(), EntryNameCodec(kNamesShiftJis), tree, error))
        return { "<unreadable: " + error + ">" };
    for (const ArchiveEntry& entry : tree.entries)
        names.push_back(entry.name);
    return names;
}

struct CraftedEntry {
    std::string name;
    std::string content;
    bool folder = false;
    std::vector<CraftedEntry> children;
};

CraftedEntry File(std::string name, std::string content) { return { std::move(name), std::move(content), false, {} }; }

CraftedEntry Folder(std::string name, std::vector<CraftedEntry> children)
{
    return { std::move(name), "", true, std::move(children) };
}

void AddToList(const std::vector<CraftedEntry>& entries, TOVRAArchive::EDirectory& list)
{
    for (const CraftedEntry& entry : entries) {
        FileInfo info;
        ASSERT_EQ(info.SetName(entry.name.c_str()), 0);
        info.attribute = entry.folder ? FileInfo::AttributeDirectory : 0;
        ASSERT_EQ(list.AddEntry(info), 0);
    }
}

void WriteLevel(TOVRAArchive& archive, const std::vector<CraftedEntry>& entries)
{
    for (const CraftedEntry& entry : entries) {
        if (entry.folder) {
            TOVRAArchive::EDirectory list;
            AddToList(entry.children, list);
            ASSERT_EQ(archive.DescendDirectory(entry.name.c_str(), &list), 0) << entry.name;
            WriteLevel(archive, entry.children);
            ASSERT_EQ(archive.AscendDirectory(), 0);
        } else {
            ASSERT_EQ(archive.OpenEntry(entry.name.c_str(), nullptr, 0), 0) << entry.name;
            auto size = static_cast<std::uint32_t>(entry.content.size());
            ASSERT_EQ(archive.Write(entry.content.data(), size), size);
            archive.CloseEntry();
        }
    }
}

/// An archive written by the library's own writer, with whatever names a hostile publisher
/// might put in it.
void CraftArchive(const std::string& path, const std::vector<CraftedEntry>& root)
{
    ERawFile file;
    ASSERT_EQ(
        file.Open(path.c_str(), NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite), 0);
    TOVRAArchive archive;
    TOVRAArchive::EDirectory list;
    AddToList(root, list);
    ASSERT_EQ(archive.Open(&file, &list), 0);
    WriteLevel(archive, root);
    archive.Close();
}

TEST(ArchiveToolRunTest, RoundTripKeepsTreeContentsTimesAndCodePage932Names)
{
    TempFolder folder;
    fs::path src = MakeSourceTree(folder);
    std::string archive = folder.Narrow("patch.ovra");

    ToolRun create = RunTool(folder, { "create", archive, folder.Narrow("src") });
    ASSERT_EQ(create.status, 0) << create.err;
    EXPECT_EQ(create.err, "") << "quiet when the error stream is not a terminal";
    EXPECT_EQ(RootNames(archive),
        (std::vector<std::string> {
            "empty folder", "empty.bin", "readme.txt", "\x93\xFA\x96\x7B\x8C\xEA", "\x95\x5C.dat" }));

    ToolRun list = RunTool(folder, { "list", archive });
    ASSERT_EQ(list.status, 0) << list.err;
    std::string trailName = DisplayText(u"\u65E5\u672C\u8A9E/\u30BD\u30FC\u30B9.txt");
    EXPECT_NE(list.out.find(trailName), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("raw                 300000  2012-03-04 05:06:07  "), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("folder                   -"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("5 files, 4 folders, 300020 bytes"), std::string::npos) << list.out;

    ToolRun check = RunTool(folder, { "test", archive });
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("intact"), std::string::npos) << check.out;

    ToolRun extract = RunTool(folder, { "extract", archive, "-C", folder.Narrow("out") });
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(extract.err, "");
    EXPECT_EQ(Snapshot(folder.Path() / "out"), Snapshot(src));
    EXPECT_EQ(fs::last_write_time(folder.Path() / "out" / kJapaneseFolder / kTrailByteFile), FixedTime());

    // Extracting again over the first result replaces every file and leaves no stray files.
    ToolRun again = RunTool(folder, { "extract", archive, "-C", folder.Narrow("out") });
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Snapshot(folder.Path() / "out"), Snapshot(src));
}

TEST(ArchiveToolRunTest, Utf8NamesKeepWhatCodePage932Lacks)
{
    TempFolder folder;
    fs::path src = folder.Path() / "src";
    fs::create_directories(src / u"\u00E9t\u00E9"); // été
    WriteWholeFile(src / u"\u00E9t\u00E9" / u"caf\u00E9.txt", "crema"); // café.txt
    WriteWholeFile(src / kKanjiFile, "kanji");
    std::string archive = folder.Narrow("names.ovra");

    ToolRun refused = RunTool(folder, { "create", archive, folder.Narrow("src") });
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.OneErrorLine()) << refused.err;
    EXPECT_NE(refused.err.find("--names utf-8"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(folder.Path() / "names.ovra")) << "no archive from a failed run";

    ToolRun create = RunTool(folder, { "create", "--names", "utf-8", archive, folder.Narrow("src") });
    ASSERT_EQ(create.status, 0) << create.err;
    EXPECT_EQ(RootNames(archive), (std::vector<std::string> { "\xC3\xA9t\xC3\xA9", "\xE8\xA1\xA8.dat" }));

    ToolRun extract = RunTool(folder, { "extract", "--names", "utf-8", archive, "-C", folder.Narrow("out") });
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(Snapshot(folder.Path() / "out"), Snapshot(src));
}

TEST(ArchiveToolRunTest, FailuresGiveOneLineAndANonZeroStatus)
{
    TempFolder folder;
    WriteWholeFile(folder.Path() / "noise.ovra", std::string(200, 'x'));
    fs::create_directories(folder.Path() / "src");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* mentions;
    };
    const Case cases[] = {
        { { "list", folder.Narrow("missing.ovra") }, 1, "no such file" },
        { { "test", folder.Narrow("missing.ovra") }, 1, "missing.ovra" },
        { { "extract", folder.Narrow("missing.ovra"), "-C", folder.Narrow("out") }, 1, "missing.ovra" },
        { { "list", folder.Narrow("noise.ovra") }, 1, "not an archive" },
        { { "extract", folder.Narrow("noise.ovra") }, 1, "not an archive" },
        { { "create", folder.Narrow("a.ovra"), folder.Narrow("no-such-folder") }, 1, "not a folder" },
        { { "create", folder.Narrow("src"), folder.Narrow("src") }, 1, "is a folder" },
        { {}, 2, "--help" },
        { { "pack" }, 2, "--help" },
        { { "list" }, 2, "ARCHIVE" },
        { { "create", "--names", "latin-1", "a", "b" }, 2, "--names" },
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += a + " ";
        ToolRun run = RunTool(folder, c.arguments);
        EXPECT_EQ(run.status, c.status) << shown << run.err;
        EXPECT_TRUE(run.OneErrorLine()) << shown << "\n" << run.err;
        EXPECT_EQ(run.err.rfind("ovra: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.mentions), std::string::npos) << shown << run.err;
    }
    EXPECT_FALSE(fs::exists(folder.Path() / "out")) << "no target folder made for an unreadable archive";

    ToolRun help = RunTool(folder, { "extract", "--help" });
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--directory"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
}

// A truncated archive: its first file is intact, its last one is cut short. The damage is
// reported, and the file that was already there in its place is left as it was.
TEST(ArchiveToolRunTest, DamagedEntryIsReportedAndDoesNotReplaceAnExistingFile)
{
    TempFolder folder;
    fs::create_directories(folder.Path() / "src");
    WriteWholeFile(folder.Path() / "src" / "a.txt", "alpha");
    WriteWholeFile(folder.Path() / "src" / "z.bin", std::string(100000, 'z'));
    std::string archive = folder.Narrow("cut.ovra");
    ASSERT_EQ(RunTool(folder, { "create", archive, folder.Narrow("src") }).status, 0);
    fs::resize_file(folder.Path() / "cut.ovra", fs::file_size(folder.Path() / "cut.ovra") - 50000);

    ToolRun check = RunTool(folder, { "test", archive });
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(check.OneErrorLine()) << check.err;
    EXPECT_NE(check.err.find("1 problem found"), std::string::npos) << check.err;
    EXPECT_NE(check.out.find("z.bin: damaged"), std::string::npos) << check.out;
    EXPECT_EQ(check.out.find("a.txt"), std::string::npos) << check.out;

    fs::create_directories(folder.Path() / "out");
    WriteWholeFile(folder.Path() / "out" / "z.bin", "the previous version");
    ToolRun extract = RunTool(folder, { "extract", archive, "-C", folder.Narrow("out") });
    EXPECT_EQ(extract.status, 1);
    EXPECT_TRUE(extract.OneErrorLine()) << extract.err;
    EXPECT_NE(extract.err.find("z.bin is damaged"), std::string::npos) << extract.err;
    EXPECT_EQ(Snapshot(folder.Path() / "out"),
        (std::map<std::u16string, std::string> { { u"a.txt", "alpha" }, { u"z.bin", "the previous version" } }))
        << "no temporary file is left behind either";
}

// The encode type is the fourth field of the first entry of the root "DirEntry" record, which
// follows the 64-byte file header, its 16-byte record header and the 4-byte entry count.
TEST(ArchiveToolRunTest, EntryThatCannotBeDecodedIsListedAndReported)
{
    TempFolder folder;
    fs::create_directories(folder.Path() / "src");
    WriteWholeFile(folder.Path() / "src" / "coded.bin", "not really coded");
    std::string archive = folder.Narrow("coded.ovra");
    ASSERT_EQ(RunTool(folder, { "create", archive, folder.Narrow("src") }).status, 0);
    std::string bytes = ReadWholeFile(folder.Path() / "coded.ovra");
    ASSERT_GT(bytes.size(), 100u);
    ASSERT_EQ(bytes.substr(96, 4), std::string(4, '\0'));
    bytes.replace(96, 4, std::string("\x10\x00\x00\x80", 4)); // 0x80000010, the model coder
    WriteWholeFile(folder.Path() / "coded.ovra", bytes);

    ToolRun list = RunTool(folder, { "list", archive });
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("tovra_code"), std::string::npos) << list.out;

    ToolRun check = RunTool(folder, { "test", archive });
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(check.OneErrorLine()) << check.err;
    EXPECT_NE(check.out.find("coded.bin: cannot be decoded (encode type tovra_code)"), std::string::npos) << check.out;

    ToolRun extract = RunTool(folder, { "extract", archive, "-C", folder.Narrow("out") });
    EXPECT_EQ(extract.status, 1);
    EXPECT_TRUE(extract.OneErrorLine()) << extract.err;
    EXPECT_FALSE(fs::exists(folder.Path() / "out" / "coded.bin"));
}

// Names that would reach out of the target folder, or that Windows would read as something
// else. The first entry of each archive is harmless and sorts first: nothing at all may be
// written, since every name is checked before extraction starts.
TEST(ArchiveToolRunTest, UnsafeNamesAreRefusedBeforeAnythingIsWritten)
{
    const std::vector<CraftedEntry> hostile[] = {
        { File("a.txt", "a"), Folder("..", { File("evil.txt", "x") }) },
        { File("a.txt", "a"), File("../evil.txt", "x") },
        { File("a.txt", "a"), File("..\\evil.txt", "x") },
        { File("a.txt", "a"), File("C:evil.txt", "x") },
        { File("a.txt", "a"), Folder("sub", { File("/evil.txt", "x") }) },
        { File("a.txt", "a"), File("NUL", "x") },
        { File("", "x"), File("a.txt", "a") },
    };
    int index = 0;
    for (const auto& root : hostile) {
        SCOPED_TRACE("archive " + std::to_string(index++));
        TempFolder folder;
        std::string archive = folder.Narrow("hostile.ovra");
        CraftArchive(archive, root);
        fs::create_directories(folder.Path() / "jail" / "out");

        ToolRun extract = RunTool(folder, { "extract", archive, "-C", folder.Narrow("jail/out") });
        EXPECT_EQ(extract.status, 1);
        EXPECT_TRUE(extract.OneErrorLine()) << extract.err;
        EXPECT_NE(extract.err.find("unsafe entry name"), std::string::npos) << extract.err;
        EXPECT_EQ(Snapshot(folder.Path() / "jail"), (std::map<std::u16string, std::string> { { u"out", "<folder>" } }));
        EXPECT_FALSE(fs::exists(folder.Path() / "evil.txt"));
        EXPECT_FALSE(fs::exists("C:evil.txt"));

        ToolRun check = RunTool(folder, { "test", archive });
        EXPECT_EQ(check.status, 1);
        EXPECT_NE(check.out.find("unsafe entry name"), std::string::npos) << check.out;
    }
}

// A link placed in the target folder under a folder entry's name must not carry the entries
// below it elsewhere.
TEST(ArchiveToolRunTest, LinkInTheTargetFolderIsNotFollowed)
{
    TempFolder folder;
    fs::create_directories(folder.Path() / "elsewhere");
    fs::create_directories(folder.Path() / "out");
    std::error_code ec;
    fs::create_directory_symlink(folder.Path() / "elsewhere", folder.Path() / "out" / "sub", ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();
    std::string archive = folder.Narrow("link.ovra");
    CraftArchive(archive, { Folder("sub", { File("planted.txt", "x") }) });

    ToolRun extract = RunTool(folder, { "extract", archive, "-C", folder.Narrow("out") });
    EXPECT_EQ(extract.status, 1);
    EXPECT_TRUE(extract.OneErrorLine()) << extract.err;
    EXPECT_NE(extract.err.find("is not a folder"), std::string::npos) << extract.err;
    EXPECT_TRUE(fs::is_empty(folder.Path() / "elsewhere"));
}

} // namespace
} // namespace archive_tool
