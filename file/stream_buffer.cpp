#include "file/stream_buffer.h"

#include <new>

#include "npl/heap.h"
#include "npl/memory.h"

NPL_DEFINE_CLASS(EStreamBuffer, NPLObject, "EStreamBuffer")

namespace {
constexpr std::uint64_t kBlockStep = 4096;
constexpr std::uint64_t kLargestBlock = 0xFFFFF000u;
} // namespace

EStreamBuffer::~EStreamBuffer()
{
    while (first_ != nullptr) {
        Block* next = first_->next;
        if (first_->data != nullptr)
            nplHeapFree(nullptr, first_->data, 0);
        delete first_;
        first_ = next;
    }
    last_ = nullptr;
}

void* EStreamBuffer::GetBuffer(std::uint32_t count)
{
    Block* block = last_;
    bool added = false;
    if (block == nullptr || block->capacity - block->count < count) {
        // Block records are small; they come from the ordinary allocator.
        block = new (std::nothrow) Block;
        if (block == nullptr)
            return nullptr;
        added = true;
    }
    std::uint64_t needed = static_cast<std::uint64_t>(block->count) + count;
    if (needed > block->capacity) {
        std::uint64_t size = (needed + kBlockStep - 1) / kBlockStep * kBlockStep;
        auto* data = size <= kLargestBlock
            ? static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, static_cast<std::uint32_t>(size), 0))
            : nullptr;
        if (data == nullptr) {
            // A new record joins the list only with its data, so a failed request leaves the
            // last block, and the space it hands out, as they were.
            if (added)
                delete block;
            return nullptr;
        }
        if (block->data != nullptr) {
            MemoryMove(data, block->data + block->start, block->count);
            nplHeapFree(nullptr, block->data, 0);
        }
        block->data = data;
        block->capacity = static_cast<std::uint32_t>(size);
        block->start = 0;
    } else if (block->start > 0 && block->count > 0) {
        MemoryMove(block->data, block->data + block->start, block->count);
        block->start = 0;
    }
    if (added) {
        if (last_ != nullptr)
            last_->next = block;
        else
            first_ = block;
        last_ = block;
    }
    return block->data + block->count;
}
