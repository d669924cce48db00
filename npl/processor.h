// The process-wide word of enabled processor extensions. Routines with faster variants read
// it to choose them; every variant gives the same results as the plain one.
#pragma once

#include <cstdint>

enum : std::uint32_t {
    ProcessorMMX = 0x02,
    ProcessorSSE = 0x08,
    ProcessorSSE2 = 0x10,
    ProcessorSSE3 = 0x20,
};

/// The enabled processor types; 0 (plain paths only) until the library lifecycle sets it.
[[nodiscard]] std::uint32_t GetEnabledProcessorTypes();
/// Replaces the enabled processor types. Only set bits the processor really supports.
void SetEnabledProcessorTypes(std::uint32_t types);
