// Archive benchmarks.
//
// Reading: a 1 GiB entry stored unchanged is read through the archive in 64 KiB blocks and
// compared, in the same run, with reading the same bytes straight from the disk file. The
// archive adds one seek and one record descent per entry and no copy, so its rate must stay
// at 0.95 of the direct rate or above (counter `archive_vs_direct`).
//
// Writing: archives of 1,000 and 10,000 small files, to show that the directory handling
// (filing the list, finding each entry, writing the list twice) grows linearly.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "archive/tovra_archive.h"
#include "file/memory_file.h"
#include "file/raw_file.h"

namespace {

constexpr std::uint64_t kEntrySize = std::uint64_t { 1 } << 30;
constexpr std::uint32_t kBlock = 65536;
constexpr const char* kEntryName = "big.bin";

/// The benchmark's own folder with the big archive, made on first use and removed at exit.
class BigArchive {
public:
    static BigArchive& Get()
    {
        if (Slot() == nullptr)
            Slot().reset(new BigArchive);
        return *Slot();
    }
    /// Removes the folder if a benchmark made it.
    static void Cleanup()
    {
        if (Slot() != nullptr)
            Slot()->Remove();
        Slot().reset();
    }

    bool Ready() const { return ready_; }
    const std::string& Path() const { return path_; }
    /// Absolute position of the entry's first content byte in the file.
    std::uint64_t DataStart() const { return dataStart_; }

    void Remove()
    {
        std::error_code ignored;
        if (!folder_.empty())
            std::filesystem::remove_all(folder_, ignored);
        ready_ = false;
    }

private:
    static std::unique_ptr<BigArchive>& Slot()
    {
        static std::unique_ptr<BigArchive> slot;
        return slot;
    }

    BigArchive()
    {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("npl-archive-bench-" + std::to_string(random()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "big.tovra").string();
        ready_ = Create();
    }

    bool Create()
    {
        ERawFile file;
        if (file.Open(path_.c_str(), NPLFileObject::modeCreate | NPLFileObject::modeRead | NPLFileObject::modeWrite)
            != 0)
            return false;
        TOVRAArchive::EDirectory list;
        FileInfo info;
        if (info.SetName(kEntryName) != 0 || list.AddEntry(info) != 0)
            return false;
        TOVRAArchive archive;
        if (archive.Open(&file, &list) != 0 || archive.OpenEntry(kEntryName, nullptr, 0) != 0)
            return false;
        dataStart_ = file.GetLargePosition();
        // Real bytes, different in every block, so nothing reads faster for being sparse.
        std::vector<std::uint8_t> block(kBlock);
        std::mt19937 random(7);
        for (std::uint64_t done = 0; done < kEntrySize; done += kBlock) {
            for (std::size_t i = 0; i < block.size(); i += 64)
                block[i] = static_cast<std::uint8_t>(random());
            if (archive.Write(block.data(), kBlock) != kBlock)
                return false;
        }
        archive.Close();
        return file.GetLargeLength() == dataStart_ + kEntrySize;
    }

    std::filesystem::path folder_;
    std::string path_;
    std::uint64_t dataStart_ = 0;
    bool ready_ = false;
};

std::uint64_t ReadThroughArchive(std::uint8_t* block)
{
    const BigArchive& big = BigArchive::Get();
    ERawFile file;
    if (file.Open(big.Path().c_str(), NPLFileObject::modeRead | NPLFileObject::modeShareRead) != 0)
        return 0;
    TOVRAArchive archive;
    if (archive.Open(&file, nullptr) != 0 || archive.OpenEntry(kEntryName, nullptr, 1) != 0)
        return 0;
    std::uint64_t total = 0;
    for (;;) {
        const std::uint32_t got = archive.Read(block, kBlock);
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

std::uint64_t ReadDirect(std::uint8_t* block)
{
    const BigArchive& big = BigArchive::Get();
    ERawFile file;
    if (file.Open(big.Path().c_str(), NPLFileObject::modeRead | NPLFileObject::modeShareRead) != 0)
        return 0;
    file.SeekLarge(static_cast<std::int64_t>(big.DataStart()), NPLFileObject::FromBegin);
    std::uint64_t total = 0;
    while (total < kEntrySize) {
        const std::uint32_t got = file.Read(block, kBlock);
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

void BM_ReadEntryThroughArchive(benchmark::State& state)
{
    if (!BigArchive::Get().Ready()) {
        state.SkipWithError("the big archive could not be made");
        return;
    }
    std::vector<std::uint8_t> block(kBlock);
    for (auto _ : state) {
        if (ReadThroughArchive(block.data()) != kEntrySize) {
            state.SkipWithError("short read through the archive");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntrySize));
}
BENCHMARK(BM_ReadEntryThroughArchive)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadSameBytesDirect(benchmark::State& state)
{
    if (!BigArchive::Get().Ready()) {
        state.SkipWithError("the big archive could not be made");
        return;
    }
    std::vector<std::uint8_t> block(kBlock);
    for (auto _ : state) {
        if (ReadDirect(block.data()) != kEntrySize) {
            state.SkipWithError("short direct read");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntrySize));
}
BENCHMARK(BM_ReadSameBytesDirect)->Unit(benchmark::kMillisecond)->Iterations(3);

/// Both paths taken in turns within one benchmark; the best time of each decides, so that a
/// disturbance on the machine does not count against one of them alone.
void BM_ArchiveVersusDirect(benchmark::State& state)
{
    if (!BigArchive::Get().Ready()) {
        state.SkipWithError("the big archive could not be made");
        return;
    }
    std::vector<std::uint8_t> block(kBlock);
    double bestArchive = 1e30;
    double bestDirect = 1e30;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const std::uint64_t direct = ReadDirect(block.data());
        auto middle = std::chrono::steady_clock::now();
        const std::uint64_t archived = ReadThroughArchive(block.data());
        auto end = std::chrono::steady_clock::now();
        if (direct != kEntrySize || archived != kEntrySize) {
            state.SkipWithError("short read");
            return;
        }
        bestDirect = std::min(bestDirect, std::chrono::duration<double>(middle - start).count());
        bestArchive = std::min(bestArchive, std::chrono::duration<double>(end - middle).count());
    }
    const double ratio = bestDirect / bestArchive;
    state.counters["direct_GiB_per_s"] = 1.0 / bestDirect;
    state.counters["archive_GiB_per_s"] = 1.0 / bestArchive;
    state.counters["archive_vs_direct"] = ratio;
    state.counters["meets_0_95"] = ratio >= 0.95 ? 1 : 0;
}
BENCHMARK(BM_ArchiveVersusDirect)->Unit(benchmark::kMillisecond)->Iterations(5);

std::string EntryName(std::uint32_t i)
{
    char name[32];
    std::snprintf(name, sizeof name, "file%06u.txt", i);
    return name;
}

/// The whole writer: filing the caller's list, then every entry opened, written, closed, and
/// the directory written twice, into a memory file so that the disk does not hide it.
void BM_CreateArchiveOfSmallFiles(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < count; ++i)
        names.push_back(EntryName(i));
    // The entries are written in a scrambled order, as a folder scan might give them.
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    const std::string content(100, 'c');

    for (auto _ : state) {
        TOVRAArchive::EDirectory list;
        for (std::uint32_t i = 0; i < count; ++i) {
            FileInfo info;
            (void)info.SetName(names[i].c_str());
            (void)list.AddEntry(info);
        }
        // Room for everything from the start: the memory file's own growth copies its whole
        // block every few writes, which would hide the writer's cost.
        EMemoryFile file;
        (void)file.Create(count * 256);
        TOVRAArchive archive;
        if (archive.Open(&file, &list) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        for (std::uint32_t i : order) {
            if (archive.OpenEntry(names[i].c_str(), nullptr, 0) != 0) {
                state.SkipWithError("entry failed");
                return;
            }
            (void)archive.Write(content.data(), static_cast<std::uint32_t>(content.size()));
            (void)archive.CloseEntry();
        }
        archive.Close();
        benchmark::DoNotOptimize(file.GetLength());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.SetComplexityN(count);
}
BENCHMARK(BM_CreateArchiveOfSmallFiles)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

/// A caller's list filled one entry at a time in scrambled name order: every entry is filed
/// by binary search, and the entries behind it move up by one slot.
void BM_FileEntriesInScrambledOrder(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    std::vector<FileInfo> infos(count);
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        (void)infos[i].SetName(EntryName(i).c_str());
        order[i] = i;
    }
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (auto _ : state) {
        TOVRAArchive::EDirectory list;
        for (std::uint32_t i : order)
            (void)list.AddEntry(infos[i]);
        benchmark::DoNotOptimize(list.GetCount());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.SetComplexityN(count);
}
BENCHMARK(BM_FileEntriesInScrambledOrder)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

/// Reading back the directory of 10,000 entries: the list is read in large pieces and each
/// entry is appended, since the writer stores them in name order.
void BM_OpenArchiveOfSmallFiles(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    TOVRAArchive::EDirectory list;
    for (std::uint32_t i = 0; i < count; ++i) {
        FileInfo info;
        (void)info.SetName(EntryName(i).c_str());
        (void)list.AddEntry(info);
    }
    EMemoryFile file;
    (void)file.Create(0);
    {
        TOVRAArchive writer;
        if (writer.Open(&file, &list) != 0) {
            state.SkipWithError("open failed");
            return;
        }
    }
    for (auto _ : state) {
        file.Seek(0, NPLFileObject::FromBegin);
        TOVRAArchive archive;
        if (archive.Open(&file, nullptr) != 0) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(archive.GetCurrentDirectory()->GetCount());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.SetComplexityN(count);
}
BENCHMARK(BM_OpenArchiveOfSmallFiles)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    BigArchive::Cleanup();
    return 0;
}
