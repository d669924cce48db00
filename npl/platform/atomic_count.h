// Process-wide reference counts that several threads may change at once.
#pragma once

#include <atomic>
#include <cstdint>

namespace npl::platform {

class AtomicCount {
public:
    explicit AtomicCount(std::int32_t value = 0) : value_(value) {}
    /// Both return the value after the change, as the interlocked calls do.
    std::int32_t Increment() { return ++value_; }
    std::int32_t Decrement() { return --value_; }
    std::int32_t Get() const { return value_.load(); }

private:
    std::atomic<std::int32_t> value_;
};

} // namespace npl::platform
