// The library's memory primitives. They take faster paths (16-byte non-temporal stores) for
// 128 bytes and more when the enabled processor types include SSE; the results are the same.
#pragma once

#include <cstddef>

/// Sets `count` bytes at `destination` to the low 8 bits of `value`.
void MemoryFill(void* destination, int value, std::size_t count);

/// Copies `count` bytes from `source` to `destination`; the ranges may overlap.
void MemoryMove(void* destination, const void* source, std::size_t count);
