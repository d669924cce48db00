// The Windows registry through the ANSI calls of advapi32, one request each, answering what the
// system answered. Windows only: the registry key class above it is built only there.
#pragma once

#include <cstdint>

namespace npl::platform {

/// An open registry key or a predefined root (Win32 HKEY) carried as an opaque pointer.
using RegistryKey = struct RegistryKeyTag*;

/// The predefined roots, with the values Win32 gives them (a 32-bit value sign-extended to the
/// pointer's width).
inline RegistryKey const kRegistryClassesRoot = reinterpret_cast<RegistryKey>(std::intptr_t{-0x7FFFFFFF - 1});
inline RegistryKey const kRegistryCurrentUser = reinterpret_cast<RegistryKey>(std::intptr_t{-0x7FFFFFFF});
inline RegistryKey const kRegistryLocalMachine = reinterpret_cast<RegistryKey>(std::intptr_t{-0x7FFFFFFE});
inline RegistryKey const kRegistryUsers = reinterpret_cast<RegistryKey>(std::intptr_t{-0x7FFFFFFD});

/// Access masks (Win32 REGSAM values).
enum RegistryAccess : std::uint32_t {
    RegistryAccessQueryValue = 0x0001,
    RegistryAccessSetValue = 0x0002,
    RegistryAccessRead = 0x20019,  ///< KEY_READ
    RegistryAccessWrite = 0x20006, ///< KEY_WRITE
    RegistryAccessAll = 0xF003F,
};

/// Value types (Win32 REG_* values).
enum RegistryValueType : std::uint32_t {
    RegistryString = 1,       ///< REG_SZ
    RegistryExpandString = 2, ///< REG_EXPAND_SZ
    RegistryDword = 4,        ///< REG_DWORD
};

/// Win32 error codes the callers look at; every call answers one of the system's codes.
inline constexpr long kRegistrySuccess = 0;     ///< ERROR_SUCCESS
inline constexpr long kRegistryMoreData = 234;  ///< ERROR_MORE_DATA

/// RegOpenKeyExA(root, subKey, options, access, result).
[[nodiscard]] long RegistryOpenKey(RegistryKey root, const char* subKey, std::uint32_t options, std::uint32_t access,
                                   RegistryKey* result);

/// RegCloseKey(key).
[[nodiscard]] long RegistryCloseKey(RegistryKey key);

/// RegQueryInfoKeyA asking only for the class text (`classText`, with `classSize` characters of
/// room in and the class text's length out) and the size in bytes of the largest value's data.
/// Every other output of the call is left out (null).
[[nodiscard]] long RegistryQueryInfoKey(RegistryKey key, char* classText, std::uint32_t* classSize,
                                        std::uint32_t* maxValueDataSize);

/// RegQueryValueExA(key, valueName, reserved null, type, data, dataSize): `type` and `dataSize`
/// in and out, either may be null as the system allows.
[[nodiscard]] long RegistryQueryValue(RegistryKey key, const char* valueName, std::uint32_t* type, void* data,
                                      std::uint32_t* dataSize);

/// RegSetValueExA(key, valueName, reserved 0, type, data, dataSize).
[[nodiscard]] long RegistrySetValue(RegistryKey key, const char* valueName, std::uint32_t type, const void* data,
                                    std::uint32_t dataSize);

} // namespace npl::platform
