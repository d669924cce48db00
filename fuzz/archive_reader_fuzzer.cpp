// Opens an archive from the fuzzer's bytes over a memory file, walks the whole tree (the
// archive bounds its depth) and reads every file entry to its end, once through the archive
// and once more as stored bytes through OpenRelative.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "archive/tovra_archive.h"
#include "tests/archive/archive_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const npl::test::ArchiveWalk walk = npl::test::WalkArchiveBytes(data, size, false);
    // An entry stored unchanged that opens delivers exactly its length, and no walk goes deeper
    // than the bound, whatever the bytes say.
    if (walk.shortReads != 0 || walk.deepest > TOVRAArchive::MaxDirectoryDepth)
        std::abort();
    return 0;
}
