#include "npl/platform/text_encoding.h"

#include "iconv_conversion.h"

namespace npl::platform {

namespace {

const char* IconvName(unsigned codePage)
{
    if (codePage == 932)
        return kIconvShiftJis;
    if (codePage == 65001)
        return kIconvUtf8;
    return nullptr;
}

} // namespace

bool DecodeCodePage(unsigned codePage, const char* source, std::size_t size, std::u16string& destination)
{
    destination.clear();
    const char* name = IconvName(codePage);
    if (name == nullptr)
        return false;
    if (size == 0)
        return true;
    std::string units;
    if (!IconvConvert(kIconvUtf16, name, source, size, units) || units.size() % 2 != 0)
        return false;
    destination.resize(units.size() / 2);
    for (std::size_t i = 0; i < destination.size(); ++i)
        destination[i] = static_cast<char16_t>(
            static_cast<unsigned char>(units[2 * i]) | static_cast<unsigned char>(units[2 * i + 1]) << 8);
    return true;
}

bool EncodeCodePage(unsigned codePage, const char16_t* source, std::size_t size, std::string& destination)
{
    destination.clear();
    const char* name = IconvName(codePage);
    if (name == nullptr)
        return false;
    if (size == 0)
        return true;
    std::string units(size * 2, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        units[2 * i] = static_cast<char>(source[i] & 0xFF);
        units[2 * i + 1] = static_cast<char>(source[i] >> 8);
    }
    return IconvConvert(name, kIconvUtf16, units.data(), units.size(), destination);
}

} // namespace npl::platform
