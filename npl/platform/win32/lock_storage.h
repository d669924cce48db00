#pragma once

#include <cstddef>

namespace npl::platform {
// The size of a CRITICAL_SECTION: 24 bytes for 32-bit Windows, 40 for 64-bit.
inline constexpr std::size_t kLockStorageSize = sizeof(void*) == 4 ? 24 : 40;
inline constexpr std::size_t kLockStorageAlign = sizeof(void*);
} // namespace npl::platform
