// Runs the built archive tool as a separate process, the way a publisher would, and collects
// its exit status and both output streams (through files in the test's folder).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace archive_tool::test {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;

    /// The error stream holds exactly one line.
    [[nodiscard]] bool OneErrorLine() const
    {
        return !err.empty() && err.back() == '\n' && err.find('\n') == err.size() - 1;
    }
};

/// The tool's path as the test process's system() must spell it: the build tree's path, which
/// under Wine is reached through drive Z:.
inline std::string ToolPath()
{
#if defined(_WIN32)
    std::string path = "Z:" NPL_OVRA_PATH;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
#else
    return NPL_OVRA_PATH;
#endif
}

inline int ExitStatus(int systemResult)
{
#if defined(_WIN32)
    return systemResult;
#else
    return WIFEXITED(systemResult) ? WEXITSTATUS(systemResult) : -1;
#endif
}

/// Runs the tool with `arguments` (each quoted; none may hold a double quote) in `folder`'s
/// output files.
inline ToolRun RunTool(const npl::test::TempFolder& folder, const std::vector<std::string>& arguments)
{
    std::string command = "\"" + ToolPath() + "\"";
    for (const std::string& argument : arguments)
        command += " \"" + argument + "\"";
    std::string outPath = folder.Narrow("tool.out");
    std::string errPath = folder.Narrow("tool.err");
    command += " >\"" + outPath + "\" 2>\"" + errPath + "\"";
#if defined(_WIN32)
    // cmd.exe drops the first and the last quote of the whole line when it holds more than two.
    command = "\"" + command + "\"";
#endif
    ToolRun run;
    run.status = ExitStatus(std::system(command.c_str()));
    run.out = npl::test::ReadWholeFile(folder.Path() / "tool.out");
    run.err = npl::test::ReadWholeFile(folder.Path() / "tool.err");
    std::filesystem::remove(folder.Path() / "tool.out");
    std::filesystem::remove(folder.Path() / "tool.err");
    return run;
}

} // namespace archive_tool::test
