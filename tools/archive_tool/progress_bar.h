// A one-line progress display for work that takes more than a moment: drawn on the error
// stream only when it is a terminal, never before a short delay, and at a bounded rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>

namespace archive_tool {

class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr Clock::duration kDelay = std::chrono::milliseconds(400);
    static constexpr Clock::duration kInterval = std::chrono::milliseconds(100);

    /// Work of `totalBytes` bytes in `totalFiles` files; drawn on `output` with `width` columns
    /// when `enabled`, and never otherwise.
    ProgressBar(std::ostream& output, bool enabled, std::uint64_t totalBytes, std::uint64_t totalFiles, int width,
        Clock::time_point start = Clock::now());
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    /// Clears the line if anything was drawn.
    ~ProgressBar();

    void AddBytes(std::uint64_t bytes, Clock::time_point now = Clock::now());
    void AddFile(Clock::time_point now = Clock::now());
    /// Clears the line, so that what follows starts on a clean one.
    void Finish();

    [[nodiscard]] bool Drawn() const { return drawn_; }

private:
    void MaybeDraw(Clock::time_point now);
    void Draw();

    std::ostream& output_;
    bool enabled_;
    std::uint64_t totalBytes_;
    std::uint64_t totalFiles_;
    std::uint64_t bytes_ = 0;
    std::uint64_t files_ = 0;
    int width_;
    Clock::time_point start_;
    Clock::time_point lastDraw_ {};
    bool drawn_ = false;
};

} // namespace archive_tool
