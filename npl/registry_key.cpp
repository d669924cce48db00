#include "npl/registry_key.h"

#include <cstring>

#include "npl/memory.h"

NPL_DEFINE_CLASS(ERegistryKey, NPLObject, "ERegistryKey")

using namespace npl::platform;

namespace {

/// Room for the key's class text at the first query; a longer class text makes the query
/// repeat with the size the system asked for.
constexpr std::uint32_t kClassTextSize = 256;

/// Class texts are at most 32,767 characters; the buffer never grows beyond this.
constexpr std::uint32_t kLargestClassText = 65536;

/// The largest value data read: the value block is one heap block of that size plus two.
constexpr std::uint32_t kLargestValueData = 0x7FFFFFF0;

} // namespace

ERegistryKey::~ERegistryKey() { Close(); }

int ERegistryKey::Open(RegistryKey root, const char* subKey, std::uint32_t access)
{
    Close();
    if (RegistryOpenKey(root, subKey, 0, access, &handle_) == kRegistrySuccess) {
        open_ = 1;
        return 0;
    }
    // The handle field has been overwritten: whatever a failed close left marked open is no
    // longer held here either.
    open_ = 0;
    return 1;
}

void ERegistryKey::Close()
{
    if (open_ != 0 && RegistryCloseKey(handle_) == kRegistrySuccess)
        open_ = 0;
}

int ERegistryKey::SetString(const char* valueName, const char* text)
{
    if (text == nullptr)
        text = "";
    const auto size = static_cast<std::uint32_t>(std::strlen(text) + 1);
    return RegistrySetValue(handle_, valueName, RegistryString, text, size) == kRegistrySuccess ? 0 : 1;
}

EString ERegistryKey::GetString(const char* valueName, const char* defaultText)
{
    // The key's class text is asked for only because the query delivers the largest value's
    // size with it; its buffer grows when the class text is longer.
    EString classText;
    if (!classText.AllocBuffer(kClassTextSize + 1))
        return EString(defaultText);
    std::uint32_t classSize = kClassTextSize;
    std::uint32_t largestValue = 0;
    long status = RegistryQueryInfoKey(handle_, classText.GetBuffer(), &classSize, &largestValue);
    // Windows reports the class text's length when the buffer is too short; some systems
    // report no more than the buffer's own size, so the buffer also doubles until it fits.
    while (status == kRegistryMoreData && classText.GetCapacity() < kLargestClassText) {
        const std::uint32_t capacity = classText.GetCapacity();
        if (!classText.AllocBuffer(classSize >= capacity ? classSize + 1 : capacity * 2))
            return EString(defaultText);
        classSize = classText.GetCapacity();
        status = RegistryQueryInfoKey(handle_, classText.GetBuffer(), &classSize, &largestValue);
    }
    if (status != kRegistrySuccess || largestValue > kLargestValueData)
        return EString(defaultText);

    EString value;
    if (largestValue + 1 >= value.GetCapacity() && !value.AllocBuffer(largestValue + 2))
        return EString(defaultText);
    // Cleared first, so that data without a zero byte of its own (a REG_DWORD, a string stored
    // without terminator) ends at the data's end, not in bytes the system never wrote.
    MemoryFill(value.GetBuffer(), 0, std::size_t{value.GetCapacity()} + 1);
    std::uint32_t type = RegistryString;
    std::uint32_t size = largestValue;
    status = RegistryQueryValue(handle_, valueName, &type, value.GetBuffer(), &size);
    value.UpdateLength();
    if (status != kRegistrySuccess)
        return EString(defaultText);
    return EString(value);
}
