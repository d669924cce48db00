#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "npl/memory.h"
#include "npl/processor.h"

namespace {

// Each case runs with the plain paths (no extension enabled) and with the streaming paths;
// both must give exactly the bytes of the standard library's fill and move.
class MemoryPrimitives : public ::testing::TestWithParam<std::uint32_t> {
protected:
    void SetUp() override
    {
        previous_ = GetEnabledProcessorTypes();
        SetEnabledProcessorTypes(GetParam());
    }
    void TearDown() override { SetEnabledProcessorTypes(previous_); }

    std::uint32_t previous_ = 0;
};

std::vector<unsigned char> RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> bytes(count);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random());
    return bytes;
}

// Sizes around every step of both paths: alignment heads, the 8-byte and 16/32-byte loops,
// the 128-byte threshold, and the 512-byte prefetch distance.
const std::size_t kSizes[] = { 0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 127, 128, 129, 143, 144, 145, 160, 255,
    256, 511, 512, 513, 544, 545, 1000, 4099 };

TEST_P(MemoryPrimitives, FillMatchesMemsetAtEveryAlignmentAndSize)
{
    for (std::size_t size : kSizes) {
        for (std::size_t offset = 0; offset < 16; ++offset) {
            // 16 guard bytes on either side must stay untouched.
            std::vector<unsigned char> buffer = RandomBytes(size + 48, static_cast<unsigned>(size * 16 + offset));
            std::vector<unsigned char> expected = buffer;
            unsigned char* base = buffer.data() + (16 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 16);
            unsigned char* expectedBase = expected.data() + (base - buffer.data());
            std::memset(expectedBase + offset, 0xA5, size);
            MemoryFill(base + offset, 0x1A5, size); // only the low 8 bits of the value count
            ASSERT_EQ(buffer, expected) << "size " << size << " offset " << offset;
        }
    }
}

TEST_P(MemoryPrimitives, MoveMatchesMemcpyForSeparateRangesAtEveryAlignment)
{
    for (std::size_t size : kSizes) {
        for (std::size_t sourceOffset = 0; sourceOffset < 16; sourceOffset += 3) {
            for (std::size_t destinationOffset = 0; destinationOffset < 16; ++destinationOffset) {
                std::vector<unsigned char> source = RandomBytes(size + 32, static_cast<unsigned>(size + sourceOffset));
                std::vector<unsigned char> buffer
                    = RandomBytes(size + 48, static_cast<unsigned>(size * 7 + destinationOffset));
                std::vector<unsigned char> expected = buffer;
                unsigned char* in
                    = source.data() + (16 - reinterpret_cast<std::uintptr_t>(source.data()) % 16) + sourceOffset % 16;
                unsigned char* base = buffer.data() + (16 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 16);
                std::memcpy(expected.data() + (base - buffer.data()) + destinationOffset, in, size);
                MemoryMove(base + destinationOffset, in, size);
                ASSERT_EQ(buffer, expected)
                    << "size " << size << " source " << sourceOffset << " destination " << destinationOffset;
            }
        }
    }
}

TEST_P(MemoryPrimitives, MoveHandlesOverlapInBothDirections)
{
    for (std::size_t size : kSizes) {
        for (int distance : { -600, -513, -40, -33, -32, -17, -16, -9, -8, -5, -4, -1, 0, 1, 3, 4, 7, 8, 15, 16, 31, 32,
                 33, 100, 512, 700 }) {
            for (std::size_t offset : { 0, 5, 12 }) {
                std::vector<unsigned char> buffer
                    = RandomBytes(size + 1500, static_cast<unsigned>(size + distance + 1000));
                std::vector<unsigned char> expected = buffer;
                std::size_t sourceAt = 720 + offset;
                std::size_t destinationAt = sourceAt + distance;
                std::memmove(expected.data() + destinationAt, expected.data() + sourceAt, size);
                MemoryMove(buffer.data() + destinationAt, buffer.data() + sourceAt, size);
                ASSERT_EQ(buffer, expected) << "size " << size << " distance " << distance << " offset " << offset;
            }
        }
    }
}

// A move one byte up must copy from the end; a forward copy would smear the first byte.
TEST_P(MemoryPrimitives, MoveOneByteUpEqualsByteByByteBackwardCopy)
{
    std::vector<unsigned char> buffer = RandomBytes(1001, 99);
    std::vector<unsigned char> expected = buffer;
    for (std::size_t i = 1000; i > 0; --i)
        expected[i] = expected[i - 1];
    MemoryMove(buffer.data() + 1, buffer.data(), 1000);
    EXPECT_EQ(buffer, expected);
}

TEST_P(MemoryPrimitives, LargeRangesMatchTheReference)
{
    // Well past the prefetch distance, aligned and not, with a large overlap.
    std::vector<unsigned char> buffer = RandomBytes(300000, 5);
    std::vector<unsigned char> expected = buffer;
    std::memmove(expected.data() + 64, expected.data() + 1000, 200000);
    MemoryMove(buffer.data() + 64, buffer.data() + 1000, 200000);
    ASSERT_EQ(buffer, expected);
    std::memmove(expected.data() + 1003, expected.data() + 16, 250000);
    MemoryMove(buffer.data() + 1003, buffer.data() + 16, 250000);
    ASSERT_EQ(buffer, expected);
    std::memset(expected.data() + 3, 0, 299990);
    MemoryFill(buffer.data() + 3, 0, 299990);
    ASSERT_EQ(buffer, expected);
}

INSTANTIATE_TEST_SUITE_P(ProcessorTypes, MemoryPrimitives,
    ::testing::Values(0u, std::uint32_t { ProcessorSSE | ProcessorSSE2 }),
    [](const ::testing::TestParamInfo<std::uint32_t>& item) { return item.param == 0 ? "Plain" : "Streaming"; });

} // namespace
