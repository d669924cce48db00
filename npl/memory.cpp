#include "npl/memory.h"

#include "npl/memory_plain.h"
#include "npl/processor.h"

using namespace npl::detail;

namespace {
// Below this size the set-up of the streaming loops costs more than it saves.
constexpr std::size_t kStreamingThreshold = 128;

bool UseStreaming(std::size_t count)
{
    return count >= kStreamingThreshold && (GetEnabledProcessorTypes() & ProcessorSSE) != 0;
}
} // namespace

void MemoryFill(void* destination, int value, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(destination);
    auto byte = static_cast<unsigned char>(value);
    if (UseStreaming(count))
        FillStreaming(out, byte, count);
    else
        FillPlain(out, byte, count);
}

void MemoryMove(void* destination, const void* source, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(destination);
    const auto* in = static_cast<const unsigned char*>(source);
    if (out == in || count == 0)
        return;
    bool streaming = UseStreaming(count);
    if (in > out) {
        if (streaming)
            MoveForwardStreaming(out, in, count);
        else
            MoveForwardPlain(out, in, count);
    } else {
        if (streaming)
            MoveBackwardStreaming(out + count, in + count, count);
        else
            MoveBackwardPlain(out + count, in + count, count);
    }
}
