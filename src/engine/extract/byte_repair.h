// Exact repair of one changed byte in an entry's data, proved by the entry's CRC-32.
//
// A bit flipped on a disk or in a transfer leaves an entry whose recorded CRC-32 says what the
// whole data must give. For deflated data the damage shows where decoding first goes wrong (a
// data error, output that stops being XML, a stream that ends too early or runs on too long):
// the changed byte lies a little before that point, so every other value at every position of a
// bounded window before it is tried, each decoded from a copy of the decoder's state just
// before the position. Candidates are pruned early by a short decode that must stay free of
// errors (and, for an XML part, well-formed); only one whose whole output has the entry's size
// and CRC-32 is accepted. Many wrong candidates decode cleanly into wrong text for a while, so
// nothing but the CRC-32 decides.
//
// When the damage stays invisible (the data decodes to the right size, only the CRC-32 fails),
// the CRC-32 itself points at an output byte when exactly one output byte changed, and the
// window before the input that produced it is searched; otherwise a small part is swept whole
// (kSweepLimit). Stored data is linear in the CRC-32: one changed byte is found from the CRC
// difference alone, in one pass over the positions.
//
// Time and memory are bounded whatever the input: the data searched is held in memory only up
// to kMaxRepairInput bytes, the window is kSearchWindow positions, a candidate that survives its
// short decode costs at most one decode of the rest, and the searches of one file share a budget
// of work (RepairBudget). The stop flag is read before every position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/job/job_context.h"

namespace velmora {

// Deflated data longer than this is not searched (it is held whole in memory while searched).
inline constexpr size_t kMaxRepairInput = size_t{16} << 20;
// Positions tried before the point where decoding goes wrong.
inline constexpr size_t kSearchWindow = 512;
// Deflated data up to this size is swept whole when the damage shows nowhere: about 255
// candidates per byte, a few seconds for the largest such part on one core.
inline constexpr size_t kSweepLimit = 8 * 1024;

// What the searches of one damaged file may spend together, so that a file of many damaged
// entries, or of streams that make much output from little input, costs a bounded amount of
// work. The unit is the time it takes to inflate one byte of output and take its CRC-32 (about
// a nanosecond on one core of this kind of machine); output that is also followed as markup
// costs 5, and each candidate 1024 more for the copy of the decoder state it starts from. The
// default, 8 GiB, is ten seconds of one core at the most: a window before a data error takes a
// small part of it, the sweep of a part of kSweepLimit bytes up to all of it.
inline constexpr uint64_t kDefaultRepairWork = uint64_t{8} << 30;

// The work a RepairBudget starts with; kDefaultRepairWork unless set. The fuzzing harness sets
// less, so that an input that spends a whole budget stays within its time limit under the
// sanitizers.
uint64_t RepairWorkPerFile();
void SetRepairWorkPerFile(uint64_t work);

struct RepairBudget {
  uint64_t work = RepairWorkPerFile();
};

struct ByteCorrection {
  bool found = false;
  uint64_t offset = 0;  // in the entry's data
  uint8_t old_value = 0;
  uint8_t new_value = 0;
};

// What a search may look at while it runs: the stop flag, a progress callback (positions done
// of positions to try) and the budget it shares with the other entries of its file; all
// optional (without a budget a search gets a RepairBudget of its own).
struct RepairControl {
  const JobRunning* running = nullptr;
  std::function<void(uint64_t done, uint64_t total)> progress;
  RepairBudget* budget = nullptr;
};

// The deflated data of one entry, its recorded size and CRC-32, and whether its output is an
// XML document (which lets the search prune on text that stops being XML).
struct DeflatedPart {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint32_t expected_size = 0;
  uint32_t expected_crc = 0;
  bool xml = false;
};

// Searches for the one byte whose change makes the part inflate to exactly its size and CRC-32.
// Not found when the part is intact already, larger than kMaxRepairInput, damaged otherwise,
// or the search was stopped.
ByteCorrection FindDeflateCorrection(const DeflatedPart& part, const RepairControl& control);

// For `size` bytes whose CRC-32 is `actual_crc` where `expected_crc` was recorded: the one
// position and the value XORed into it there that explain the difference, when exactly one
// position and value do (found.offset, found.new_value = the XOR mask; old_value is 0). Not
// found when none does or several do.
ByteCorrection FindSingleByteError(uint64_t size, uint32_t actual_crc, uint32_t expected_crc,
                                   const RepairControl& control);

// Inflates the whole raw DEFLATE stream in `data` and hands the output to `sink` in pieces.
// False when it does not end cleanly or the sink refuses.
bool InflateAll(const uint8_t* data, size_t size,
                const std::function<bool(const uint8_t*, size_t)>& sink);

}  // namespace velmora
