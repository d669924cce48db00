#include <windows.h>

#include "npl/platform/system_debug_output.h"

namespace npl::platform {
void SystemWriteDebugOutput(const char* text) { OutputDebugStringA(text); }
} // namespace npl::platform
