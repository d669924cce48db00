#include <iconv.h>

#include <cerrno>

#include "npl/platform/text_encoding.h"

namespace npl::platform {

namespace {

constexpr const char* kShiftJisName = "CP932";
constexpr const char* kUtf8Name = "UTF-8";
constexpr const char* kUtf16Name = "UTF-16LE";

const char* IconvName(unsigned codePage)
{
    if (codePage == 932)
        return kShiftJisName;
    if (codePage == 65001)
        return kUtf8Name;
    return nullptr;
}

// Opening a converter loads tables from disk, far dearer than converting one name, so each
// thread keeps the converters it has opened until it ends.
class ConverterCache {
public:
    ConverterCache() = default;
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;
    ~ConverterCache()
    {
        for (Slot& slot : slots_)
            if (slot.used)
                iconv_close(slot.cd);
    }

    // A converter in its initial state; (iconv_t)-1 when the pair is not supported.
    iconv_t Get(const char* to, const char* from)
    {
        for (Slot& slot : slots_) {
            if (slot.used && slot.to == to && slot.from == from) {
                iconv(slot.cd, nullptr, nullptr, nullptr, nullptr);
                return slot.cd;
            }
        }
        iconv_t cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1))
            return cd;
        for (Slot& slot : slots_) {
            if (!slot.used) {
                slot = Slot { true, to, from, cd };
                return cd;
            }
        }
        iconv_close(slots_[0].cd); // never reached with the four pairs in use
        slots_[0] = Slot { true, to, from, cd };
        return cd;
    }

private:
    struct Slot {
        bool used = false;
        const char* to = nullptr; // the names are string literals, compared by address
        const char* from = nullptr;
        iconv_t cd {};
    };
    Slot slots_[4];
};

thread_local ConverterCache converters;

// Runs iconv over the whole input and fails on the first sequence it cannot convert.
bool Convert(const char* to, const char* from, const char* input, std::size_t inputSize, std::string& output)
{
    output.clear();
    iconv_t cd = converters.Get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char* in = const_cast<char*>(input);
    std::size_t inLeft = inputSize;
    char chunk[512];
    bool ok = true;
    while (ok) {
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        std::size_t result = inLeft > 0 ? iconv(cd, &in, &inLeft, &out, &outLeft)
                                        : iconv(cd, nullptr, nullptr, &out, &outLeft); // flush shift state
        output.append(chunk, static_cast<std::size_t>(out - chunk));
        if (result == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG)
                ok = false;
            continue;
        }
        // iconv counts characters it converted in a non-reversible way; those are not exact.
        if (result != 0)
            ok = false;
        if (inLeft == 0 && out == chunk)
            break;
    }
    if (!ok)
        output.clear();
    return ok;
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
    if (!Convert(kUtf16Name, name, source, size, units) || units.size() % 2 != 0)
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
    return Convert(name, kUtf16Name, units.data(), units.size(), destination);
}

} // namespace npl::platform
