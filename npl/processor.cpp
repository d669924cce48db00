#include "npl/processor.h"

#include <atomic>

namespace {
// Relaxed: the word changes only at library start-up and in tests, and each reader only
// picks a code path with it.
std::atomic<std::uint32_t> enabledProcessorTypes { 0 };
} // namespace

std::uint32_t GetEnabledProcessorTypes() { return enabledProcessorTypes.load(std::memory_order_relaxed); }

void SetEnabledProcessorTypes(std::uint32_t types) { enabledProcessorTypes.store(types, std::memory_order_relaxed); }
