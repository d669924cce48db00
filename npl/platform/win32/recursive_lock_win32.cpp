#include <windows.h>

#include <new>

#include "npl/platform/recursive_lock.h"

namespace npl::platform {

static_assert(sizeof(CRITICAL_SECTION) == kLockStorageSize);
static_assert(alignof(CRITICAL_SECTION) <= kLockStorageAlign);

static CRITICAL_SECTION* Section(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

RecursiveLock::RecursiveLock() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Section(storage_)); }
void RecursiveLock::Enter() { EnterCriticalSection(Section(storage_)); }
void RecursiveLock::Leave() { LeaveCriticalSection(Section(storage_)); }

} // namespace npl::platform
