#include "npl/platform/registry.h"

#include <windows.h>

namespace npl::platform {

namespace {

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

} // namespace

long RegistryOpenKey(RegistryKey root, const char* subKey, std::uint32_t options, std::uint32_t access,
                     RegistryKey* result)
{
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(ToHkey(root), subKey, options, access, &opened);
    *result = reinterpret_cast<RegistryKey>(opened);
    return status;
}

long RegistryCloseKey(RegistryKey key) { return RegCloseKey(ToHkey(key)); }

long RegistryQueryInfoKey(RegistryKey key, char* classText, std::uint32_t* classSize, std::uint32_t* maxValueDataSize)
{
    DWORD size = classSize != nullptr ? *classSize : 0;
    DWORD maxData = 0;
    const LONG status = RegQueryInfoKeyA(ToHkey(key), classText, classSize != nullptr ? &size : nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr,
                                         maxValueDataSize != nullptr ? &maxData : nullptr, nullptr, nullptr);
    if (classSize != nullptr)
        *classSize = size;
    if (maxValueDataSize != nullptr)
        *maxValueDataSize = maxData;
    return status;
}

long RegistryQueryValue(RegistryKey key, const char* valueName, std::uint32_t* type, void* data,
                        std::uint32_t* dataSize)
{
    DWORD valueType = type != nullptr ? *type : 0;
    DWORD size = dataSize != nullptr ? *dataSize : 0;
    const LONG status = RegQueryValueExA(ToHkey(key), valueName, nullptr, type != nullptr ? &valueType : nullptr,
                                         static_cast<BYTE*>(data), dataSize != nullptr ? &size : nullptr);
    if (type != nullptr)
        *type = valueType;
    if (dataSize != nullptr)
        *dataSize = size;
    return status;
}

long RegistrySetValue(RegistryKey key, const char* valueName, std::uint32_t type, const void* data,
                      std::uint32_t dataSize)
{
    return RegSetValueExA(ToHkey(key), valueName, 0, type, static_cast<const BYTE*>(data), dataSize);
}

} // namespace npl::platform
