// Whether the process's standard streams reach a person at a terminal, and how wide it is.
// Tools use this to show progress only where someone can see it.
#pragma once

namespace npl::platform {

enum class StandardStream { Output, Error };

/// True when `stream` is an interactive terminal (a console window on Windows); false for a
/// file, a pipe, a null device, or when the process has no such stream.
[[nodiscard]] bool IsTerminal(StandardStream stream);

/// The number of character columns of the terminal behind `stream`; 0 when it is not a
/// terminal or its width cannot be had.
[[nodiscard]] int GetTerminalWidth(StandardStream stream);

} // namespace npl::platform
