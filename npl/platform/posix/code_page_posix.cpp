#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "npl/platform/code_page.h"

namespace npl::platform {

namespace {

std::atomic<unsigned> ansiCodePage{kCodePageUtf8};

const char* IconvName(unsigned codePage) { return codePage == kCodePageShiftJis ? "CP932" : "UTF-8"; }

// Runs iconv over the whole input, replacing what cannot be converted by `replacement` (in the
// target encoding) and stepping over one input unit of `unitSize` bytes. Returns the output.
std::string Convert(const char* to, const char* from, const char* input, std::size_t inputSize,
                    const std::string& replacement, std::size_t unitSize)
{
    std::string output;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return output;
    char* in = const_cast<char*>(input);
    std::size_t inLeft = inputSize;
    char chunk[256];
    while (inLeft > 0) {
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(chunk, static_cast<std::size_t>(out - chunk));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An invalid or incomplete sequence: replace one unit and go on.
            output += replacement;
            std::size_t skip = inLeft < unitSize ? inLeft : unitSize;
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return output;
}

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
    std::string units = Convert("UTF-16LE", IconvName(ansiCodePage), source, size,
                                std::string(reinterpret_cast<const char*>(&replacement), 2), 1);
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
    std::string bytes = Convert(IconvName(ansiCodePage), "UTF-16LE", reinterpret_cast<const char*>(source),
                                units * 2, "?", 2);
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
