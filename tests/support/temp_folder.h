// A folder of its own for one test, removed with everything in it when the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace npl::test {

class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<unsigned> serial { 0 };
        std::random_device random;
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::string name
            = "npl-file-" + std::to_string(random()) + "-" + std::to_string(ticks) + "-" + std::to_string(serial++);
        path_ = std::filesystem::absolute(std::filesystem::temp_directory_path() / name);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// The path of `name` inside the folder, as 8-bit text for the library.
    std::string Narrow(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace npl::test
