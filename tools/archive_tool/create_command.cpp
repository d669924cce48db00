// `create ARCHIVE DIR`: packs a folder tree. The tree is scanned in full first (names, kinds,
// lengths, times), the archive is written under a temporary name, read back, and only then put
// in place of ARCHIVE, so a failed run leaves an existing archive as it was.
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "npl/platform/terminal.h"
#include "tools/archive_tool/archive_tree.h"
#include "tools/archive_tool/commands.h"
#include "tools/archive_tool/folder_scan.h"
#include "tools/archive_tool/path_text.h"
#include "tools/archive_tool/progress_bar.h"
#include "tools/archive_tool/replacing_file.h"

namespace archive_tool {

namespace {

constexpr std::size_t kBlockSize = 65536;

/// The entry list of one folder, in the scan's (the archive's) name order, so that every entry
/// is appended at constant cost.
bool BuildList(const std::vector<SourceEntry>& entries, TOVRAArchive::EDirectory& list)
{
    for (const SourceEntry& entry : entries) {
        FileInfo info;
        if (info.SetName(entry.entryName.c_str()) != 0)
            return false;
        info.attribute = entry.isFolder ? FileInfo::AttributeDirectory : 0;
        info.encodeType = FileInfo::EncodeRaw;
        info.length = entry.isFolder ? 0 : entry.length;
        info.time = ToFileTime(entry.time);
        if (list.AddEntry(info) != 0)
            return false;
    }
    return true;
}

class Packer {
public:
    Packer(TOVRAArchive& archive, ProgressBar& progress, std::string& error)
        : archive_(archive)
        , progress_(progress)
        , error_(error)
        , buffer_(kBlockSize)
    {
    }

    bool PackLevel(const std::vector<SourceEntry>& entries)
    {
        for (const SourceEntry& entry : entries) {
            if (entry.isFolder ? !PackFolder(entry) : !PackFile(entry))
                return false;
        }
        return true;
    }

private:
    bool PackFolder(const SourceEntry& entry)
    {
        TOVRAArchive::EDirectory list;
        if (!BuildList(entry.children, list))
            return Fail("out of memory while listing " + DisplayPath(entry.path));
        if (archive_.DescendDirectory(entry.entryName.c_str(), &list) != 0)
            return Fail("cannot write the folder " + DisplayPath(entry.path) + " to the archive");
        if (!PackLevel(entry.children))
            return false;
        if (archive_.AscendDirectory() != 0)
            return Fail("cannot finish the folder " + DisplayPath(entry.path) + " in the archive");
        return true;
    }

    bool PackFile(const SourceEntry& entry)
    {
        std::ifstream input(entry.path, std::ios::binary);
        if (!input.is_open())
            return Fail("cannot open " + DisplayPath(entry.path));
        if (archive_.OpenEntry(entry.entryName.c_str(), nullptr, 0) != 0)
            return Fail("cannot start the entry for " + DisplayPath(entry.path) + " in the archive");
        std::uint64_t total = 0;
        while (input) {
            input.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
            auto got = static_cast<std::uint32_t>(input.gcount());
            if (got == 0)
                break;
            if (archive_.Write(buffer_.data(), got) != got) {
                archive_.CloseEntry();
                return Fail("cannot write to the archive (is the disk full?)");
            }
            total += got;
            progress_.AddBytes(got);
        }
        bool readFailed = input.bad();
        archive_.CloseEntry();
        if (readFailed)
            return Fail("cannot read " + DisplayPath(entry.path));
        // The directory already lists the scanned length; a file that grew or shrank since
        // would make the archive disagree with itself.
        if (total != entry.length)
            return Fail(DisplayPath(entry.path) + " changed while it was being packed");
        progress_.AddFile();
        return true;
    }

    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }

    TOVRAArchive& archive_;
    ProgressBar& progress_;
    std::string& error_;
    std::vector<char> buffer_;
};

bool SameLevel(const std::vector<SourceEntry>& written, const std::vector<ArchiveEntry>& read)
{
    if (written.size() != read.size())
        return false;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const SourceEntry& a = written[i];
        const ArchiveEntry& b = read[i];
        if (a.entryName != b.name || a.isFolder != b.IsFolder() || (!a.isFolder && a.length != b.length))
            return false;
        if (a.isFolder && !SameLevel(a.children, b.children))
            return false;
    }
    return true;
}

} // namespace

int RunCreate(const CreateOptions& options, std::string& error)
{
    EntryNameCodec codec(options.namesCodePage);
    std::optional<std::filesystem::path> folder = PathFromArgument(options.folder);
    std::optional<std::filesystem::path> destination = PathFromArgument(options.archive);
    if (!folder || !destination) {
        error = "ARCHIVE and DIR must not be empty";
        return kExitUsage;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(*destination, ec)) {
        error = options.archive + " is a folder";
        return kExitFailure;
    }
    SourceTree tree;
    if (!ScanFolder(*folder, codec, static_cast<int>(TOVRAArchive::MaxDirectoryDepth), tree, error))
        return kExitFailure;

    ReplacingFile output(*destination);
    std::optional<std::string> temporary = ArgumentFromPath(output.TemporaryPath());
    if (!temporary) {
        error = "the archive name " + options.archive + " cannot be used";
        return kExitFailure;
    }
    {
        ERawFile file;
        if (file.Open(
                temporary->c_str(), NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite)
            != 0) {
            error = "cannot create " + *temporary;
            return kExitFailure;
        }
        TOVRAArchive archive;
        TOVRAArchive::EDirectory root;
        if (!BuildList(tree.entries, root) || archive.Open(&file, &root) != 0) {
            error = "cannot start the archive " + *temporary;
            return kExitFailure;
        }
        bool onTerminal = !options.noProgress && npl::platform::IsTerminal(npl::platform::StandardStream::Error);
        ProgressBar progress(std::cerr, onTerminal, tree.totalBytes, tree.fileCount,
            npl::platform::GetTerminalWidth(npl::platform::StandardStream::Error));
        Packer packer(archive, progress, error);
        bool ok = packer.PackLevel(tree.entries);
        progress.Finish();
        archive.Close();
        file.Close();
        if (!ok)
            return kExitFailure;
    }

    // The writer does not see failed writes of its directory lists; reading them back does.
    {
        OpenedArchive check;
        ArchiveTree written;
        std::string ignored;
        if (!check.Open(*temporary, ignored) || !ReadArchiveTree(check.Archive(), codec, written, ignored)
            || !SameLevel(tree.entries, written.entries)) {
            error = "the archive written to " + *temporary + " does not read back correctly (is the disk full?)";
            return kExitFailure;
        }
    }
    if (!output.Commit(std::nullopt, error))
        return kExitFailure;
    return kExitSuccess;
}

} // namespace archive_tool
