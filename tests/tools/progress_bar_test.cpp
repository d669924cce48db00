#include <gtest/gtest.h>

#include <sstream>

#include "tools/archive_tool/progress_bar.h"

namespace archive_tool {
namespace {

using Clock = ProgressBar::Clock;
using std::chrono::milliseconds;

TEST(ProgressBarTest, QuietWhenNotOnATerminal)
{
    std::ostringstream out;
    Clock::time_point start {};
    {
        ProgressBar bar(out, false, 100, 2, 80, start);
        bar.AddBytes(50, start + std::chrono::seconds(5));
        bar.AddFile(start + std::chrono::seconds(6));
        bar.Finish();
    }
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressBarTest, DrawsOnlyAfterTheDelayAndAtABoundedRate)
{
    std::ostringstream out;
    Clock::time_point start {};
    ProgressBar bar(out, true, 98, 2, 60, start);
    bar.AddBytes(49, start + milliseconds(10));
    EXPECT_EQ(out.str(), "") << "work that ends within a moment shows nothing";

    bar.AddFile(start + ProgressBar::kDelay);
    std::string first = out.str();
    EXPECT_NE(first.find(" 50% 1/2 files"), std::string::npos) << first;
    EXPECT_EQ(first.size(), 1 + 59u) << "one line that never reaches the last column";

    bar.AddBytes(49, start + ProgressBar::kDelay + milliseconds(1));
    EXPECT_EQ(out.str(), first) << "redrawn no more often than the interval";

    bar.AddFile(start + ProgressBar::kDelay + ProgressBar::kInterval);
    EXPECT_NE(out.str().find("100% 2/2 files"), std::string::npos);

    bar.Finish();
    std::string all = out.str();
    EXPECT_EQ(all.substr(all.size() - 1), "\r") << "the line is cleared for what follows";
}

} // namespace
} // namespace archive_tool
