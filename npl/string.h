// The library's 8-bit text: zero-terminated, in the process's ANSI code page (932 on the
// systems the product is made for).
#pragma once

#include <cstdint>

#include "npl/string_base.h"

class EString : public EStringBase<char> {
    NPL_DECLARE_CLASS(EStringBase<char>)

public:
    /// The empty string, without buffer.
    EString() = default;
    /// A copy of a zero-terminated text; capacity length + length / 2 + 1. Null gives the
    /// empty string without buffer.
    EString(const char* text);
    /// `count` bytes of `text` (a negative count: up to its terminator); capacity count +
    /// count / 2 + 1. A count of 0 or a null text gives the empty string without buffer.
    EString(const char* text, int count);
    /// `count` UTF-16 units of `text` (-1: up to and including its terminator) converted to the
    /// ANSI code page; capacity length + length / 2 + 1. Null gives the empty string without
    /// buffer; a failed conversion gives an empty or shortened text.
    EString(const char16_t* text, int count);
    /// Exactly sized: capacity = length, at least 1; a block even for an empty source.
    EString(const EString& other);
    /// Takes the text over as it is, capacity included, so results returned by value keep the
    /// size they were built with.
    EString(EString&& other) noexcept;

    /// Copies `other`, a temporary too (so the result is sized the same either way); the
    /// capacity becomes its length + 1. An empty source empties an owned block in place.
    /// Assigning a string to itself does nothing.
    EString& operator=(const EString& other);
    /// As Assign.
    EString& operator=(const char* text);

    EString& operator+=(char character);
    EString& operator+=(const char* text);
    /// A new, exactly sized string (capacity = length, at least 1) of this text followed by
    /// `text` (null counts as empty). Empty without buffer when the heap yields no block.
    [[nodiscard]] EString operator+(const char* text) const;

    /// `value` in upper-case hexadecimal. A positive `digits` is the width (leading zeros, or
    /// only the low digits when it is too small); otherwise as few digits as show the value.
    [[nodiscard]] static EString FormatHex(std::uint32_t value, int digits);

    /// Comparison with letters a-z folded to A-Z, every other byte (double-byte characters
    /// included) taken as is; bytes are compared as unsigned values, and a text that this
    /// string is a prefix of compares greater. A string without buffer is less than any
    /// non-null text, even an empty one.
    [[nodiscard]] int CompareNoCase(const char* text) const;

    /// The last `n` characters (the whole text when `n` exceeds the length), sized as the
    /// construction from text and a count.
    [[nodiscard]] EString Right(std::uint32_t n) const;
    /// The leading part of a path up to and including its last '\' or '/', or the empty
    /// string. Trail bytes of double-byte characters are never taken for separators.
    [[nodiscard]] EString GetFileDirectory() const;
};
