#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "file/stream_buffer.h"
#include "npl/heap.h"

namespace {

TEST(StreamBuffer, ARequestThatFitsGetsTheSameSpaceAgain)
{
    EStreamBuffer buffer;
    EXPECT_STREQ(buffer.GetClassName(), "EStreamBuffer");
    void* first = buffer.GetBuffer(64);
    ASSERT_NE(first, nullptr);
    std::memset(first, 0x5A, 64);
    EXPECT_EQ(buffer.GetBuffer(64), first);
    EXPECT_EQ(buffer.GetBuffer(4096), first); // the block is a whole 4,096 bytes
}

// A larger request adds a block instead of growing the last one, so space handed out earlier
// stays where it is and keeps its bytes.
TEST(StreamBuffer, ALargerRequestAddsABlockAndEarlierSpaceStaysValid)
{
    EStreamBuffer buffer;
    auto* first = static_cast<unsigned char*>(buffer.GetBuffer(64));
    ASSERT_NE(first, nullptr);
    std::memset(first, 0x5A, 64);

    auto* second = static_cast<unsigned char*>(buffer.GetBuffer(8192));
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_GE(nplHeapGetLength(nullptr, second), 8192u);
    std::memset(second, 0xA5, 8192);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(first[i], 0x5A) << i;

    EXPECT_EQ(buffer.GetBuffer(8192), second);
    EXPECT_EQ(buffer.GetBuffer(100), second);
    auto* third = static_cast<unsigned char*>(buffer.GetBuffer(8193));
    ASSERT_NE(third, nullptr);
    EXPECT_NE(third, second);
    std::memset(third, 0x11, 8193);
    EXPECT_EQ(second[8191], 0xA5);
    EXPECT_EQ(first[63], 0x5A);
}

TEST(StreamBuffer, ASizeThatCannotBeRoundedUpIsRefused)
{
    EStreamBuffer buffer;
    EXPECT_EQ(buffer.GetBuffer(0xFFFFFFFFu), nullptr);
    // The buffer still serves ordinary requests afterwards.
    void* space = buffer.GetBuffer(16);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(buffer.GetBuffer(16), space);
}

} // namespace
