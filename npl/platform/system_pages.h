// The system side of pages.h, one implementation per platform.
#pragma once

#include <cstddef>

#include "npl/platform/pages.h"

namespace npl::platform {
[[nodiscard]] void* SystemAllocatePages(std::size_t size, PageAccess access);
void SystemFreePages(void* address, std::size_t size);
} // namespace npl::platform
