#pragma once

#include <cstddef>

namespace npl::platform {
// The size of a pthread_mutex_t on the 64-bit Linux hosts.
inline constexpr std::size_t kLockStorageSize = 40;
inline constexpr std::size_t kLockStorageAlign = sizeof(void*);
} // namespace npl::platform
