#include <windows.h>

#include <climits>

#include "npl/platform/text_encoding.h"

namespace npl::platform {

namespace {
bool KnownCodePage(unsigned codePage) { return codePage == 932 || codePage == CP_UTF8; }
} // namespace

bool DecodeCodePage(unsigned codePage, const char* source, std::size_t size, std::u16string& destination)
{
    destination.clear();
    if (!KnownCodePage(codePage) || size > INT_MAX)
        return false;
    if (size == 0)
        return true;
    int length = static_cast<int>(size);
    int needed = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, source, length, nullptr, 0);
    if (needed <= 0)
        return false;
    destination.resize(static_cast<std::size_t>(needed));
    int written = MultiByteToWideChar(
        codePage, MB_ERR_INVALID_CHARS, source, length, reinterpret_cast<wchar_t*>(destination.data()), needed);
    if (written != needed) {
        destination.clear();
        return false;
    }
    return true;
}

bool EncodeCodePage(unsigned codePage, const char16_t* source, std::size_t size, std::string& destination)
{
    destination.clear();
    if (!KnownCodePage(codePage) || size > INT_MAX)
        return false;
    if (size == 0)
        return true;
    int length = static_cast<int>(size);
    const wchar_t* text = reinterpret_cast<const wchar_t*>(source);
    // UTF-8 reports unpaired surrogates through WC_ERR_INVALID_CHARS and takes no default
    // character; code page 932 reports missing characters through the default-used flag.
    DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultPointer = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int needed = WideCharToMultiByte(codePage, flags, text, length, nullptr, 0, nullptr, usedDefaultPointer);
    if (needed <= 0 || usedDefault != FALSE)
        return false;
    destination.resize(static_cast<std::size_t>(needed));
    int written
        = WideCharToMultiByte(codePage, flags, text, length, destination.data(), needed, nullptr, usedDefaultPointer);
    if (written != needed || usedDefault != FALSE) {
        destination.clear();
        return false;
    }
    return true;
}

} // namespace npl::platform
