// Entry time stamps: calendar fields in UTC, as the archive stores them, to and from the file
// system's modification times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace archive_tool {

struct EntryTime {
    std::uint8_t second = 0;
    std::uint8_t minute = 0;
    std::uint8_t hour = 0;
    std::uint8_t dayOfWeek = 0; ///< 0 = Sunday
    std::uint8_t day = 0; ///< 1 to 31
    std::uint8_t month = 0; ///< 1 to 12
    std::uint16_t year = 0;
};

/// The UTC calendar fields of a file time, to the second; years outside 1 to 65535 are held at
/// the nearest of the two.
[[nodiscard]] EntryTime EntryTimeFromFileTime(std::filesystem::file_time_type time);

/// The file time of a stamp; nullopt when the fields are not a real date and time (the stamp of
/// a damaged or hand-made archive), so that callers leave the file's time alone.
[[nodiscard]] std::optional<std::filesystem::file_time_type> FileTimeFromEntryTime(const EntryTime& time);

/// "YYYY-MM-DD hh:mm:ss", or "-" for a stamp that is not a real date and time.
[[nodiscard]] std::string FormatEntryTime(const EntryTime& time);

} // namespace archive_tool
