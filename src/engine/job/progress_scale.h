// Counts on the progress bars, whose range is a 16-bit value.
#pragma once

#include <algorithm>
#include <cstdint>

namespace velmora {

inline constexpr int64_t kBarLimit = 0xFFFF;

// The upper bound to give a bar that counts `count` steps: the count itself while it fits,
// else the largest range (a cast would wrap 65,536 to 0 and 70,000 to 4,464).
constexpr uint16_t BarUpper(int64_t count) {
  return static_cast<uint16_t>(std::clamp<int64_t>(count, 0, kBarLimit));
}

// The position that shows `done` of `count` steps on a bar whose range BarUpper(count) gave:
// `done` itself while the count fits, else `done` scaled down in proportion, so that the bar
// still moves evenly and is full exactly at the end.
constexpr int BarPosition(int64_t done, int64_t count) {
  if (count <= kBarLimit) return static_cast<int>(std::clamp<int64_t>(done, 0, kBarLimit));
  return static_cast<int>(std::clamp<int64_t>(done, 0, count) * kBarLimit / count);
}

}  // namespace velmora
