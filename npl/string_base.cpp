#include "npl/string_base.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "npl/heap.h"

namespace {

// Characters a block may hold so that its byte size fits the heap's 32-bit sizes.
template <typename Char> constexpr std::uint32_t kMaximumCharacters = UINT32_MAX / sizeof(Char) - 1;

template <typename Char> Char* AllocateCharacters(std::uint32_t characters)
{
    return static_cast<Char*>(nplHeapAllocate(nullptr, static_cast<std::uint32_t>(characters * sizeof(Char)), 0));
}

template <typename Char> void CopyCharacters(Char* destination, const Char* source, std::uint32_t count)
{
    if (count != 0)
        std::memcpy(destination, source, count * sizeof(Char));
}

} // namespace

template <typename Char>
EStringBase<Char>::EStringBase(const EStringBase& other)
    : NPLObject(other)
{
    InitializeCopy(other.buffer_, other.length_, other.length_);
}

template <typename Char> EStringBase<Char>::EStringBase(EStringBase&& other) noexcept { MoveFrom(other); }

template <typename Char> EStringBase<Char>::~EStringBase() { FreeBuffer(); }

template <typename Char> bool EStringBase<Char>::AllocBuffer(std::uint32_t n)
{
    if (n == 0)
        n = 1;
    if (n > kMaximumCharacters<Char>)
        return false;
    const auto bytes = static_cast<std::uint32_t>((n + 1) * sizeof(Char));
    if (buffer_ == nullptr) {
        Char* block = AllocateCharacters<Char>(n + 1);
        if (block == nullptr)
            return false;
        block[0] = 0;
        buffer_ = block;
    } else if (capacity_ != 0) {
        auto* block = static_cast<Char*>(nplHeapReallocate(nullptr, buffer_, bytes, 0));
        if (block == nullptr)
            return false; // the old block stays valid and ours
        buffer_ = block;
    } else {
        Char* block = AllocateCharacters<Char>(n + 1);
        if (block == nullptr)
            return false;
        const std::uint32_t kept = length_ < n ? length_ : n;
        CopyCharacters(block, buffer_, kept);
        block[kept] = 0;
        buffer_ = block;
    }
    capacity_ = n;
    // A block smaller than the text keeps what fits, still terminated.
    if (length_ > n) {
        length_ = n;
        buffer_[n] = 0;
    }
    return true;
}

template <typename Char> void EStringBase<Char>::FreeBuffer()
{
    if (buffer_ != nullptr && capacity_ != 0)
        nplHeapFree(nullptr, buffer_, 0);
    buffer_ = nullptr;
    length_ = 0;
    capacity_ = 0;
}

template <typename Char> void EStringBase<Char>::Borrow(const Char* text)
{
    FreeBuffer();
    if (text == nullptr)
        return;
    const std::uint32_t length = TextLength(text);
    // A borrowed text is never written: the first change copies it into an owned block.
    buffer_ = const_cast<Char*>(text);
    length_ = length;
}

template <typename Char> void EStringBase<Char>::UpdateLength()
{
    if (buffer_ == nullptr || capacity_ == 0)
        return;
    std::uint32_t length = 0;
    while (length < capacity_ && buffer_[length] != 0)
        ++length;
    if (length == capacity_)
        length = capacity_ - 1;
    length_ = length;
    buffer_[length] = 0;
}

template <typename Char> bool EStringBase<Char>::Append(Char character)
{
    if (length_ >= kMaximumCharacters<Char>)
        return false;
    const std::uint32_t newLength = length_ + 1;
    if (newLength >= capacity_ && !AllocBuffer(GrownCapacity(newLength)))
        return false;
    buffer_[newLength - 1] = character;
    buffer_[newLength] = 0;
    length_ = newLength;
    return true;
}

template <typename Char> bool EStringBase<Char>::Append(const Char* text)
{
    const std::uint32_t added = text != nullptr ? TextLength(text) : 0;
    if (added > kMaximumCharacters<Char> - length_)
        return false;
    const std::uint32_t newLength = length_ + added;
    // The text may be part of this string's own block, which the resize may move.
    const bool inside = Overlaps(text);
    const std::uint32_t offset = inside ? static_cast<std::uint32_t>(text - buffer_) : 0;
    if (newLength >= capacity_ && !AllocBuffer(GrownCapacity(newLength)))
        return false;
    if (inside)
        text = buffer_ + offset;
    CopyCharacters(buffer_ + length_, text, added);
    buffer_[newLength] = 0;
    length_ = newLength;
    return true;
}

template <typename Char> bool EStringBase<Char>::Assign(const Char* text)
{
    if (text != nullptr && text == buffer_)
        return true;
    if (text == nullptr) {
        if (length_ != 0)
            FreeBuffer();
        return true;
    }
    if (Overlaps(text) && capacity_ != 0) {
        // A tail of our own block: copy it out before the block is resized.
        EStringBase copy;
        copy.InitializeCopy(text, TextLength(text), 0);
        if (copy.buffer_ == nullptr) {
            FreeBuffer();
            return false;
        }
        return Assign(copy.buffer_);
    }
    const std::uint32_t length = TextLength(text);
    length_ = 0; // nothing of the old text is kept; the block may shrink below it
    if (length > kMaximumCharacters<Char> || !AllocBuffer(GrownCapacity(length))) {
        FreeBuffer();
        return false;
    }
    CopyCharacters(buffer_, text, length);
    buffer_[length] = 0;
    length_ = length;
    return true;
}

template <typename Char> int EStringBase<Char>::Compare(const Char* text) const
{
    // 8-bit text compares as signed bytes, 16-bit text as unsigned units.
    using Unit = std::conditional_t<sizeof(Char) == 1, signed char, char16_t>;
    if (length_ == 0)
        return text != nullptr ? -static_cast<int>(static_cast<Unit>(text[0])) : 0;
    if (text == nullptr)
        return static_cast<Unit>(buffer_[0]);
    for (std::uint32_t i = 0; i < length_; ++i) {
        const int difference = static_cast<int>(static_cast<Unit>(buffer_[i])) - static_cast<Unit>(text[i]);
        if (difference != 0)
            return difference;
        // A zero inside this string: the text has ended and is a prefix of it.
        if (text[i] == 0)
            return 1;
    }
    return -static_cast<int>(static_cast<Unit>(text[length_]));
}

template <typename Char> std::uint32_t EStringBase<Char>::GrownCapacity(std::uint32_t length)
{
    const std::uint64_t capacity = std::uint64_t { length } + length / 2 + 1;
    return capacity > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(capacity);
}

template <typename Char> std::uint32_t EStringBase<Char>::TextLength(const Char* text)
{
    const std::size_t length = std::char_traits<Char>::length(text);
    return length > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(length);
}

template <typename Char> const Char* EStringBase<Char>::EmptyText()
{
    static const Char empty[1] = {};
    return empty;
}

template <typename Char>
void EStringBase<Char>::InitializeCopy(const Char* text, std::uint32_t count, std::uint32_t capacity)
{
    if (capacity < count)
        capacity = count;
    if (!AllocBuffer(capacity))
        return;
    CopyCharacters(buffer_, text, count);
    buffer_[count] = 0;
    length_ = count;
}

template <typename Char> void EStringBase<Char>::AssignString(const EStringBase& other)
{
    if (&other == this)
        return;
    if (other.length_ == 0 && capacity_ != 0) {
        buffer_[0] = 0;
        length_ = 0;
        return;
    }
    const std::uint32_t length = other.length_;
    length_ = 0;
    if (length > kMaximumCharacters<Char> - 1 || !AllocBuffer(length + 1)) {
        FreeBuffer();
        return;
    }
    CopyCharacters(buffer_, other.buffer_, length);
    buffer_[length] = 0;
    length_ = length;
}

template <typename Char> void EStringBase<Char>::MoveFrom(EStringBase& other) noexcept
{
    buffer_ = other.buffer_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.buffer_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
}

template <typename Char> bool EStringBase<Char>::Overlaps(const Char* text) const
{
    if (text == nullptr || buffer_ == nullptr)
        return false;
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer_);
    const auto end = reinterpret_cast<std::uintptr_t>(buffer_ + length_);
    return address >= begin && address <= end;
}

template class EStringBase<char>;
template class EStringBase<char16_t>;
