#include <windows.h>

#include "npl/platform/code_page.h"

namespace npl::platform {

int MultiByteToWide(const char* source, int sourceLength, char16_t* destination, int destinationCapacity)
{
    return MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, source, sourceLength,
                               reinterpret_cast<wchar_t*>(destination), destinationCapacity);
}

int WideToMultiByte(const char16_t* source, int sourceLength, char* destination, int destinationCapacity)
{
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(source), sourceLength, destination,
                               destinationCapacity, nullptr, nullptr);
}

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

unsigned GetAnsiCodePage() { return GetACP(); }

bool SetAnsiCodePage(unsigned codePage) { return codePage == GetACP(); }

} // namespace npl::platform
