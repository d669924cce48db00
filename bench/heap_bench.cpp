// The library heap against the C runtime's malloc on the patterns the library produces:
// small-object churn, strings growing by appends, and a fragmented heap with many live blocks.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "npl/heap.h"

namespace {

struct LibraryHeap {
    LibraryHeap()
        : heap(nplHeapCreate(0, 0, 0, nullptr))
    {
    }
    ~LibraryHeap() { nplHeapDestroy(heap); }
    void* Allocate(std::uint32_t size) { return nplHeapAllocate(heap, size, 0); }
    void* Reallocate(void* block, std::uint32_t size) { return nplHeapReallocate(heap, block, size, 0); }
    void Free(void* block) { nplHeapFree(heap, block, 0); }
    NPLHeap heap;
};

struct RuntimeHeap {
    void* Allocate(std::uint32_t size) { return std::malloc(size); }
    void* Reallocate(void* block, std::uint32_t size) { return std::realloc(block, size); }
    void Free(void* block) { std::free(block); }
};

std::vector<std::uint32_t> RandomSizes(std::size_t count, std::uint32_t low, std::uint32_t high, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::uint32_t> size(low, high);
    std::vector<std::uint32_t> sizes(count);
    for (std::uint32_t& value : sizes)
        value = size(random);
    return sizes;
}

// A window of 1,024 live objects of 16 to 256 bytes; each step frees the oldest and
// allocates a new one.
template <class Heap> void SmallObjectChurn(benchmark::State& state)
{
    Heap heap;
    constexpr std::size_t kLive = 1024;
    std::vector<std::uint32_t> sizes = RandomSizes(1 << 16, 16, 256, 1);
    std::vector<void*> live(kLive);
    for (std::size_t i = 0; i < kLive; ++i)
        live[i] = heap.Allocate(sizes[i]);
    std::size_t step = 0;
    for (auto _ : state) {
        std::size_t slot = step % kLive;
        heap.Free(live[slot]);
        live[slot] = heap.Allocate(sizes[step & 0xFFFF]);
        static_cast<unsigned char*>(live[slot])[0] = 1;
        ++step;
    }
    for (void* block : live)
        heap.Free(block);
    state.SetItemsProcessed(state.iterations());
}

// Strings of up to 64 KiB built by appends of 1 to 32 bytes, growing their buffer to
// length + length / 2 + 1 like the library's strings.
template <class Heap> void GrowingStrings(benchmark::State& state)
{
    Heap heap;
    std::vector<std::uint32_t> appends = RandomSizes(4096, 1, 32, 2);
    const auto target = static_cast<std::uint32_t>(state.range(0));
    char text[32];
    std::memset(text, 'x', sizeof text);
    std::size_t appended = 0;
    for (auto _ : state) {
        char* buffer = nullptr;
        std::uint32_t length = 0;
        std::uint32_t capacity = 0;
        for (std::size_t i = 0; length < target; ++i) {
            std::uint32_t add = appends[i & 4095];
            if (length + add + 1 > capacity) {
                std::uint32_t wanted = length + add;
                capacity = wanted + wanted / 2 + 1;
                buffer = static_cast<char*>(heap.Reallocate(buffer, capacity));
            }
            std::memcpy(buffer + length, text, add);
            length += add;
            buffer[length] = '\0';
            ++appended;
        }
        benchmark::DoNotOptimize(buffer);
        heap.Free(buffer);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(appended));
}

// 100,000 live blocks of mixed sizes (mostly small, some up to 16 KiB); each step replaces a
// random one, so the free lists stay long and scattered over many regions.
template <class Heap> void Fragmentation(benchmark::State& state)
{
    Heap heap;
    constexpr std::size_t kLive = 100000;
    std::mt19937 random(3);
    auto nextSize = [&random]() -> std::uint32_t {
        std::uint32_t kind = random() % 100;
        if (kind < 80)
            return 8 + random() % 120;
        if (kind < 98)
            return 128 + random() % 1900;
        return 2048 + random() % 14000;
    };
    std::vector<void*> live(kLive);
    for (void*& block : live)
        block = heap.Allocate(nextSize());
    std::vector<std::uint32_t> slots(1 << 16);
    std::vector<std::uint32_t> sizes(1 << 16);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i] = random() % kLive;
        sizes[i] = nextSize();
    }
    std::size_t step = 0;
    for (auto _ : state) {
        std::size_t at = step & 0xFFFF;
        void*& block = live[slots[at]];
        heap.Free(block);
        block = heap.Allocate(sizes[at]);
        static_cast<unsigned char*>(block)[0] = 1;
        ++step;
    }
    for (void* block : live)
        heap.Free(block);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(SmallObjectChurn<LibraryHeap>);
BENCHMARK(SmallObjectChurn<RuntimeHeap>);
BENCHMARK(GrowingStrings<LibraryHeap>)->Arg(1024)->Arg(65536);
BENCHMARK(GrowingStrings<RuntimeHeap>)->Arg(1024)->Arg(65536);
BENCHMARK(Fragmentation<LibraryHeap>);
BENCHMARK(Fragmentation<RuntimeHeap>);

} // namespace

BENCHMARK_MAIN();
