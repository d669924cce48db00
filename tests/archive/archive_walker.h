// Walks a whole archive the way an extracting program does: every directory entered, every
// file entry opened and read to its end, and its stored bytes read once more through
// OpenRelative. The fuzz target and the corpus replay test share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class NPLFileObject;

namespace npl::test {

struct ArchiveWalk {
    /// What TOVRAArchive::Open returned; nothing else is filled in unless it is 0.
    int openResult = 1;
    std::uint32_t directories = 0; ///< sub-directories entered
    std::uint32_t files = 0; ///< file entries opened
    std::uint32_t refused = 0; ///< entries that could not be entered or opened
    /// Opened entries that delivered another count of bytes than their length.
    std::uint32_t shortReads = 0;
    std::uint32_t deepest = 0; ///< deepest directory level reached (root 0)
    std::uint64_t bytes = 0; ///< content bytes read
    /// With `keepContents`: "dir/sub/name" and the bytes read, in walking order; directories
    /// appear as "dir/sub/" with no bytes.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
};

/// Opens an archive over `file` (from its current position) and walks all of it.
ArchiveWalk WalkArchive(NPLFileObject& file, bool keepContents);
/// The same over a memory file holding `size` bytes at `data`.
ArchiveWalk WalkArchiveBytes(const std::uint8_t* data, std::size_t size, bool keepContents);

} // namespace npl::test
