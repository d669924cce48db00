// The folder tree that `create` packs, read in full before the archive is started, so that
// every name is known to be usable and every list is in archive order before a byte is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/archive_tool/entry_name.h"
#include "tools/archive_tool/entry_time.h"

namespace archive_tool {

struct SourceEntry {
    std::string entryName; ///< in the archive's code page
    std::filesystem::path path; ///< where the content is read from
    bool isFolder = false;
    std::uint64_t length = 0; ///< of a file, when it was scanned
    EntryTime time;
    std::vector<SourceEntry> children; ///< of a folder, in entry-name order
};

struct SourceTree {
    std::vector<SourceEntry> entries; ///< of the top folder, in entry-name order
    std::uint64_t totalBytes = 0;
    std::uint64_t fileCount = 0;
    std::uint64_t folderCount = 0;
};

/// Reads the tree below `folder`. Names are converted with `codec` and must pass
/// `CheckEntryName`; two names of one folder that the archive cannot tell apart (they differ
/// only in the case of ASCII letters) are refused, and so are folders nested more than
/// `maxNesting` levels below `folder` (which also ends loops of symbolic links). Symbolic links
/// are followed. False with `error` set (one line) on the first problem.
[[nodiscard]] bool ScanFolder(const std::filesystem::path& folder, const EntryNameCodec& codec, int maxNesting,
    SourceTree& tree, std::string& error);

} // namespace archive_tool
