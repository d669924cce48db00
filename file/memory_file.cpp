#include "file/memory_file.h"

#include "npl/heap.h"
#include "npl/memory.h"

using npl::platform::LockGuard;

NPL_DEFINE_CLASS(EMemoryFile, NPLFileObject, "EMemoryFile")

namespace {

constexpr std::uint64_t kGrowStep = 4096;
constexpr std::uint64_t kLargestPosition = 0xFFFFFFFFu;

std::uint64_t RoundUp(std::uint64_t size) { return (size + kGrowStep - 1) / kGrowStep * kGrowStep; }

} // namespace

EMemoryFile::~EMemoryFile() { Close(); }

int EMemoryFile::Create(std::uint32_t capacity)
{
    LockGuard guard(lock_);
    Close();
    buffer_ = static_cast<std::uint8_t*>(nplHeapAllocate(nullptr, capacity, 0));
    // Without a block the capacity must be 0, or the first small write would go through null.
    capacity_ = buffer_ != nullptr ? capacity : 0;
    length_ = 0;
    position_ = 0;
    openMode_ = modeCreate | modeRead | modeWrite;
    return 0;
}

void EMemoryFile::Close()
{
    LockGuard guard(lock_);
    if ((openMode_ & modeWrite) && buffer_ != nullptr)
        nplHeapFree(nullptr, buffer_, 0);
    buffer_ = nullptr;
    length_ = 0;
    position_ = 0;
    capacity_ = 0;
    openMode_ = 0;
}

bool EMemoryFile::Reserve(std::uint64_t size, std::uint64_t request)
{
    if (size <= capacity_ && buffer_ != nullptr)
        return true;
    // The heap takes 32-bit sizes: an oversized request falls back to the exact size.
    if (request > kLargestPosition)
        request = size;
    if (request > kLargestPosition)
        return false;
    std::uint32_t newCapacity = static_cast<std::uint32_t>(request);
    void* block = buffer_ == nullptr ? nplHeapAllocate(nullptr, newCapacity, 0)
                                     : nplHeapReallocate(nullptr, buffer_, newCapacity, 0);
    if (block == nullptr)
        return false;
    buffer_ = static_cast<std::uint8_t*>(block);
    capacity_ = newCapacity;
    return true;
}

NPLFileObject* EMemoryFile::Duplicate()
{
    LockGuard guard(lock_);
    EMemoryFile* copy = new EMemoryFile;
    if (copy == nullptr)
        return nullptr;
    copy->Create(length_);
    if (length_ != 0) {
        if (copy->buffer_ == nullptr) {
            delete copy;
            return nullptr;
        }
        MemoryMove(copy->buffer_, buffer_, length_);
    }
    copy->length_ = length_;
    return copy;
}

std::uint32_t EMemoryFile::Read(void* buffer, std::uint32_t count)
{
    LockGuard guard(lock_);
    if (position_ >= length_)
        return 0;
    if (count > length_ - position_)
        count = length_ - position_;
    MemoryMove(buffer, buffer_ + position_, count);
    position_ += count;
    return count;
}

std::uint32_t EMemoryFile::Write(const void* buffer, std::uint32_t count)
{
    LockGuard guard(lock_);
    // A closed file has no block of its own to write into; one made here would never be freed.
    if ((openMode_ & modeWrite) == 0 || count == 0)
        return 0;
    std::uint64_t end = static_cast<std::uint64_t>(position_) + count;
    if (end > kLargestPosition)
        return 0;
    if (end > capacity_ && !Reserve(end, RoundUp(end + count)))
        return 0;
    if (end > length_)
        length_ = static_cast<std::uint32_t>(end);
    MemoryMove(buffer_ + position_, buffer, count);
    position_ = static_cast<std::uint32_t>(end);
    return count;
}

std::uint32_t EMemoryFile::Seek(std::int32_t offset, std::uint32_t origin)
{
    LockGuard guard(lock_);
    std::int64_t target = 0;
    switch (origin) {
    case FromBegin:
        target = offset;
        break;
    case FromCurrent:
        target = static_cast<std::int64_t>(position_) + offset;
        break;
    case FromEnd:
        target = static_cast<std::int64_t>(length_) + offset;
        break;
    default:
        return position_;
    }
    if (target < 0)
        target = 0;
    if (static_cast<std::uint64_t>(target) > kLargestPosition)
        return 0;
    std::uint64_t newPosition = static_cast<std::uint64_t>(target);
    if (newPosition > length_ && (openMode_ & modeWrite)) {
        if (newPosition > capacity_ && !Reserve(newPosition, RoundUp(newPosition)))
            return 0;
        length_ = static_cast<std::uint32_t>(newPosition);
    }
    position_ = static_cast<std::uint32_t>(newPosition);
    return position_;
}

int EMemoryFile::SetEndOfFile()
{
    // Only an open file keeps position <= capacity; a closed one may sit beyond its (absent)
    // block, and a length there would let a read run past it.
    if ((openMode_ & modeWrite) == 0)
        return 1;
    length_ = position_;
    return 0;
}
