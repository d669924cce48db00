#include "npl/wide_string.h"

#include <cstdint>
#include <utility>

#include "npl/platform/code_page.h"

NPL_DEFINE_CLASS(EWideString, EStringBase<char16_t>, "EWideString")

EWideString::EWideString(const char16_t* text)
{
    if (text == nullptr)
        return;
    const std::uint32_t length = TextLength(text);
    InitializeCopy(text, length, GrownCapacity(length));
}

EWideString::EWideString(const char* text, int count)
{
    if (text == nullptr)
        return;
    const int needed = npl::platform::MultiByteToWide(text, count, nullptr, 0);
    // With count -1 the size covers the terminator; a failed call (0) gives an empty text.
    std::uint32_t length = needed <= 0 ? 0 : static_cast<std::uint32_t>(needed);
    if (count == -1 && length != 0)
        --length;
    const std::uint32_t capacity = GrownCapacity(length);
    if (capacity > INT32_MAX || !AllocBuffer(capacity))
        return;
    const int written = npl::platform::MultiByteToWide(text, count, buffer_, static_cast<int>(capacity));
    // Never expose units the conversion did not write.
    std::uint32_t converted = written <= 0 ? 0 : static_cast<std::uint32_t>(written);
    if (count == -1 && converted != 0)
        --converted;
    if (converted < length)
        length = converted;
    buffer_[length] = u'\0';
    length_ = length;
}

EWideString::EWideString(const EWideString& other) = default;

EWideString::EWideString(EWideString&& other) noexcept
    : EStringBase<char16_t>(std::move(other))
{
}

EWideString& EWideString::operator=(const EWideString& other)
{
    AssignString(other);
    return *this;
}

EWideString& EWideString::operator=(const char16_t* text)
{
    Assign(text);
    return *this;
}

EWideString& EWideString::operator=(const char* text)
{
    length_ = 0; // nothing of the old text is kept; the block may shrink below it
    if (text == nullptr) {
        if (!AllocBuffer(1)) {
            FreeBuffer();
            return *this;
        }
        buffer_[0] = u'\0';
        return *this;
    }
    const int needed = npl::platform::MultiByteToWide(text, -1, nullptr, 0);
    const std::uint32_t length = needed <= 1 ? 0 : static_cast<std::uint32_t>(needed - 1);
    const std::uint32_t capacity = GrownCapacity(length);
    if (capacity > INT32_MAX || !AllocBuffer(capacity)) {
        FreeBuffer();
        return *this;
    }
    const int written = npl::platform::MultiByteToWide(text, -1, buffer_, static_cast<int>(capacity));
    const std::uint32_t converted = written <= 1 ? 0 : static_cast<std::uint32_t>(written - 1);
    length_ = converted < length ? converted : length;
    buffer_[length_] = u'\0';
    return *this;
}

EWideString& EWideString::operator+=(char16_t character)
{
    Append(character);
    return *this;
}

EWideString& EWideString::operator+=(const char16_t* text)
{
    Append(text);
    return *this;
}
