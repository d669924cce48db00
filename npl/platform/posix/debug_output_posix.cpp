#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "npl/platform/system_debug_output.h"

namespace npl::platform {

void SystemWriteDebugOutput(const char* text)
{
    static const bool toStandardError = [] {
        const char* setting = std::getenv("NPL_DEBUG_OUTPUT");
        return setting != nullptr && std::strcmp(setting, "stderr") == 0;
    }();
    if (toStandardError)
        std::fputs(text, stderr);
}

} // namespace npl::platform
