// The executable image reader on disk files:
// - finding and opening the archive resource of a patcher-sized executable (1 MB of code and
//   data before the resource): one read of the headers and directory, one copy, one search;
// - reading a 100 MB resource through the window in 64 KiB blocks, against reading the same
//   range of the file directly (the window should cost nothing measurable: ratio >= 0.95).
// The images are built in the benchmark's own temporary folder at start-up.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file/exe_image_file.h"
#include "file/raw_file.h"
#include "fixtures/pe_test_image.h"

namespace {

constexpr std::uint32_t kLeadingBytes = 1 << 20;        ///< code and data before the resources
constexpr std::uint32_t kPatcherResource = 600 * 1024;  ///< a patch archive
constexpr std::uint32_t kBigResource = 100u << 20;      ///< a resource worth streaming
constexpr std::uint32_t kBlock = 64 * 1024;

class Images {
public:
    Images()
    {
        folder_ = std::filesystem::temp_directory_path() / ("exe_image_bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(folder_);
        patcher_ = Write("patcher.exe", kPatcherResource);
        big_ = Write("big.exe", kBigResource);
    }
    ~Images()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const std::string& Patcher() const { return patcher_; }
    const std::string& Big() const { return big_; }

private:
    std::string Write(const char* name, std::uint32_t resourceSize)
    {
        const pe_test::Bytes section = pe_test::BuildArchiveResourceSection(resourceSize);
        const pe_test::Bytes head = pe_test::BuildImage(
            section, static_cast<std::uint32_t>(section.size()) + resourceSize, kLeadingBytes, false);
        const std::string path = (folder_ / name).string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
        std::vector<char> block(kBlock);
        for (std::uint32_t written = 0; written < resourceSize; written += kBlock) {
            for (std::uint32_t i = 0; i < kBlock; ++i)
                block[i] = static_cast<char>((written + i) * 31 >> 3);
            out.write(block.data(), std::min<std::uint32_t>(kBlock, resourceSize - written));
        }
        return path;
    }

    std::filesystem::path folder_;
    std::string patcher_;
    std::string big_;
};

const Images& TheImages()
{
    static const Images images;
    return images;
}

void Open(ERawFile& file, const std::string& path, benchmark::State& state)
{
    if (file.Open(path.c_str(), NPLFileObject::modeRead | NPLFileObject::modeShareRead) != 0)
        state.SkipWithError("cannot open the image");
}

void BM_FindAndOpenArchiveResource(benchmark::State& state)
{
    ERawFile file;
    Open(file, TheImages().Patcher(), state);
    EXEImageFileObject image;
    for (auto _ : state) {
        file.Seek(0, NPLFileObject::FromBegin);
        if (image.OpenPEImageFile(&file) != nullptr || image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0) != nullptr) {
            state.SkipWithError("the image did not open");
            break;
        }
        benchmark::DoNotOptimize(image.GetLength());
    }
    state.counters["copy_bytes"] = image.GetImageCopyLength();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * image.GetImageCopyLength());
}
BENCHMARK(BM_FindAndOpenArchiveResource)->Unit(benchmark::kMicrosecond);

std::vector<char>& Buffer()
{
    static std::vector<char> buffer(kBlock);
    return buffer;
}

void BM_ReadResourceThroughWindow(benchmark::State& state)
{
    ERawFile file;
    Open(file, TheImages().Big(), state);
    EXEImageFileObject image;
    if (image.OpenPEImageFile(&file) != nullptr || image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0) != nullptr)
        state.SkipWithError("the image did not open");
    for (auto _ : state) {
        image.Seek(0, NPLFileObject::FromBegin);
        std::uint64_t total = 0;
        while (const std::uint32_t got = image.Read(Buffer().data(), kBlock))
            total += got;
        if (total != kBigResource)
            state.SkipWithError("short read through the window");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBigResource);
}
BENCHMARK(BM_ReadResourceThroughWindow)->Unit(benchmark::kMillisecond);

// What the window adds to each block: it asks the underlying file for its position, because
// the window has none of its own.
void BM_UnderlyingPositionQuery(benchmark::State& state)
{
    ERawFile file;
    Open(file, TheImages().Big(), state);
    for (auto _ : state)
        benchmark::DoNotOptimize(file.GetPosition());
}
BENCHMARK(BM_UnderlyingPositionQuery);

void BM_ReadSameRangeDirectly(benchmark::State& state)
{
    ERawFile file;
    Open(file, TheImages().Big(), state);
    EXEImageFileObject image;
    if (image.OpenPEImageFile(&file) != nullptr || image.OpenResource("RT_RCDATA", "IDR_ARCHIVE", 0) != nullptr)
        state.SkipWithError("the image did not open");
    const std::uint32_t offset = image.GetWindowOffset();
    for (auto _ : state) {
        file.Seek(static_cast<std::int32_t>(offset), NPLFileObject::FromBegin);
        std::uint64_t total = 0;
        while (total < kBigResource) {
            const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kBlock, kBigResource - total));
            const std::uint32_t got = file.Read(Buffer().data(), want);
            if (got == 0)
                break;
            total += got;
        }
        if (total != kBigResource)
            state.SkipWithError("short read of the file");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBigResource);
}
BENCHMARK(BM_ReadSameRangeDirectly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
