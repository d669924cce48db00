// Archive entry names: which names may become files, and how they map to file-system names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace archive_tool {

inline constexpr unsigned kNamesShiftJis = 932;
inline constexpr unsigned kNamesUtf8 = 65001;

enum class NameProblem {
    None,
    Empty,
    DotName, ///< "." or "..": would name the folder itself or its parent
    Separator, ///< '/' or '\': would reach into another folder
    Colon, ///< a drive prefix ("C:") or, inside a name, a Windows alternate data stream
    ControlCharacter, ///< bytes below 0x20, which no Windows file name may hold
    DeviceName, ///< CON, NUL, COM1 and the like, which Windows opens as devices
    TrailingDotOrSpace, ///< Windows drops these, so the file would land under another name
    BrokenText, ///< a lead byte with no trail byte, or bytes that are not text in the code page
};

/// Checks that the 8-bit entry name `name`, in code page `codePage`, names exactly one file or
/// folder inside the folder it is extracted to, on Windows and POSIX alike. In code page 932 a
/// 0x5C byte that trails a lead byte is part of a double-byte character, not a separator.
[[nodiscard]] NameProblem CheckEntryName(std::string_view name, unsigned codePage);

/// A short English phrase for the problem ("is empty", "contains a path separator").
[[nodiscard]] const char* DescribeNameProblem(NameProblem problem);

/// Orders entry names as the archive does: byte by byte, ASCII letters folded to upper case,
/// every other byte compared as an unsigned value. Negative, 0 or positive.
[[nodiscard]] int CompareEntryNames(std::string_view a, std::string_view b);

/// Converts names between the archive's code page and UTF-16 exactly: a name that would change
/// on the way there and back is refused (nullopt).
class EntryNameCodec {
public:
    explicit EntryNameCodec(unsigned codePage)
        : codePage_(codePage)
    {
    }

    [[nodiscard]] unsigned CodePage() const { return codePage_; }
    [[nodiscard]] std::optional<std::u16string> ToFileName(std::string_view entryName) const;
    [[nodiscard]] std::optional<std::string> ToEntryName(std::u16string_view fileName) const;

private:
    unsigned codePage_;
};

} // namespace archive_tool
