// Questions to the user that the library itself must ask (running out of memory).
#pragma once

namespace npl::platform {

inline constexpr int kAnswerYes = 6; ///< the Win32 IDYES value, which callers compare against
inline constexpr int kAnswerNo = 7;

/// Asks a yes/no question without an owner window; texts are 8-bit in code page 932.
/// Windows: a message box. POSIX: the question on standard error, answered on standard input
/// when both are a terminal; without a terminal the answer is No at once, so that a process
/// nobody watches never waits.
[[nodiscard]] int AskYesNo(const char* caption, const char* text);

} // namespace npl::platform
