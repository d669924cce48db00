#include "iconv_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace npl::platform {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

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
            if (slot.cd != kNoConverter)
                iconv_close(slot.cd);
    }

    // A converter in its initial state; kNoConverter when the pair is not supported.
    iconv_t Get(const char* to, const char* from)
    {
        for (Slot& slot : slots_) {
            if (slot.cd != kNoConverter && std::strcmp(slot.to, to) == 0 && std::strcmp(slot.from, from) == 0) {
                iconv(slot.cd, nullptr, nullptr, nullptr, nullptr);
                return slot.cd;
            }
        }
        iconv_t cd = iconv_open(to, from);
        if (cd == kNoConverter)
            return cd;
        Slot& slot = slots_[next_];
        next_ = (next_ + 1) % kSlots;
        if (slot.cd != kNoConverter)
            iconv_close(slot.cd);
        slot = Slot { to, from, cd };
        return cd;
    }

private:
    static constexpr std::size_t kSlots = 6; // every pair in use fits
    struct Slot {
        const char* to = nullptr; // iconv names, string constants that outlive the cache
        const char* from = nullptr;
        iconv_t cd = kNoConverter;
    };
    Slot slots_[kSlots];
    std::size_t next_ = 0;
};

thread_local ConverterCache converters;

} // namespace

bool IconvConvert(const char* to, const char* from, const char* input, std::size_t size, std::string& output,
                  const Unconvertible& unconvertible)
{
    output.clear();
    iconv_t cd = converters.Get(to, from);
    if (cd == kNoConverter)
        return false;
    char* in = const_cast<char*>(input);
    std::size_t inLeft = size;
    char chunk[512];
    for (;;) {
        char* out = chunk;
        std::size_t outLeft = sizeof chunk;
        // With the input used up, one more call flushes any shift state.
        std::size_t result = inLeft > 0 ? iconv(cd, &in, &inLeft, &out, &outLeft)
                                        : iconv(cd, nullptr, nullptr, &out, &outLeft);
        output.append(chunk, static_cast<std::size_t>(out - chunk));
        const bool failed = result == static_cast<std::size_t>(-1) && errno != E2BIG;
        // iconv counts the characters it converted in a non-reversible way: not exact either.
        const bool inexact = result != static_cast<std::size_t>(-1) && result != 0;
        if (failed || inexact) {
            if (unconvertible.replacement == nullptr || (failed && inLeft == 0)) {
                output.clear();
                return false;
            }
            if (failed) {
                output += *unconvertible.replacement;
                std::size_t skip = inLeft < unconvertible.skip ? inLeft : unconvertible.skip;
                in += skip;
                inLeft -= skip;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                continue;
            }
        }
        if (inLeft == 0 && out == chunk && result != static_cast<std::size_t>(-1))
            return true;
    }
}

} // namespace npl::platform
