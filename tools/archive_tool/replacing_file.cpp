#include "tools/archive_tool/replacing_file.h"

#include <atomic>
#include <chrono>
#include <system_error>

#include "tools/archive_tool/path_text.h"

namespace archive_tool {

namespace {

// Unique within the process by the counter and, in practice, between processes by the clock;
// a name that exists anyway is passed over.
std::filesystem::path PickTemporaryName(const std::filesystem::path& destination)
{
    static std::atomic<unsigned> counter { 0 };
    auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::filesystem::path folder = destination.parent_path();
    for (;;) {
        std::string name = ".ovra-" + std::to_string(stamp % 1000000007ULL) + "-" + std::to_string(counter++) + ".tmp";
        std::filesystem::path candidate = folder / name;
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ec)))
            return candidate;
    }
}

} // namespace

ReplacingFile::ReplacingFile(std::filesystem::path destination)
    : destination_(std::move(destination))
    , temporary_(PickTemporaryName(destination_))
{
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_)
        Discard();
}

bool ReplacingFile::Open(std::string& error)
{
    stream_.open(temporary_, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!stream_.is_open()) {
        error = "cannot create " + DisplayPath(temporary_);
        return false;
    }
    return true;
}

bool ReplacingFile::Write(const void* bytes, std::size_t count)
{
    stream_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    return stream_.good();
}

bool ReplacingFile::Commit(std::optional<std::filesystem::file_time_type> time, std::string& error)
{
    if (stream_.is_open()) {
        stream_.close();
        if (stream_.fail()) {
            error = "cannot write " + DisplayPath(temporary_);
            Discard();
            return false;
        }
    }
    std::error_code ec;
    if (time)
        std::filesystem::last_write_time(temporary_, *time, ec); // a time that cannot be set is no failure
    std::filesystem::rename(temporary_, destination_, ec);
    if (ec) {
        error = "cannot replace " + DisplayPath(destination_) + ": " + ec.message();
        Discard();
        return false;
    }
    committed_ = true;
    return true;
}

void ReplacingFile::Discard()
{
    if (stream_.is_open())
        stream_.close();
    std::error_code ec;
    std::filesystem::remove(temporary_, ec);
}

} // namespace archive_tool
