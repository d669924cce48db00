#include "archive_walker.h"

#include "archive/tovra_archive.h"
#include "file/memory_file.h"
#include "npl/wide_string.h"

namespace npl::test {

namespace {

    constexpr std::uint32_t kBlock = 65536;

    std::vector<std::uint8_t> ReadEntry(NPLFileObject& file, std::uint8_t* block, std::uint64_t& total, bool keep)
    {
        std::vector<std::uint8_t> content;
        total = 0;
        for (;;) {
            const std::uint32_t got = file.Read(block, kBlock);
            if (got == 0)
                return content;
            total += got;
            if (keep)
                content.insert(content.end(), block, block + got);
        }
    }

    void WalkLevel(TOVRAArchive& archive, const std::string& prefix, std::uint32_t depth, std::uint8_t* block,
        ArchiveWalk& walk, bool keep)
    {
        if (depth > walk.deepest)
            walk.deepest = depth;
        TOVRAArchive::EDirectory list;
        if (archive.GetFileEntries(&list) != 0) {
            ++walk.refused;
            return;
        }
        for (std::uint32_t i = 0; i < list.GetCount(); ++i) {
            const FileInfo* info = list.GetInfo(i);
            const std::string name = info->GetName();
            if (info->IsDirectory()) {
                if (archive.DescendDirectory(name.c_str(), nullptr) != 0) {
                    ++walk.refused;
                    continue;
                }
                ++walk.directories;
                if (keep)
                    walk.entries.emplace_back(prefix + name + "/", std::vector<std::uint8_t>());
                WalkLevel(archive, prefix + name + "/", depth + 1, block, walk, keep);
                (void)archive.AscendDirectory();
                continue;
            }
            if (archive.OpenEntry(name.c_str(), nullptr, 1) != 0) {
                ++walk.refused;
                continue;
            }
            ++walk.files;
            std::uint64_t total = 0;
            std::vector<std::uint8_t> content = ReadEntry(archive, block, total, keep);
            if (total != archive.GetLargeLength())
                ++walk.shortReads;
            walk.bytes += total;
            if (keep)
                walk.entries.emplace_back(prefix + name, std::move(content));

            // The stored bytes once more, through a separate object over a duplicate of the file.
            const EWideString wide(name.c_str(), -1);
            NPLFileObject* stored = archive.OpenRelative(wide.GetText(), 0);
            if (stored != nullptr) {
                std::uint64_t storedTotal = 0;
                (void)ReadEntry(*stored, block, storedTotal, false);
                delete stored;
            }
            (void)archive.CloseEntry();
        }
    }

} // namespace

ArchiveWalk WalkArchive(NPLFileObject& file, bool keepContents)
{
    ArchiveWalk walk;
    TOVRAArchive archive;
    walk.openResult = archive.Open(&file, nullptr);
    if (walk.openResult != 0)
        return walk;
    std::vector<std::uint8_t> block(kBlock);
    WalkLevel(archive, "", 0, block.data(), walk, keepContents);
    archive.Close();
    return walk;
}

ArchiveWalk WalkArchiveBytes(const std::uint8_t* data, std::size_t size, bool keepContents)
{
    EMemoryFile file;
    (void)file.Create(static_cast<std::uint32_t>(size));
    if (size != 0 && file.Write(data, static_cast<std::uint32_t>(size)) != size)
        return ArchiveWalk();
    (void)file.Seek(0, NPLFileObject::FromBegin);
    return WalkArchive(file, keepContents);
}

} // namespace npl::test
