#include "tools/archive_tool/progress_bar.h"

#include <cstdio>
#include <string>

namespace archive_tool {

ProgressBar::ProgressBar(std::ostream& output, bool enabled, std::uint64_t totalBytes, std::uint64_t totalFiles,
    int width, Clock::time_point start)
    : output_(output)
    , enabled_(enabled)
    , totalBytes_(totalBytes)
    , totalFiles_(totalFiles)
    , width_(width < 40 ? 40 : (width > 120 ? 120 : width))
    , start_(start)
{
}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::AddBytes(std::uint64_t bytes, Clock::time_point now)
{
    bytes_ += bytes;
    MaybeDraw(now);
}

void ProgressBar::AddFile(Clock::time_point now)
{
    ++files_;
    MaybeDraw(now);
}

void ProgressBar::Finish()
{
    if (!drawn_)
        return;
    output_ << '\r' << std::string(static_cast<std::size_t>(width_ - 1), ' ') << '\r' << std::flush;
    drawn_ = false;
}

void ProgressBar::MaybeDraw(Clock::time_point now)
{
    if (!enabled_ || now - start_ < kDelay || (drawn_ && now - lastDraw_ < kInterval))
        return;
    lastDraw_ = now;
    Draw();
}

void ProgressBar::Draw()
{
    // Each file counts as one unit besides its bytes, so that empty files move the bar too.
    std::uint64_t total = totalBytes_ + totalFiles_;
    std::uint64_t done = bytes_ + files_;
    if (done > total)
        done = total;
    unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
    char counts[64];
    std::snprintf(counts, sizeof counts, " %3u%% %llu/%llu files", percent, static_cast<unsigned long long>(files_),
        static_cast<unsigned long long>(totalFiles_));
    std::string tail = counts;
    int barWidth = width_ - 3 - static_cast<int>(tail.size());
    if (barWidth < 10)
        barWidth = 10;
    auto filled = static_cast<std::size_t>(
        total == 0 ? barWidth : static_cast<int>(done * static_cast<std::uint64_t>(barWidth) / total));
    std::string line = "\r[";
    line.append(filled, '#');
    line.append(static_cast<std::size_t>(barWidth) - filled, '-');
    line += ']';
    line += tail;
    output_ << line << std::flush;
    drawn_ = true;
}

} // namespace archive_tool
