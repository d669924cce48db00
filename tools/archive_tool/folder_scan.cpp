#include "tools/archive_tool/folder_scan.h"

#include <algorithm>
#include <system_error>

#include "tools/archive_tool/path_text.h"

namespace archive_tool {

namespace {

class Scanner {
public:
    Scanner(const EntryNameCodec& codec, int maxNesting, SourceTree& tree, std::string& error)
        : codec_(codec)
        , maxNesting_(maxNesting)
        , tree_(tree)
        , error_(error)
    {
    }

    bool ScanLevel(const std::filesystem::path& folder, int nesting, std::vector<SourceEntry>& entries)
    {
        std::error_code ec;
        std::filesystem::directory_iterator it(folder, ec);
        if (ec)
            return Fail("cannot read the folder " + DisplayPath(folder) + ": " + ec.message());
        for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
            if (ec)
                return Fail("cannot read the folder " + DisplayPath(folder) + ": " + ec.message());
            SourceEntry entry;
            if (!Describe(*it, entry))
                return false;
            entries.push_back(std::move(entry));
        }
        if (ec)
            return Fail("cannot read the folder " + DisplayPath(folder) + ": " + ec.message());
        std::sort(entries.begin(), entries.end(),
            [](const SourceEntry& a, const SourceEntry& b) { return CompareEntryNames(a.entryName, b.entryName) < 0; });
        for (std::size_t i = 1; i < entries.size(); ++i) {
            if (CompareEntryNames(entries[i - 1].entryName, entries[i].entryName) == 0)
                return Fail(DisplayPath(entries[i - 1].path) + " and " + DisplayPath(entries[i].path.filename())
                    + " differ only in letter case, which an archive cannot tell apart");
        }
        for (SourceEntry& entry : entries) {
            if (!entry.isFolder)
                continue;
            if (nesting + 1 > maxNesting_)
                return Fail(
                    DisplayPath(entry.path) + " is nested more than " + std::to_string(maxNesting_) + " folders deep");
            if (!ScanLevel(entry.path, nesting + 1, entry.children))
                return false;
        }
        return true;
    }

private:
    bool Describe(const std::filesystem::directory_entry& item, SourceEntry& entry)
    {
        const std::filesystem::path& path = item.path();
        std::optional<std::u16string> name = NameFromPath(path.filename());
        if (!name)
            return Fail(DisplayPath(path) + ": the name is not valid UTF-8");
        std::optional<std::string> entryName = codec_.ToEntryName(*name);
        if (!entryName)
            return Fail(DisplayPath(path) + ": the name cannot be written in code page "
                + std::to_string(codec_.CodePage())
                + (codec_.CodePage() == kNamesShiftJis ? " (use --names utf-8 to keep it)" : ""));
        NameProblem problem = CheckEntryName(*entryName, codec_.CodePage());
        if (problem != NameProblem::None)
            return Fail(DisplayPath(path) + ": the name " + DescribeNameProblem(problem));
        // The kind comes with the folder listing on most systems; only links cost a look.
        std::error_code ec;
        bool isFolder = item.is_directory(ec);
        bool isFile = !ec && !isFolder && item.is_regular_file(ec);
        if (ec)
            return Fail("cannot read " + DisplayPath(path) + ": " + ec.message());
        if (isFolder) {
            entry.isFolder = true;
            ++tree_.folderCount;
        } else if (isFile) {
            entry.length = std::filesystem::file_size(path, ec);
            if (ec)
                return Fail("cannot read " + DisplayPath(path) + ": " + ec.message());
            ++tree_.fileCount;
            tree_.totalBytes += entry.length;
        } else {
            return Fail(DisplayPath(path) + " is neither a file nor a folder");
        }
        std::filesystem::file_time_type time = std::filesystem::last_write_time(path, ec);
        if (ec)
            return Fail("cannot read the time of " + DisplayPath(path) + ": " + ec.message());
        entry.time = EntryTimeFromFileTime(time);
        entry.entryName = std::move(*entryName);
        entry.path = path;
        return true;
    }

    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }

    const EntryNameCodec& codec_;
    int maxNesting_;
    SourceTree& tree_;
    std::string& error_;
};

} // namespace

bool ScanFolder(const std::filesystem::path& folder, const EntryNameCodec& codec, int maxNesting, SourceTree& tree,
    std::string& error)
{
    tree = SourceTree {};
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        error = DisplayPath(folder) + " is not a folder";
        return false;
    }
    return Scanner(codec, maxNesting, tree, error).ScanLevel(folder, 0, tree.entries);
}

} // namespace archive_tool
