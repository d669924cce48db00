#include "npl/string.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "npl/platform/code_page.h"

NPL_DEFINE_CLASS(EString, EStringBase<char>, "EString")

EString::EString(const char* text)
{
    if (text == nullptr)
        return;
    const std::uint32_t length = TextLength(text);
    InitializeCopy(text, length, GrownCapacity(length));
}

EString::EString(const char* text, int count)
{
    if (text == nullptr || count == 0)
        return;
    const std::uint32_t length = count < 0 ? TextLength(text) : static_cast<std::uint32_t>(count);
    if (length != 0)
        InitializeCopy(text, length, GrownCapacity(length));
}

EString::EString(const char16_t* text, int count)
{
    if (text != nullptr)
        AssignConverted(text, count, npl::platform::WideToMultiByte);
}

EString::EString(const EString& other) = default;

EString::EString(EString&& other) noexcept
    : EStringBase<char>(std::move(other))
{
}

EString& EString::operator=(const EString& other)
{
    AssignString(other);
    return *this;
}

EString& EString::operator=(const char* text)
{
    Assign(text);
    return *this;
}

EString& EString::operator+=(char character)
{
    Append(character);
    return *this;
}

EString& EString::operator+=(const char* text)
{
    Append(text);
    return *this;
}

EString EString::operator+(const char* text) const
{
    EString result;
    const std::uint32_t added = text != nullptr ? TextLength(text) : 0;
    if (added > UINT32_MAX - length_)
        return result;
    const std::uint32_t length = length_ + added;
    if (!result.AllocBuffer(length))
        return result;
    if (length_ != 0)
        std::memcpy(result.buffer_, buffer_, length_);
    if (added != 0)
        std::memcpy(result.buffer_ + length_, text, added);
    result.buffer_[length] = '\0';
    result.length_ = length;
    return result;
}

EString EString::FormatHex(std::uint32_t value, int digits)
{
    EString result;
    if (!result.AllocBuffer(digits < 32 ? 32 : static_cast<std::uint32_t>(digits)))
        return result;
    std::uint32_t width = 1;
    if (digits > 0) {
        width = static_cast<std::uint32_t>(digits);
    } else {
        std::uint64_t threshold = 16;
        while (value >= threshold && width < 16) {
            threshold *= 16;
            ++width;
        }
    }
    result.length_ = width;
    result.buffer_[width] = '\0';
    // Widened first, so positions beyond the eighth digit become zeros.
    std::uint64_t rest = value;
    for (std::uint32_t position = width; position-- > 0;) {
        result.buffer_[position] = "0123456789ABCDEF"[rest & 0xF];
        rest >>= 4;
    }
    return result;
}

int EString::CompareNoCase(const char* text) const
{
    if (buffer_ == nullptr)
        return text != nullptr ? -1 : 0;
    if (text == nullptr)
        return length_ == 0 ? 0 : 1;
    for (std::uint32_t i = 0; i < length_; ++i) {
        int mine = static_cast<unsigned char>(buffer_[i]);
        int theirs = static_cast<unsigned char>(text[i]);
        if (mine == theirs) {
            // A zero inside this string: the text has ended and is a prefix of it.
            if (theirs == 0)
                return 1;
            continue;
        }
        if (mine >= 'a' && mine <= 'z')
            mine -= 0x20;
        if (theirs >= 'a' && theirs <= 'z')
            theirs -= 0x20;
        if (mine != theirs)
            return mine - theirs;
    }
    // Unsigned like the bytes above: a text that goes on (with any byte) is greater.
    return -static_cast<int>(static_cast<unsigned char>(text[length_]));
}

EString EString::Right(std::uint32_t n) const
{
    EString result;
    if (buffer_ == nullptr)
        return result;
    const std::uint32_t count = n > length_ ? length_ : n;
    if (count != 0)
        result.InitializeCopy(buffer_ + (length_ - count), count, GrownCapacity(count));
    return result;
}

EString EString::GetFileDirectory() const
{
    EString result;
    std::uint32_t end = 0; // characters up to and including the last separator
    for (std::uint32_t i = 0; i < length_; ++i) {
        const auto byte = static_cast<unsigned char>(buffer_[i]);
        if (npl::platform::IsLeadByte(byte))
            ++i; // its trail byte is part of the character, whatever its value
        else if (byte == '\\' || byte == '/')
            end = i + 1;
    }
    if (end != 0)
        result.InitializeCopy(buffer_, end, GrownCapacity(end));
    return result;
}
