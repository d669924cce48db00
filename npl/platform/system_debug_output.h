// The system side of debug_output.h, one implementation per platform.
#pragma once

namespace npl::platform {
void SystemWriteDebugOutput(const char* text);
} // namespace npl::platform
