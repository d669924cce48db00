// `list ARCHIVE`: the tree with each entry's encode type, length, time stamp and path.
#include <cstdio>
#include <string>

#include "tools/archive_tool/archive_tree.h"
#include "tools/archive_tool/commands.h"

namespace archive_tool {

namespace {

void PrintLevel(
    const std::vector<ArchiveEntry>& entries, const std::string& path, const EntryNameCodec& codec, std::string& out)
{
    for (const ArchiveEntry& entry : entries) {
        std::string name = path + DisplayEntryName(entry.name, codec);
        char line[96];
        if (entry.IsFolder())
            std::snprintf(line, sizeof line, "%-11s %14s  %-19s  ", "folder", "-", FormatEntryTime(entry.time).c_str());
        else
            std::snprintf(line, sizeof line, "%-11s %14llu  %-19s  ", EncodeTypeName(entry.encodeType).c_str(),
                static_cast<unsigned long long>(entry.length), FormatEntryTime(entry.time).c_str());
        out += line;
        out += name;
        if (entry.IsFolder())
            out += '/';
        out += '\n';
        if (entry.IsFolder())
            PrintLevel(entry.children, name + "/", codec, out);
    }
}

} // namespace

int RunList(const ListOptions& options, std::string& error)
{
    EntryNameCodec codec(options.namesCodePage);
    OpenedArchive opened;
    if (!opened.Open(options.archive, error))
        return kExitFailure;
    ArchiveTree tree;
    if (!ReadArchiveTree(opened.Archive(), codec, tree, error))
        return kExitFailure;

    std::string out;
    char line[160];
    std::snprintf(line, sizeof line, "%-11s %14s  %-19s  %s\n", "type", "length", "time (UTC)", "name");
    out += line;
    PrintLevel(tree.entries, "", codec, out);
    std::snprintf(line, sizeof line, "%llu files, %llu folders, %llu bytes\n",
        static_cast<unsigned long long>(tree.fileCount), static_cast<unsigned long long>(tree.folderCount),
        static_cast<unsigned long long>(tree.totalBytes));
    out += line;
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        error = "cannot write the list to standard output";
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace archive_tool
