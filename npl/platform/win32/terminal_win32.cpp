#include <windows.h>

#include "npl/platform/terminal.h"

namespace npl::platform {

namespace {
HANDLE Handle(StandardStream stream)
{
    return GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
} // namespace

// A console answers GetConsoleMode; files, pipes and the null device do not.
bool IsTerminal(StandardStream stream)
{
    HANDLE handle = Handle(stream);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

int GetTerminalWidth(StandardStream stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info {};
    if (!IsTerminal(stream) || GetConsoleScreenBufferInfo(Handle(stream), &info) == FALSE)
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

} // namespace npl::platform
