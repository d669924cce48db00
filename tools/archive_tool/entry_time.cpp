#include "tools/archive_tool/entry_time.h"

#include <chrono>
#include <cstdio>

namespace archive_tool {

namespace chrono = std::chrono;

EntryTime EntryTimeFromFileTime(std::filesystem::file_time_type time)
{
    auto system = chrono::floor<chrono::seconds>(chrono::file_clock::to_sys(time));
    auto days = chrono::floor<chrono::days>(system);
    chrono::year_month_day date { days };
    chrono::hh_mm_ss clock { system - days };
    EntryTime stamp;
    int year = static_cast<int>(date.year());
    if (year < 1 || year > 65535) {
        // Held at the bound; the date inside that year stays as it was.
        year = year < 1 ? 1 : 65535;
    }
    stamp.year = static_cast<std::uint16_t>(year);
    stamp.month = static_cast<std::uint8_t>(static_cast<unsigned>(date.month()));
    stamp.day = static_cast<std::uint8_t>(static_cast<unsigned>(date.day()));
    stamp.dayOfWeek = static_cast<std::uint8_t>(chrono::weekday { days }.c_encoding());
    stamp.hour = static_cast<std::uint8_t>(clock.hours().count());
    stamp.minute = static_cast<std::uint8_t>(clock.minutes().count());
    stamp.second = static_cast<std::uint8_t>(clock.seconds().count());
    return stamp;
}

std::optional<std::filesystem::file_time_type> FileTimeFromEntryTime(const EntryTime& time)
{
    chrono::year_month_day date { chrono::year { time.year }, chrono::month { time.month }, chrono::day { time.day } };
    if (time.year == 0 || !date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59)
        return std::nullopt;
    // The file clock of some platforms spans only a few centuries around its epoch; stamps far
    // from the present are left out rather than wrapped around.
    if (time.year < 1970 || time.year > 2200)
        return std::nullopt;
    auto system = chrono::sys_days { date } + chrono::hours { time.hour } + chrono::minutes { time.minute }
        + chrono::seconds { time.second };
    return chrono::file_clock::from_sys(system);
}

std::string FormatEntryTime(const EntryTime& time)
{
    chrono::year_month_day date { chrono::year { time.year }, chrono::month { time.month }, chrono::day { time.day } };
    if (time.year == 0 || !date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned { time.year }, unsigned { time.month },
        unsigned { time.day }, unsigned { time.hour }, unsigned { time.minute }, unsigned { time.second });
    return text;
}

} // namespace archive_tool
