#include <sys/ioctl.h>
#include <unistd.h>

#include "npl/platform/terminal.h"

namespace npl::platform {

namespace {
int Descriptor(StandardStream stream) { return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO; }
} // namespace

bool IsTerminal(StandardStream stream) { return isatty(Descriptor(stream)) == 1; }

int GetTerminalWidth(StandardStream stream)
{
    winsize size {};
    if (!IsTerminal(stream) || ioctl(Descriptor(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

} // namespace npl::platform
