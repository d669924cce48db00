// Conversion between 8-bit text in the process's ANSI code page and UTF-16. These follow the
// contract of the Win32 conversion calls, which the library's callers are written against.
#pragma once

namespace npl::platform {

inline constexpr unsigned kCodePageShiftJis = 932;
inline constexpr unsigned kCodePageUtf8 = 65001;

/// Converts `sourceLength` bytes of `source` (-1: up to and including its terminator) to
/// UTF-16. With `destinationCapacity` 0 only the number of units needed is returned. Returns
/// the units written, or 0 on failure (null source, zero length, a destination too small).
/// Bytes that are not text in the code page become U+30FB or '?' as the system maps them.
[[nodiscard]] int MultiByteToWide(const char* source, int sourceLength, char16_t* destination,
                                  int destinationCapacity);

/// The reverse of MultiByteToWide, in bytes; characters the code page lacks become '?'.
[[nodiscard]] int WideToMultiByte(const char16_t* source, int sourceLength, char* destination,
                                  int destinationCapacity);

/// True when `byte` begins a double-byte character in the ANSI code page.
[[nodiscard]] bool IsLeadByte(unsigned char byte);

[[nodiscard]] unsigned GetAnsiCodePage();

/// Makes `codePage` (932 or 65001) the process's ANSI code page. POSIX hosts start with
/// UTF-8; Windows fixes the code page for the process, so there it succeeds only when
/// `codePage` already is the process's. True on success.
bool SetAnsiCodePage(unsigned codePage);

} // namespace npl::platform
