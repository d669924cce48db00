// Scratch space handed out in requested sizes, valid until the buffer object is destroyed.
#pragma once

#include <cstdint>

#include "npl/object.h"

/// A list of blocks whose data comes from the global library heap in multiples of 4,096
/// bytes. Not locked: one thread at a time.
class EStreamBuffer : public NPLObject {
    NPL_DECLARE_CLASS(NPLObject)

public:
    EStreamBuffer() = default;
    EStreamBuffer(const EStreamBuffer&) = delete;
    EStreamBuffer& operator=(const EStreamBuffer&) = delete;
    /// Releases every block; every address handed out becomes invalid.
    ~EStreamBuffer() override;

    /// At least `count` writable bytes. A request that fits the last block's free room gets
    /// that room again (repeated requests of such a size return the same address); a larger
    /// one gets a new block, and the space of earlier blocks stays valid. Null when the heap
    /// yields no memory; also null for a first request of 0 bytes.
    [[nodiscard]] void* GetBuffer(std::uint32_t count);

private:
    struct Block {
        Block* next = nullptr;
        std::uint8_t* data = nullptr;
        std::uint32_t start = 0; ///< offset of the held bytes in the data
        std::uint32_t count = 0; ///< bytes held
        std::uint32_t capacity = 0; ///< bytes of data
    };

    Block* first_ = nullptr;
    Block* last_ = nullptr;
};
