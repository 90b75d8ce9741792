// The ZIP record layout as both sides use it: the scanner and the extractor read damaged
// bytes with it, the writer lays out new packages with it.
//
// Multi-byte fields are little-endian and are decoded and encoded byte by byte, never by a
// struct cast over file bytes: that is independent of host order and alignment, and compilers
// turn it into one load or store.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// Record signatures, as read from their first 4 bytes ("PK" and two numbers).
inline constexpr uint32_t kZipLocalHeaderSignature = 0x04034B50;    // "PK", 3, 4
inline constexpr uint32_t kZipCentralHeaderSignature = 0x02014B50;  // "PK", 1, 2
inline constexpr uint32_t kZipEndRecordSignature = 0x06054B50;      // "PK", 5, 6
inline constexpr uint32_t kZipDescriptorSignature = 0x08074B50;     // "PK", 7, 8

// Compression methods.
inline constexpr uint16_t kZipMethodStored = 0;
inline constexpr uint16_t kZipMethodDeflate = 8;

// General-purpose flag bit 3: the CRC-32 and sizes follow the data (in a data descriptor); a
// header written before its data carries 0 in their place.
inline constexpr uint16_t kZipFlagDescriptor = 0x0008;

// Fixed parts of the records, signature included; the name, extra field and comment follow.
inline constexpr size_t kZipLocalHeaderSize = 30;
inline constexpr size_t kZipCentralHeaderSize = 46;
inline constexpr size_t kZipEndRecordSize = 22;

inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace velmora
