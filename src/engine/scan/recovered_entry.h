// One entry found by the scanner in a damaged file.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct RecoveredEntry {
  // Last-modification date and time as text; at most 59 characters, empty when the header's
  // DOS date or time is not a calendar value.
  std::wstring time_text;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  // The entry name widened byte by byte, with every "/" turned into "\"; at most 1023
  // characters (longer names are cut).
  std::wstring name;
  // Position in the damaged file of the first byte of entry data (just past the extra field).
  uint64_t data_offset = 0;
  // The header's compression method. Kept so that a deflated entry whose two sizes happen to
  // be equal is inflated rather than copied as compressed bytes.
  uint16_t method = 0;
  // The header's CRC-32 (or the data descriptor's, when the sizes came from it).
  uint32_t crc32 = 0;
  // Position of the local header's signature.
  uint64_t header_offset = 0;
  // The header's general-purpose flags (bit 3: sizes and CRC follow the data).
  uint16_t flags = 0;
  // Whether crc32 is the entry's real CRC-32 (not the 0 that a header written before its data
  // carries).
  bool crc_known = true;

  // Where the two sizes come from.
  enum class SizeSource : uint8_t {
    kHeader,      // the local header, and its data ends where the next record begins
    kDescriptor,  // the signed data descriptor after the data
    kStream,      // the header's sizes did not fit the bytes; the deflate stream's own end
                  // (or, for a stored entry, the next local header) gave them
    kNone,        // a deflated entry whose sizes were found nowhere (its file was cut before
                  // the descriptor): the data runs from data_offset to at most the end of the
                  // file, and both sizes are 0
  };
  SizeSource size_source = SizeSource::kHeader;
};

}  // namespace velmora
