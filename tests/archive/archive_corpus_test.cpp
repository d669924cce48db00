// Replays the committed fuzz corpus and the known-bad archives under the ordinary test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/tovra_archive.h"
#include "archive_walker.h"

namespace {

struct Sample {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

std::vector<Sample> LoadFolder(const char* folder)
{
    std::vector<Sample> samples;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (!item.is_regular_file())
            continue;
        std::ifstream in(item.path(), std::ios::binary);
        samples.push_back({ item.path().filename().string(),
            std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) });
    }
    std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.name < b.name; });
    return samples;
}

TEST(ArchiveCorpusTest, FuzzCorpusWalksWithinItsBounds)
{
    const std::vector<Sample> samples = LoadFolder(NPL_ARCHIVE_FUZZ_CORPUS);
    ASSERT_FALSE(samples.empty());
    std::uint32_t seeds = 0;
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.name);
        const npl::test::ArchiveWalk walk
            = npl::test::WalkArchiveBytes(sample.bytes.data(), sample.bytes.size(), false);
        EXPECT_EQ(walk.shortReads, 0u);
        EXPECT_LE(walk.deepest, TOVRAArchive::MaxDirectoryDepth);
        // The seeds were made by the writer: they open and every entry in them reads.
        if (sample.name.rfind("seed-", 0) == 0) {
            ++seeds;
            EXPECT_EQ(walk.openResult, 0);
            EXPECT_EQ(walk.refused, 0u);
        }
    }
    EXPECT_GE(seeds, 5u);
}

TEST(ArchiveCorpusTest, KnownBadArchivesAreRefused)
{
    const std::vector<Sample> samples = LoadFolder(NPL_ARCHIVE_BAD_FILES);
    ASSERT_GE(samples.size(), 10u);
    for (const Sample& sample : samples) {
        SCOPED_TRACE(sample.name);
        const npl::test::ArchiveWalk walk
            = npl::test::WalkArchiveBytes(sample.bytes.data(), sample.bytes.size(), false);
        EXPECT_EQ(walk.openResult, 1);
    }
}

} // namespace
