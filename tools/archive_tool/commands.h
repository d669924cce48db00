// The tool's commands. Each returns the process exit status and, on failure, one line for the
// error stream in `error`.
#pragma once

#include <string>

namespace archive_tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct CreateOptions {
    std::string archive; ///< 8-bit path as given
    std::string folder;
    unsigned namesCodePage = 932;
    bool noProgress = false; ///< never a progress bar (otherwise one when the error stream is a terminal)
};

struct ListOptions {
    std::string archive;
    unsigned namesCodePage = 932;
};

struct ExtractOptions {
    std::string archive;
    std::string target = ".";
    unsigned namesCodePage = 932;
    bool noProgress = false;
};

struct TestOptions {
    std::string archive;
    unsigned namesCodePage = 932;
    bool noProgress = false;
};

[[nodiscard]] int RunCreate(const CreateOptions& options, std::string& error);
[[nodiscard]] int RunList(const ListOptions& options, std::string& error);
[[nodiscard]] int RunExtract(const ExtractOptions& options, std::string& error);
[[nodiscard]] int RunTest(const TestOptions& options, std::string& error);

} // namespace archive_tool
