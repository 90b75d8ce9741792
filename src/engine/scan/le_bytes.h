// Little-endian decoding of damaged-file bytes. Byte by byte, never a struct cast over file
// bytes: it is independent of host order and alignment, and compilers turn it into one load.
#pragma once

#include <cstdint>

namespace velmora {

inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace velmora
