// Whole pages from the operating system, for heap regions.
#pragma once

#include <cstddef>

namespace npl::platform {

inline constexpr std::size_t kPageSize = 4096;

enum class PageAccess { ReadWrite, ReadWriteExecute };

/// Commits `size` bytes (a multiple of kPageSize) of zero-filled pages. Null when the system
/// refuses, or when a failure was injected for this call.
[[nodiscard]] void* AllocatePages(std::size_t size, PageAccess access);

/// Returns pages obtained from AllocatePages; `size` is the size that was asked for. Null is
/// ignored.
void FreePages(void* address, std::size_t size);

/// Test hook: the next `count` calls of AllocatePages fail as if the system had refused
/// (a negative count: every call, until the hook is set again). 0 ends the injection.
void InjectPageFailures(int count);

} // namespace npl::platform
