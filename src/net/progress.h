#pragma once

#include <cstdint>

// Thousandths of `declared` bytes that `received` bytes make, rounded down and
// not clamped (a body longer than announced gives more than 1000).
// `declared` must not be 0: an unknown length publishes no progress at all.
inline int32_t ProgressThousandths(uint32_t received, uint32_t declared) {
  return static_cast<int32_t>(static_cast<uint64_t>(received) * 1000u / declared);
}
