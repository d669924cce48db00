// The streaming paths of the memory primitives. Only SSE (not SSE2) instructions are used:
// the enabled-types word promises no more than that when its SSE bit is set, and moving bits
// through the float registers (movaps, movups, movntps) never changes them. This file alone
// is compiled with SSE enabled on 32-bit x86, so the plain paths stay free of it.
#include <xmmintrin.h>

#include "npl/memory_plain.h"

namespace npl::detail {

namespace {
    constexpr std::size_t kPrefetchDistance = 512;

    float* AsFloats(unsigned char* at) { return reinterpret_cast<float*>(at); }
    const float* AsFloats(const unsigned char* at) { return reinterpret_cast<const float*>(at); }
} // namespace

void FillStreaming(unsigned char* out, unsigned char value, std::size_t count)
{
    if (!IsAligned(out, 2)) {
        *out++ = value;
        --count;
    }
    if (!IsAligned(out, 4)) {
        std::uint16_t half = static_cast<std::uint16_t>(value * 0x0101u);
        std::memcpy(out, &half, 2);
        out += 2;
        count -= 2;
    }
    std::uint32_t word = value * 0x01010101u;
    while (!IsAligned(out, 16)) {
        Store32(out, word);
        out += 4;
        count -= 4;
    }
    // Loaded from memory, not built from a float value, so that no conversion can touch the bits.
    alignas(16) const std::uint32_t words[4] = { word, word, word, word };
    __m128 pattern = _mm_load_ps(reinterpret_cast<const float*>(words));
    for (; count >= 16; count -= 16, out += 16)
        _mm_stream_ps(AsFloats(out), pattern);
    _mm_sfence();
    FillPlain(out, value, count);
}

void MoveForwardStreaming(unsigned char* out, const unsigned char* in, std::size_t count)
{
    for (; !IsAligned(out, 16); --count)
        *out++ = *in++;
    if (IsAligned(in, 16)) {
        for (; count >= 32; count -= 32, out += 32, in += 32) {
            if (count > kPrefetchDistance)
                _mm_prefetch(reinterpret_cast<const char*>(in + kPrefetchDistance), _MM_HINT_NTA);
            __m128 low = _mm_load_ps(AsFloats(in));
            __m128 high = _mm_load_ps(AsFloats(in + 16));
            _mm_stream_ps(AsFloats(out), low);
            _mm_stream_ps(AsFloats(out + 16), high);
        }
    } else {
        for (; count >= 16; count -= 16, out += 16, in += 16)
            _mm_stream_ps(AsFloats(out), _mm_loadu_ps(AsFloats(in)));
    }
    _mm_sfence();
    MoveForwardPlain(out, in, count);
}

void MoveBackwardStreaming(unsigned char* outEnd, const unsigned char* inEnd, std::size_t count)
{
    for (; !IsAligned(outEnd, 16); --count)
        *--outEnd = *--inEnd;
    if (IsAligned(inEnd, 16)) {
        for (; count >= 32; count -= 32) {
            outEnd -= 32;
            inEnd -= 32;
            if (count > kPrefetchDistance + 32)
                _mm_prefetch(reinterpret_cast<const char*>(inEnd - kPrefetchDistance), _MM_HINT_NTA);
            __m128 low = _mm_load_ps(AsFloats(inEnd));
            __m128 high = _mm_load_ps(AsFloats(inEnd + 16));
            _mm_stream_ps(AsFloats(outEnd), low);
            _mm_stream_ps(AsFloats(outEnd + 16), high);
        }
    } else {
        for (; count >= 16; count -= 16) {
            outEnd -= 16;
            inEnd -= 16;
            _mm_stream_ps(AsFloats(outEnd), _mm_loadu_ps(AsFloats(inEnd)));
        }
    }
    _mm_sfence();
    MoveBackwardPlain(outEnd, inEnd, count);
}

} // namespace npl::detail
