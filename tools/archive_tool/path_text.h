// Between file-system paths and the texts the tool handles: UTF-16 names, the 8-bit text of
// the command line and of messages (the process's ANSI code page: 932 on the target systems,
// UTF-8 on Linux). Native paths are UTF-16 on Windows and bytes (taken as UTF-8) on POSIX;
// nothing here throws, whatever bytes a name holds.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace archive_tool {

/// A path from an 8-bit command-line argument.
[[nodiscard]] std::optional<std::filesystem::path> PathFromArgument(std::string_view argument);

/// The 8-bit form of `path` that the library's disk file opens; nullopt when the ANSI code page
/// cannot spell it exactly.
[[nodiscard]] std::optional<std::string> ArgumentFromPath(const std::filesystem::path& path);

/// A path component from a UTF-16 name; nullopt for a name the file system cannot hold.
[[nodiscard]] std::optional<std::filesystem::path> PathFromName(std::u16string_view name);

/// The UTF-16 form of a path (usually one component); nullopt for bytes that are not UTF-8.
[[nodiscard]] std::optional<std::u16string> NameFromPath(const std::filesystem::path& path);

/// 8-bit text for a person to read; characters the code page lacks become '?'.
[[nodiscard]] std::string DisplayText(std::u16string_view text);
[[nodiscard]] std::string DisplayPath(const std::filesystem::path& path);

} // namespace archive_tool
