// The plain (integer-only) loops of the memory primitives, shared with the SSE file, which
// finishes its remainders with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace npl::detail {

inline void Store32(unsigned char* at, std::uint32_t value) { std::memcpy(at, &value, 4); }

inline std::uint32_t Load32(const unsigned char* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

inline bool IsAligned(const void* at, std::uintptr_t alignment)
{
    return (reinterpret_cast<std::uintptr_t>(at) & (alignment - 1)) == 0;
}

/// Bytes to 4-byte alignment, two 32-bit stores per 8 bytes, then bytes.
inline void FillPlain(unsigned char* out, unsigned char value, std::size_t count)
{
    for (; count != 0 && !IsAligned(out, 4); --count)
        *out++ = value;
    std::uint32_t word = value * 0x01010101u;
    for (; count >= 8; count -= 8, out += 8) {
        Store32(out, word);
        Store32(out + 4, word);
    }
    for (; count != 0; --count)
        *out++ = value;
}

/// Ascending copy; safe when the source lies above the destination, because each step reads
/// its 8 bytes before writing any.
inline void MoveForwardPlain(unsigned char* out, const unsigned char* in, std::size_t count)
{
    for (; count != 0 && !IsAligned(out, 4); --count)
        *out++ = *in++;
    for (; count >= 8; count -= 8, out += 8, in += 8) {
        std::uint32_t low = Load32(in);
        std::uint32_t high = Load32(in + 4);
        Store32(out, low);
        Store32(out + 4, high);
    }
    for (; count != 0; --count)
        *out++ = *in++;
}

/// Descending copy from the ends (`outEnd`, `inEnd` point one past the ranges); safe when the
/// source lies below the destination.
inline void MoveBackwardPlain(unsigned char* outEnd, const unsigned char* inEnd, std::size_t count)
{
    for (; count != 0 && !IsAligned(outEnd, 4); --count)
        *--outEnd = *--inEnd;
    for (; count >= 8; count -= 8) {
        outEnd -= 8;
        inEnd -= 8;
        std::uint32_t low = Load32(inEnd);
        std::uint32_t high = Load32(inEnd + 4);
        Store32(outEnd, low);
        Store32(outEnd + 4, high);
    }
    for (; count != 0; --count)
        *--outEnd = *--inEnd;
}

// The SSE variants (memory_sse.cpp); called only for 128 bytes and more with SSE enabled.
void FillStreaming(unsigned char* out, unsigned char value, std::size_t count);
void MoveForwardStreaming(unsigned char* out, const unsigned char* in, std::size_t count);
void MoveBackwardStreaming(unsigned char* outEnd, const unsigned char* inEnd, std::size_t count);

} // namespace npl::detail
