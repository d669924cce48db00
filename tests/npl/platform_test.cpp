#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "npl/platform/code_page.h"
#include "npl/platform/debug_output.h"
#include "npl/platform/pages.h"
#include "npl/platform/recursive_lock.h"
#include "tests/support/shift_jis_code_page.h"

using namespace npl::platform;

namespace {

// "表示" in code page 932: the trail byte of 表 is 0x5C, the backslash.
const char kHyoujiSjis[] = "\x95\x5C\x8E\xA6";

class ShiftJisCodePage : public ShiftJisCodePageTest {};

TEST_F(ShiftJisCodePage, ConvertsDoubleByteTextWithBackslashTrailBytes)
{
    ASSERT_EQ(MultiByteToWide(kHyoujiSjis, -1, nullptr, 0), 3);
    char16_t wide[3] = {};
    ASSERT_EQ(MultiByteToWide(kHyoujiSjis, -1, wide, 3), 3);
    EXPECT_EQ(wide[0], u'\u8868');
    EXPECT_EQ(wide[1], u'\u793A');
    EXPECT_EQ(wide[2], 0);

    char back[5] = {};
    ASSERT_EQ(WideToMultiByte(wide, -1, nullptr, 0), 5);
    ASSERT_EQ(WideToMultiByte(wide, -1, back, 5), 5);
    EXPECT_STREQ(back, kHyoujiSjis);
}

TEST_F(ShiftJisCodePage, TooSmallDestinationFailsWithZero)
{
    char16_t wide[2] = {};
    EXPECT_EQ(MultiByteToWide(kHyoujiSjis, -1, wide, 2), 0);
}

TEST_F(ShiftJisCodePage, LeadBytesAreThoseOfShiftJis)
{
    EXPECT_TRUE(IsLeadByte(0x81));
    EXPECT_TRUE(IsLeadByte(0x95));
    EXPECT_TRUE(IsLeadByte(0xE0));
    EXPECT_FALSE(IsLeadByte(0x5C));
    EXPECT_FALSE(IsLeadByte(0xA6)); // half-width katakana are single bytes
    EXPECT_FALSE(IsLeadByte('A'));
}

TEST(PlatformPages, InjectedFailuresRefuseExactlyThatManyRequests)
{
    InjectPageFailures(2);
    EXPECT_EQ(AllocatePages(kPageSize, PageAccess::ReadWrite), nullptr);
    EXPECT_EQ(AllocatePages(kPageSize, PageAccess::ReadWrite), nullptr);
    void* pages = AllocatePages(2 * kPageSize, PageAccess::ReadWrite);
    ASSERT_NE(pages, nullptr);
    auto* bytes = static_cast<unsigned char*>(pages);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[2 * kPageSize - 1], 0);
    bytes[2 * kPageSize - 1] = 1;
    FreePages(pages, 2 * kPageSize);
}

TEST(PlatformLock, IsReentrantAndExcludesOtherThreads)
{
    RecursiveLock lock;
    int shared = 0;
    lock.Enter();
    lock.Enter();
    std::thread other([&] {
        LockGuard guard(lock);
        shared = 2;
    });
    shared = 1;
    lock.Leave();
    EXPECT_EQ(shared, 1);
    lock.Leave();
    other.join();
    EXPECT_EQ(shared, 2);
}

TEST(PlatformDebugOutput, SinkReceivesTextsInOrder)
{
    std::string captured;
    SetDebugOutputSink([](const char* text, void* context) { *static_cast<std::string*>(context) += text; },
                       &captured);
    WriteDebugOutput("one ");
    WriteDebugOutput(nullptr);
    WriteDebugOutput("two");
    SetDebugOutputSink(nullptr, nullptr);
    WriteDebugOutput("three");
    EXPECT_EQ(captured, "one two");
}

} // namespace
