// `test ARCHIVE`: reads every entry as extraction would and reports each one that is damaged,
// undecodable or unsafe to extract, without writing anything.
#include <cstdio>
#include <iostream>
#include <vector>

#include "npl/platform/terminal.h"
#include "tools/archive_tool/archive_tree.h"
#include "tools/archive_tool/commands.h"
#include "tools/archive_tool/progress_bar.h"

namespace archive_tool {

namespace {

constexpr std::uint32_t kBlockSize = 65536;

class Tester {
public:
    Tester(TOVRAArchive& archive, const EntryNameCodec& codec, ProgressBar& progress)
        : archive_(archive)
        , codec_(codec)
        , progress_(progress)
        , buffer_(kBlockSize)
    {
    }

    void TestLevel(const std::vector<ArchiveEntry>& entries, const std::string& displayFolder)
    {
        for (const ArchiveEntry& entry : entries) {
            std::string shown = displayFolder + DisplayEntryName(entry.name, codec_);
            if (!entry.IsFolder()) {
                TestFile(entry, shown);
                continue;
            }
            if (archive_.DescendDirectory(entry.name.c_str(), nullptr) != 0) {
                Report(shown + "/: the folder entry is damaged");
                continue;
            }
            TestLevel(entry.children, shown + "/");
            archive_.AscendDirectory();
        }
    }

    [[nodiscard]] std::uint64_t Problems() const { return problems_; }
    [[nodiscard]] const std::string& ReportText() const { return report_; }

private:
    void TestFile(const ArchiveEntry& entry, const std::string& shown)
    {
        progress_.AddFile();
        if (archive_.OpenEntry(entry.name.c_str(), nullptr, 1) != 0) {
            if (entry.encodeType != FileInfo::EncodeRaw)
                Report(shown + ": cannot be decoded (encode type " + EncodeTypeName(entry.encodeType) + ")");
            else
                Report(shown + ": damaged (cannot be opened)");
            return;
        }
        std::uint64_t left = entry.length;
        while (left > 0) {
            std::uint32_t want = left < kBlockSize ? static_cast<std::uint32_t>(left) : kBlockSize;
            std::uint32_t got = archive_.Read(buffer_.data(), want);
            if (got == 0)
                break;
            left -= got;
            progress_.AddBytes(got);
        }
        bool checksumOk = archive_.CloseEntry() == 0;
        if (left > 0)
            Report(shown + ": damaged (ends after " + std::to_string(entry.length - left) + " of "
                + std::to_string(entry.length) + " bytes)");
        else if (!checksumOk)
            Report(shown + ": damaged (checksum does not match)");
    }

    void Report(const std::string& line)
    {
        ++problems_;
        report_ += line;
        report_ += '\n';
    }

    TOVRAArchive& archive_;
    const EntryNameCodec& codec_;
    ProgressBar& progress_;
    std::vector<char> buffer_;
    std::uint64_t problems_ = 0;
    std::string report_;
};

} // namespace

int RunTest(const TestOptions& options, std::string& error)
{
    EntryNameCodec codec(options.namesCodePage);
    OpenedArchive opened;
    if (!opened.Open(options.archive, error))
        return kExitFailure;
    ArchiveTree tree;
    if (!ReadArchiveTree(opened.Archive(), codec, tree, error)) {
        error = options.archive + " is damaged: " + error;
        return kExitFailure;
    }

    bool onTerminal = !options.noProgress && npl::platform::IsTerminal(npl::platform::StandardStream::Error);
    ProgressBar progress(std::cerr, onTerminal, tree.totalBytes, tree.fileCount,
        npl::platform::GetTerminalWidth(npl::platform::StandardStream::Error));
    Tester tester(opened.Archive(), codec, progress);
    tester.TestLevel(tree.entries, "");
    progress.Finish();

    std::string out = tester.ReportText();
    std::uint64_t problems = tester.Problems();
    std::string nameError;
    if (!CheckArchiveNames(tree, codec, nameError)) {
        out += nameError + "\n";
        ++problems;
    }
    char summary[128];
    std::snprintf(summary, sizeof summary, "%llu files, %llu folders, %llu bytes: %s\n",
        static_cast<unsigned long long>(tree.fileCount), static_cast<unsigned long long>(tree.folderCount),
        static_cast<unsigned long long>(tree.totalBytes), problems == 0 ? "intact" : "PROBLEMS FOUND");
    out += summary;
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (problems != 0) {
        error
            = options.archive + ": " + std::to_string(problems) + (problems == 1 ? " problem" : " problems") + " found";
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace archive_tool
