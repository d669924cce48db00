#include "npl/ptr_array.h"

#include <cstdint>
#include <cstring>

#include "npl/heap.h"

NPL_DEFINE_CLASS(EPtrArray, NPLObject, "EPtrArray")

namespace {

// The heap takes 32-bit byte counts: more slots than that cannot be had on any target.
constexpr std::uint32_t kMaximumSlots = UINT32_MAX / sizeof(void*);

} // namespace

EPtrArray::~EPtrArray() { FreeBuffer(); }

bool EPtrArray::AllocBuffer(std::uint32_t n)
{
    if (n > kMaximumSlots)
        return false;
    const auto bytes = static_cast<std::uint32_t>(n * sizeof(void*));
    void* block = data_ == nullptr ? nplHeapAllocate(nullptr, bytes, 0) : nplHeapReallocate(nullptr, data_, bytes, 0);
    if (block == nullptr)
        return false; // a failed resize leaves the old block in place
    // A fresh block starts with null slots: after FreeBuffer alone the count may still cover
    // slots that a later SetSize would not clear.
    if (data_ == nullptr)
        std::memset(block, 0, bytes);
    data_ = static_cast<void**>(block);
    capacity_ = n;
    if (count_ > n)
        count_ = n;
    return true;
}

void EPtrArray::FreeBuffer()
{
    if (data_ != nullptr)
        nplHeapFree(nullptr, data_, 0);
    data_ = nullptr;
    capacity_ = 0;
}

void* EPtrArray::GetAt(std::uint32_t index) const
{
    if (index >= count_ || data_ == nullptr)
        return nullptr;
    return data_[index];
}

bool EPtrArray::SetAt(std::uint32_t index, void* element)
{
    if (index >= count_ || data_ == nullptr)
        return false;
    data_[index] = element;
    return true;
}

bool EPtrArray::SetSize(std::uint32_t newCount, std::uint32_t step)
{
    if (step != 0)
        growStep_ = step;
    std::uint32_t used = growStep_;
    if (used == 0)
        used = count_ / 2;
    if (used == 0)
        used = 1;

    if (data_ == nullptr || newCount > capacity_) {
        // The next multiple of the step strictly above the new count.
        const std::uint64_t slots = std::uint64_t { newCount } - newCount % used + used;
        if (slots > kMaximumSlots)
            return false;
        if (!AllocBuffer(static_cast<std::uint32_t>(slots)))
            return false;
    }
    if (newCount > count_)
        std::memset(data_ + count_, 0, (newCount - count_) * sizeof(void*));
    count_ = newCount;
    return true;
}

bool EPtrArray::SetCapacity(std::uint32_t n, std::uint32_t step)
{
    if (step != 0)
        growStep_ = step;
    if (n < count_)
        return true;
    return AllocBuffer(n);
}

bool EPtrArray::InsertAt(std::uint32_t index, void* element)
{
    const std::uint32_t oldCount = count_;
    const std::uint64_t newCount = index < oldCount ? std::uint64_t { oldCount } + 1 : std::uint64_t { index } + 1;
    if (newCount > UINT32_MAX || !SetSize(static_cast<std::uint32_t>(newCount)))
        return false;
    if (index < oldCount)
        std::memmove(data_ + index + 1, data_ + index, (oldCount - index) * sizeof(void*));
    data_[index] = element;
    return true;
}

void EPtrArray::RemoveAll()
{
    count_ = 0;
    FreeBuffer();
}
