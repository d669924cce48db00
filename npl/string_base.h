// What the 8-bit and the 16-bit string have in common: a zero-terminated text in a block of the
// global library heap, with its length and capacity. The template has no class identity of its
// own; EString and EWideString give theirs.
#pragma once

#include <cstdint>

#include "npl/object.h"

/// Conditions of a string:
/// - without buffer: the empty string; length and capacity 0;
/// - owning: the block holds capacity + 1 characters and the terminator sits at index length;
/// - borrowing: a foreign text with capacity 0, read but never written or freed; the first
///   operation that needs room copies it into an owned block.
///
/// Blocks come from the global heap with flags 0. When the heap yields no block (after its own
/// no-memory handling), nothing is written: operations that report a result return false and
/// leave the string as it was; constructions give the empty string; assignments leave it empty.
template <typename Char> class EStringBase : public NPLObject {
public:
    EStringBase() = default;
    EStringBase(const EStringBase& other);
    EStringBase(EStringBase&& other) noexcept;
    ~EStringBase() override;

    /// Makes the capacity exactly `n` characters (0 counts as 1), keeping the text up to the
    /// new size; a borrowed text is copied into a new block. A length above `n` is cut down to
    /// `n`. False when the heap yields no block; the string is then unchanged.
    [[nodiscard]] virtual bool AllocBuffer(std::uint32_t n);
    /// Releases an owned block (a borrowed one is only let go) and empties the string.
    virtual void FreeBuffer();

    /// The text, never null: an empty text when there is no buffer.
    [[nodiscard]] const Char* GetText() const { return buffer_ != nullptr ? buffer_ : EmptyText(); }
    /// The owned block for writing capacity + 1 characters, or null when the string owns none
    /// (no buffer, or a borrowed one). After writing into it from outside, call UpdateLength.
    [[nodiscard]] Char* GetBuffer() { return capacity_ != 0 ? buffer_ : nullptr; }
    [[nodiscard]] std::uint32_t GetLength() const { return length_; }
    /// Characters the block holds besides the terminator; 0 without an owned block.
    [[nodiscard]] std::uint32_t GetCapacity() const { return capacity_; }
    [[nodiscard]] bool IsEmpty() const { return length_ == 0; }
    [[nodiscard]] bool HasBuffer() const { return buffer_ != nullptr; }
    [[nodiscard]] bool IsBorrowed() const { return buffer_ != nullptr && capacity_ == 0; }

    /// Lets go of the current text and reads `text` in place, without copying it. `text` must
    /// outlive the string or its next change. Null empties the string.
    void Borrow(const Char* text);

    /// After a block was filled from outside (a system call wrote into GetBuffer()): the length
    /// becomes the index of the first zero below the capacity, or capacity - 1 when there is
    /// none, and a terminator is stored there. Does nothing when the string owns no block.
    void UpdateLength();

    /// Appends one character; false (string unchanged) when the block cannot grow. Room is made
    /// as new length + new length / 2 + 1 once the new length reaches the capacity.
    bool Append(Char character);
    /// Appends a zero-terminated text (null counts as empty); false (string unchanged) when the
    /// block cannot grow. The text may lie inside this string.
    bool Append(const Char* text);

    /// Copies a zero-terminated text of this width (null empties the string). The capacity
    /// becomes length + length / 2 + 1. False, leaving the string empty, when the heap yields
    /// no block. The text may lie inside this string.
    bool Assign(const Char* text);

    /// Case-sensitive comparison with a zero-terminated text: negative, 0 or positive.
    [[nodiscard]] int Compare(const Char* text) const;

protected:
    /// Capacity asked for when a length must fit: length + length / 2 + 1, saturated so that
    /// an impossible size fails in the heap instead of wrapping round.
    [[nodiscard]] static std::uint32_t GrownCapacity(std::uint32_t length);
    [[nodiscard]] static std::uint32_t TextLength(const Char* text);
    [[nodiscard]] static const Char* EmptyText();

    /// Becomes an owned copy of `count` characters of `text` with capacity `capacity`; stays
    /// without buffer when the heap yields no block. For constructions only (no block yet).
    void InitializeCopy(const Char* text, std::uint32_t count, std::uint32_t capacity);
    /// Replaces the text by the conversion of `count` units of `text` from the other width
    /// (-1: up to its terminator, which the length leaves out). `convert` has the contract of
    /// the system conversion calls: asked for the size with no output first, then converting
    /// into the block. Only units the conversion really wrote become part of the text. False,
    /// leaving the string empty, when the heap yields no block.
    template <typename From>
    bool AssignConverted(const From* text, int count, int (*convert)(const From*, int, Char*, int))
    {
        length_ = 0; // nothing of the old text is kept; the block may shrink below it
        const int needed = convert(text, count, nullptr, 0);
        std::uint32_t length = needed <= 0 ? 0 : static_cast<std::uint32_t>(needed);
        if (count == -1 && length != 0)
            --length;
        const std::uint32_t capacity = GrownCapacity(length);
        if (capacity > INT32_MAX || !AllocBuffer(capacity)) {
            FreeBuffer();
            return false;
        }
        const int written = convert(text, count, buffer_, static_cast<int>(capacity));
        std::uint32_t converted = written <= 0 ? 0 : static_cast<std::uint32_t>(written);
        if (count == -1 && converted != 0)
            --converted;
        length_ = converted < length ? converted : length;
        buffer_[length_] = Char(0);
        return true;
    }
    /// Assignment from a string of the same width.
    void AssignString(const EStringBase& other);
    void MoveFrom(EStringBase& other) noexcept;
    /// True when `text` points into this string's text (terminator included).
    [[nodiscard]] bool Overlaps(const Char* text) const;

    Char* buffer_ = nullptr;
    std::uint32_t length_ = 0;
    std::uint32_t capacity_ = 0;
};

extern template class EStringBase<char>;
extern template class EStringBase<char16_t>;
