// The library's 16-bit text: zero-terminated UTF-16 (char16_t on every target).
#pragma once

#include "npl/string_base.h"

class EWideString : public EStringBase<char16_t> {
    NPL_DECLARE_CLASS(EStringBase<char16_t>)

public:
    /// The empty string, without buffer.
    EWideString() = default;
    /// A copy of a zero-terminated UTF-16 text; capacity length + length / 2 + 1. Null gives
    /// the empty string without buffer.
    EWideString(const char16_t* text);
    /// `count` bytes of 8-bit ANSI text (-1: up to and including its terminator) converted to
    /// UTF-16; capacity length + length / 2 + 1. Null gives the empty string without buffer; a
    /// failed conversion gives an empty or shortened text.
    EWideString(const char* text, int count);
    /// Exactly sized: capacity = length, at least 1; a block even for an empty source.
    EWideString(const EWideString& other);
    /// Takes the text over as it is, capacity included, so results returned by value keep the
    /// size they were built with.
    EWideString(EWideString&& other) noexcept;

    /// Copies `other`, a temporary too (so the result is sized the same either way); the
    /// capacity becomes its length + 1. An empty source empties an owned block in place.
    /// Assigning a string to itself does nothing.
    EWideString& operator=(const EWideString& other);
    /// As Assign.
    EWideString& operator=(const char16_t* text);
    /// Converts a zero-terminated 8-bit ANSI text; null gives an empty text in a block of
    /// capacity 1. Empty when the heap yields no block.
    EWideString& operator=(const char* text);

    EWideString& operator+=(char16_t character);
    EWideString& operator+=(const char16_t* text);
};
