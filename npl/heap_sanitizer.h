// Tells AddressSanitizer which bytes of the heap's regions are free, so that a use after
// free or an overrun into a free block is caught inside the library heap as well. Without
// NPL_SANITIZE these are empty inline functions.
#pragma once

#include <cstddef>

#if defined(NPL_SANITIZE)
#include <sanitizer/asan_interface.h>
#endif

namespace npl::heap {

#if defined(NPL_SANITIZE)
inline void PoisonBytes(const void* at, std::size_t size) { ASAN_POISON_MEMORY_REGION(at, size); }
inline void UnpoisonBytes(const void* at, std::size_t size) { ASAN_UNPOISON_MEMORY_REGION(at, size); }
/// True when some of the bytes are poisoned: they are inside a free block, so no block header
/// can be there.
inline bool IsPoisoned(const void* at, std::size_t size)
{
    return __asan_region_is_poisoned(const_cast<void*>(at), size) != nullptr;
}
#else
inline void PoisonBytes(const void*, std::size_t) { }
inline void UnpoisonBytes(const void*, std::size_t) { }
inline bool IsPoisoned(const void*, std::size_t) { return false; }
#endif

} // namespace npl::heap
