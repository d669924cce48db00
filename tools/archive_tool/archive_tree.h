// An archive opened for reading, and its directory tree read in full before any entry is used:
// every name can then be checked before the first file is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/tovra_archive.h"
#include "file/raw_file.h"
#include "tools/archive_tool/entry_name.h"
#include "tools/archive_tool/entry_time.h"

namespace archive_tool {

struct ArchiveEntry {
    std::string name; ///< as stored, in the archive's code page
    std::uint64_t length = 0;
    std::uint32_t attribute = 0;
    std::uint32_t encodeType = 0;
    EntryTime time;
    std::vector<ArchiveEntry> children; ///< of a folder, in the archive's name order

    [[nodiscard]] bool IsFolder() const { return (attribute & FileInfo::AttributeDirectory) != 0; }
};

struct ArchiveTree {
    std::vector<ArchiveEntry> entries; ///< of the root, in the archive's name order
    std::uint64_t totalBytes = 0; ///< of the file entries, as their lengths say
    std::uint64_t fileCount = 0;
    std::uint64_t folderCount = 0;
};

/// A disk file and the archive read from it; the archive is closed before the file.
class OpenedArchive {
public:
    /// Opens the archive at `path`, an 8-bit argument as given on the command line. False with
    /// `error` set when the file cannot be opened or is not a readable archive.
    [[nodiscard]] bool Open(const std::string& path, std::string& error);
    [[nodiscard]] TOVRAArchive& Archive() { return archive_; }

private:
    ERawFile file_;
    TOVRAArchive archive_;
};

/// Reads the directory tree of `archive` from its root (which must be current) and returns to
/// the root; `codec` only spells names in messages. False with `error` set when a folder cannot
/// be entered or listed.
[[nodiscard]] bool ReadArchiveTree(
    TOVRAArchive& archive, const EntryNameCodec& codec, ArchiveTree& tree, std::string& error);

/// The first entry of `tree` whose name cannot be used as a file or folder name, or that two
/// entries of one folder share; false with `error` naming it and the reason, true when every
/// name is safe.
[[nodiscard]] bool CheckArchiveNames(const ArchiveTree& tree, const EntryNameCodec& codec, std::string& error);

/// An entry name for a person to read: the name in the display code page when it is text in
/// the archive's code page, with every byte that could confuse a terminal written as \xNN.
[[nodiscard]] std::string DisplayEntryName(const std::string& name, const EntryNameCodec& codec);

/// The keyword of an encode type ("raw", "tovra_code", "bshf_crypt", "tovra_crypt"), or its
/// number in hexadecimal.
[[nodiscard]] std::string EncodeTypeName(std::uint32_t encodeType);

[[nodiscard]] EntryTime ToEntryTime(const FileTime& time);
[[nodiscard]] FileTime ToFileTime(const EntryTime& time);

} // namespace archive_tool
