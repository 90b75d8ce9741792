// Where decoding can start again after a zeroed stretch ("hole") in a deflated part.
//
// Zeroed bytes decode as something, so the symbols that touch the hole are lost, but every
// symbol that starts after it is intact. In the block the hole began in, the code tables are
// known from its header before the hole: a decoder started there at the right bit after the
// hole reads the rest of the block, and the blocks after it, exactly. The right bit is not
// known, and a decoder started a few bits off falls into step after a few symbols as often as
// not; so every start in the first 64 bits after the hole is decoded for a long stretch that
// must stay sound (valid codes, no control characters in the literals); the point from which
// all the starts that stayed sound decode alike is taken, and only when its decode then runs on
// soundly to end exactly where the part ends. When none does (the hole reached past the end of
// its block, whose tables then decode the next one as plausible nonsense), later block headers
// are tried the same way.
//
// What comes after the restart is not yet known in full: its copies reach back into the
// output of the hole, whose length is unknown too. DecodeAfter says which output bytes are
// known (literals, and copies of known bytes made after the restart).
//
// Bounded: every start is decoded for at most kRestartCheck symbols, the header search reads
// each bit of the rest of the part at most once as a header, and the stop flag is read every
// few thousand starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/job/job_running.h"

namespace velmora::hole {

// Zero bytes in a row that make a hole: a deflated XML part almost never holds so many.
inline constexpr size_t kMinHole = 32;
// Symbols a restart must decode soundly before it is believed.
inline constexpr uint64_t kRestartCheck = 4096;
// Bits after the hole's end where a restart in the same block is looked for: longer than any
// symbol, so that the first intact symbol starts within them.
inline constexpr uint64_t kRestartSpan = 64;

struct Hole {
  uint64_t offset = 0;  // in the part's compressed data
  uint64_t length = 0;
};

// The longest stretch of at least kMinHole zero bytes in `data`; false when there is none.
bool FindHole(const uint8_t* data, size_t size, Hole* hole);

struct Restart {
  bool found = false;
  bool same_block = false;     // in the hole's block, with its tables; else at a block header
  uint64_t bit = 0;            // where decoding goes on
  uint64_t output_before = 0;  // output of the symbols wholly before the hole
};

// `expected_output` is the part's recorded size: the output before the hole and after the
// restart must fit in it. The restart must decode soundly to the end of the part.
Restart FindRestart(const uint8_t* data, size_t size, uint64_t expected_output, const Hole& hole,
                    const JobRunning* running = nullptr);

// The output after a restart, with which bytes of it are known: a literal, or a copy of a known
// byte made after the restart. A copy that reaches back past the restart is unknown.
struct AfterRestart {
  std::string bytes;  // unknown bytes hold 0
  std::vector<bool> known;
  bool ended = false;  // the stream's end was reached soundly
};

AfterRestart DecodeAfter(const uint8_t* data, size_t size, const Hole& hole, const Restart& restart,
                         uint64_t max_output);

}  // namespace velmora::hole
