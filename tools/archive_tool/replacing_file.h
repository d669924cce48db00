// A file that takes the place of its destination only once it is complete: it is written under
// a temporary name in the destination's own folder and renamed over the destination at the
// end, so that a failed or interrupted write never leaves a damaged file where an intact one
// was (the rename within one folder replaces the old file in one step).
#pragma once

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace archive_tool {

class ReplacingFile {
public:
    /// Reserves a temporary name beside `destination`; nothing is created yet.
    explicit ReplacingFile(std::filesystem::path destination);
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    /// Removes the temporary file unless `Commit` succeeded.
    ~ReplacingFile();

    /// The name the content is written under until `Commit`.
    [[nodiscard]] const std::filesystem::path& TemporaryPath() const { return temporary_; }
    [[nodiscard]] const std::filesystem::path& Destination() const { return destination_; }

    /// Creates the temporary file for writing through `Write`. False with `error` set on failure.
    [[nodiscard]] bool Open(std::string& error);
    /// Appends bytes; false when the system did not take them all.
    [[nodiscard]] bool Write(const void* bytes, std::size_t count);
    /// Finishes the content (closing the stream opened by `Open`, if any), gives it the
    /// modification time `time` when one is given, and renames it over the destination.
    /// False with `error` set, and the destination unchanged, when any step fails.
    [[nodiscard]] bool Commit(std::optional<std::filesystem::file_time_type> time, std::string& error);
    /// Removes the temporary file; the destination stays as it was.
    void Discard();

private:
    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    std::ofstream stream_;
    bool committed_ = false;
};

} // namespace archive_tool
