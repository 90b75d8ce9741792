// What extracting one entry gave, for the recovery report.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct EntryOutcome {
  bool written = false;      // a file was written for the entry
  bool crc_checked = false;  // the entry had a known CRC-32 to compare with
  bool crc_matched = false;  // ... and the bytes written matched it
  bool salvaged = false;     // an XML part cut at its last complete element and closed
  uint64_t bytes_written = 0;
  uint64_t salvaged_bytes = 0;  // bytes of sound data kept before the damage
  // One changed byte of the entry's data was found and undone: the file written is the whole
  // entry, proved by its CRC-32. The byte's offset in the damaged file, its value there and the
  // value that made the data whole.
  bool repaired = false;
  uint64_t repair_offset = 0;
  uint8_t repair_old = 0;
  uint8_t repair_new = 0;
  // The volume of the working folder came down to its free-space margin (FreeSpaceMargin)
  // while the entry was written: it was cut there. An XML part keeps its sound beginning
  // (salvaged), anything else gives no file.
  bool space_cut = false;
  std::wstring output_path;  // empty when the name mapped to nothing
};

}  // namespace velmora
