#include <atomic>
#include <cstring>
#include <string>

#include "npl/platform/code_page.h"

#include "iconv_conversion.h"

namespace npl::platform {

namespace {

std::atomic<unsigned> ansiCodePage{kCodePageUtf8};

const char* IconvName(unsigned codePage) { return codePage == kCodePageShiftJis ? kIconvShiftJis : kIconvUtf8; }

std::size_t WideLength(const char16_t* text)
{
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace

int MultiByteToWide(const char* source, int sourceLength, char16_t* destination, int destinationCapacity)
{
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationCapacity < 0)
        return 0;
    std::size_t size = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    const char16_t replacement = ansiCodePage == kCodePageShiftJis ? u'\u30FB' : u'\uFFFD';
    const std::string replacementBytes(reinterpret_cast<const char*>(&replacement), 2);
    std::string units;
    if (!IconvConvert(kIconvUtf16, IconvName(ansiCodePage), source, size, units, { &replacementBytes, 1 }))
        return 0;
    int needed = static_cast<int>(units.size() / 2);
    if (destinationCapacity == 0)
        return needed;
    if (destination == nullptr || needed > destinationCapacity)
        return 0;
    std::memcpy(destination, units.data(), units.size());
    return needed;
}

int WideToMultiByte(const char16_t* source, int sourceLength, char* destination, int destinationCapacity)
{
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationCapacity < 0)
        return 0;
    std::size_t units = sourceLength == -1 ? WideLength(source) + 1 : static_cast<std::size_t>(sourceLength);
    const std::string question("?");
    std::string bytes;
    if (!IconvConvert(IconvName(ansiCodePage), kIconvUtf16, reinterpret_cast<const char*>(source), units * 2, bytes,
                      { &question, 2 }))
        return 0;
    int needed = static_cast<int>(bytes.size());
    if (destinationCapacity == 0)
        return needed;
    if (destination == nullptr || needed > destinationCapacity)
        return 0;
    std::memcpy(destination, bytes.data(), bytes.size());
    return needed;
}

bool IsLeadByte(unsigned char byte)
{
    if (ansiCodePage != kCodePageShiftJis)
        return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

unsigned GetAnsiCodePage() { return ansiCodePage; }

bool SetAnsiCodePage(unsigned codePage)
{
    if (codePage != kCodePageShiftJis && codePage != kCodePageUtf8)
        return false;
    ansiCodePage = codePage;
    return true;
}

} // namespace npl::platform
