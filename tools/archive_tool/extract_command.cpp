// `extract ARCHIVE [-C DIR]`: writes every entry below the target folder. Every name is
// checked before the first byte is written; each file is written under a temporary name and
// put in place only when it is complete and its checksum (for coded entries) is right.
#include <iostream>
#include <system_error>
#include <vector>

#include "npl/platform/terminal.h"
#include "tools/archive_tool/archive_tree.h"
#include "tools/archive_tool/commands.h"
#include "tools/archive_tool/path_text.h"
#include "tools/archive_tool/progress_bar.h"
#include "tools/archive_tool/replacing_file.h"

namespace archive_tool {

namespace {

constexpr std::uint32_t kBlockSize = 65536;

class Extractor {
public:
    Extractor(TOVRAArchive& archive, const EntryNameCodec& codec, ProgressBar& progress, std::string& error)
        : archive_(archive)
        , codec_(codec)
        , progress_(progress)
        , error_(error)
        , buffer_(kBlockSize)
    {
    }

    bool ExtractLevel(
        const std::vector<ArchiveEntry>& entries, const std::filesystem::path& folder, const std::string& displayFolder)
    {
        for (const ArchiveEntry& entry : entries) {
            std::string shown = displayFolder + DisplayEntryName(entry.name, codec_);
            // The names were checked before extraction began; a name that still cannot be made
            // a path is refused rather than written anywhere else.
            std::optional<std::u16string> name = codec_.ToFileName(entry.name);
            std::optional<std::filesystem::path> component = name ? PathFromName(*name) : std::nullopt;
            if (!component || component->has_parent_path() || !component->has_filename())
                return Fail("unsafe entry name \"" + shown + "\"");
            std::filesystem::path target = folder / *component;
            if (entry.IsFolder() ? !ExtractFolder(entry, target, shown) : !ExtractFile(entry, target, shown))
                return false;
        }
        return true;
    }

private:
    bool ExtractFolder(const ArchiveEntry& entry, const std::filesystem::path& target, const std::string& shown)
    {
        std::error_code ec;
        std::filesystem::file_status status = std::filesystem::symlink_status(target, ec);
        if (std::filesystem::exists(status)) {
            // A link would lead the entries below it out of the target folder.
            if (std::filesystem::is_symlink(status) || !std::filesystem::is_directory(status))
                return Fail(DisplayPath(target) + " exists and is not a folder");
        } else if (!std::filesystem::create_directory(target, ec) && ec) {
            return Fail("cannot create the folder " + DisplayPath(target) + ": " + ec.message());
        }
        if (archive_.DescendDirectory(entry.name.c_str(), nullptr) != 0)
            return Fail("the folder entry " + shown + " is damaged");
        bool ok = ExtractLevel(entry.children, target, shown + "/");
        archive_.AscendDirectory();
        if (!ok)
            return false;
        if (std::optional<std::filesystem::file_time_type> time = FileTimeFromEntryTime(entry.time))
            std::filesystem::last_write_time(target, *time, ec); // a folder time that cannot be set is no failure
        return true;
    }

    bool ExtractFile(const ArchiveEntry& entry, const std::filesystem::path& target, const std::string& shown)
    {
        std::error_code ec;
        std::filesystem::file_status status = std::filesystem::symlink_status(target, ec);
        if (std::filesystem::is_directory(status))
            return Fail(DisplayPath(target) + " exists and is a folder");
        if (archive_.OpenEntry(entry.name.c_str(), nullptr, 1) != 0) {
            if (entry.encodeType != FileInfo::EncodeRaw)
                return Fail(
                    "the entry " + shown + " (encode type " + EncodeTypeName(entry.encodeType) + ") cannot be decoded");
            return Fail("the entry " + shown + " is damaged");
        }
        ReplacingFile file(target);
        if (!file.Open(error_)) {
            archive_.CloseEntry();
            return false;
        }
        std::uint64_t left = entry.length;
        while (left > 0) {
            std::uint32_t want = left < kBlockSize ? static_cast<std::uint32_t>(left) : kBlockSize;
            std::uint32_t got = archive_.Read(buffer_.data(), want);
            if (got == 0 || got > want) {
                archive_.CloseEntry();
                return Fail("the entry " + shown + " is damaged: it ends after " + std::to_string(entry.length - left)
                    + " of " + std::to_string(entry.length) + " bytes");
            }
            if (!file.Write(buffer_.data(), got)) {
                archive_.CloseEntry();
                return Fail("cannot write " + DisplayPath(file.TemporaryPath()));
            }
            left -= got;
            progress_.AddBytes(got);
        }
        if (archive_.CloseEntry() != 0)
            return Fail("the entry " + shown + " is damaged: its checksum does not match");
        if (!file.Commit(FileTimeFromEntryTime(entry.time), error_))
            return false;
        progress_.AddFile();
        return true;
    }

    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }

    TOVRAArchive& archive_;
    const EntryNameCodec& codec_;
    ProgressBar& progress_;
    std::string& error_;
    std::vector<char> buffer_;
};

} // namespace

int RunExtract(const ExtractOptions& options, std::string& error)
{
    EntryNameCodec codec(options.namesCodePage);
    OpenedArchive opened;
    if (!opened.Open(options.archive, error))
        return kExitFailure;
    ArchiveTree tree;
    if (!ReadArchiveTree(opened.Archive(), codec, tree, error) || !CheckArchiveNames(tree, codec, error))
        return kExitFailure;

    std::optional<std::filesystem::path> target = PathFromArgument(options.target);
    if (!target) {
        error = "the target folder name \"" + options.target + "\" cannot be used";
        return kExitFailure;
    }
    std::error_code ec;
    std::filesystem::create_directories(*target, ec);
    if (!std::filesystem::is_directory(*target, ec)) {
        error = "cannot create the folder " + options.target;
        return kExitFailure;
    }

    bool onTerminal = !options.noProgress && npl::platform::IsTerminal(npl::platform::StandardStream::Error);
    ProgressBar progress(std::cerr, onTerminal, tree.totalBytes, tree.fileCount,
        npl::platform::GetTerminalWidth(npl::platform::StandardStream::Error));
    Extractor extractor(opened.Archive(), codec, progress, error);
    bool ok = extractor.ExtractLevel(tree.entries, *target, "");
    progress.Finish();
    return ok ? kExitSuccess : kExitFailure;
}

} // namespace archive_tool
