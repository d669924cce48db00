#include <gtest/gtest.h>

#include <chrono>

#include "tools/archive_tool/entry_time.h"

namespace archive_tool {
namespace {

using namespace std::chrono;

TEST(EntryTimeTest, FileTimeBecomesUtcFieldsWithWeekdayAndBack)
{
    // 2012-03-04 05:06:07 UTC was a Sunday.
    sys_seconds moment = sys_days { year { 2012 } / 3 / 4 } + hours { 5 } + minutes { 6 } + seconds { 7 };
    EntryTime stamp = EntryTimeFromFileTime(file_clock::from_sys(moment) + milliseconds { 999 });
    EXPECT_EQ(stamp.year, 2012);
    EXPECT_EQ(stamp.month, 3);
    EXPECT_EQ(stamp.day, 4);
    EXPECT_EQ(stamp.dayOfWeek, 0);
    EXPECT_EQ(stamp.hour, 5);
    EXPECT_EQ(stamp.minute, 6);
    EXPECT_EQ(stamp.second, 7); // cut to the second, not rounded
    EXPECT_EQ(FormatEntryTime(stamp), "2012-03-04 05:06:07");

    std::optional<std::filesystem::file_time_type> back = FileTimeFromEntryTime(stamp);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(floor<seconds>(file_clock::to_sys(*back)), moment);
}

// Stamps of damaged or hand-made archives must not become wild file times.
TEST(EntryTimeTest, FieldsThatAreNoRealDateGiveNoFileTime)
{
    const EntryTime cases[] = {
        EntryTime {}, // all zero
        EntryTime { 0, 0, 0, 0, 31, 2, 2012 }, // 31 February
        EntryTime { 0, 0, 24, 0, 1, 1, 2012 }, // hour 24
        EntryTime { 60, 0, 0, 0, 1, 1, 2012 }, // second 60
        EntryTime { 0, 0, 0, 0, 1, 13, 2012 }, // month 13
        EntryTime { 0, 0, 0, 0, 1, 1, 65535 }, // beyond what file clocks hold
    };
    for (const EntryTime& stamp : cases)
        EXPECT_FALSE(FileTimeFromEntryTime(stamp).has_value()) << FormatEntryTime(stamp);
    EXPECT_EQ(FormatEntryTime(EntryTime { 0, 0, 0, 0, 31, 2, 2012 }), "-");
}

} // namespace
} // namespace archive_tool
