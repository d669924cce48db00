#include <pthread.h>

#include <new>

#include "npl/platform/recursive_lock.h"

namespace npl::platform {

static_assert(sizeof(pthread_mutex_t) == kLockStorageSize);
static_assert(alignof(pthread_mutex_t) <= kLockStorageAlign);

static pthread_mutex_t* Mutex(unsigned char* storage)
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

RecursiveLock::RecursiveLock()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    new (storage_) pthread_mutex_t;
    pthread_mutex_init(Mutex(storage_), &attributes);
    pthread_mutexattr_destroy(&attributes);
}

RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(Mutex(storage_)); }
void RecursiveLock::Enter() { pthread_mutex_lock(Mutex(storage_)); }
void RecursiveLock::Leave() { pthread_mutex_unlock(Mutex(storage_)); }

} // namespace npl::platform
