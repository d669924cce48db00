// A re-entrant lock with storage of a fixed, known size, so that it can live inside
// structures whose layout is fixed (the heap's region header).
#pragma once

#include <cstddef>

#include "lock_storage.h" // kLockStorageSize and kLockStorageAlign of the platform

namespace npl::platform {

class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    /// Blocks until the lock is free or already held by the calling thread.
    void Enter();
    /// Leaves one level of Enter; the caller must hold the lock.
    void Leave();

    static constexpr std::size_t kStorageSize = kLockStorageSize;

private:
    alignas(kLockStorageAlign) unsigned char storage_[kLockStorageSize];
};

/// Holds a lock for the life of a scope.
class LockGuard {
public:
    explicit LockGuard(RecursiveLock& lock) : lock_(lock) { lock_.Enter(); }
    ~LockGuard() { lock_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveLock& lock_;
};

} // namespace npl::platform
