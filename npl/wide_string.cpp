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
    if (text != nullptr)
        AssignConverted(text, count, npl::platform::MultiByteToWide);
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
    if (text != nullptr) {
        AssignConverted(text, -1, npl::platform::MultiByteToWide);
        return *this;
    }
    length_ = 0;
    if (AllocBuffer(1))
        buffer_[0] = u'\0';
    else
        FreeBuffer();
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
