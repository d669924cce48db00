#include <windows.h>

#include "npl/platform/message_box.h"

namespace npl::platform {

int AskYesNo(const char* caption, const char* text)
{
    return MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
}

} // namespace npl::platform
