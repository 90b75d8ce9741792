#include "engine/extract/hole/restart.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>

#include "engine/extract/hole/deflate_trace.h"

namespace velmora::hole {
namespace {

// Starts tried between two looks at the stop flag.
constexpr uint64_t kPollEvery = 4096;
// Symbol starts of each sound decode compared to find where they agree.
constexpr size_t kCompared = 256;

bool Stopped(const JobRunning* running) {
  return running != nullptr && running->load(std::memory_order_relaxed) == 0;
}

// Text bytes of a sheet's XML: no control character but tab, line feed and carriage return.
bool Plausible(uint8_t c) {
  return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
}

// Decodes from the trace's position for kRestartCheck symbols, or to the stream's end; the
// first kCompared symbol starts go to `starts`. False when it breaks or makes implausible text.
bool StaysSound(DeflateTrace trace, std::vector<uint64_t>* starts) {
  TraceSymbol s;
  for (uint64_t n = 0; n < kRestartCheck; ++n) {
    const TraceStatus status = trace.Next(&s);
    if (status == TraceStatus::kEnd) return true;
    if (status == TraceStatus::kError) return false;
    if (!s.copy && !Plausible(s.literal)) return false;
    if (starts->size() < kCompared) starts->push_back(s.bit);
  }
  return true;
}

// Decodes from the trace's position to the stream's end: true when it ends soundly in the
// part's last byte, having made `*output` bytes. Codes of the wrong tables, or a start a few
// bits off, read as valid symbols and printable text for thousands of symbols more often than
// one would think; ending exactly where the part ends is what they do not do.
bool EndsWithThePart(DeflateTrace trace, uint64_t size, uint64_t* output) {
  const uint64_t start = trace.output();
  TraceSymbol s;
  for (;;) {
    const TraceStatus status = trace.Next(&s);
    if (status == TraceStatus::kError) return false;
    if (status == TraceStatus::kEnd) {
      *output = trace.output() - start;
      return trace.bit() + 8 > size * 8 && trace.bit() <= size * 8;
    }
  }
}

// The first symbol start that every sound decode passes through: from there on they decode
// alike. 0 when they share none among their first starts.
uint64_t Agreement(const std::vector<std::vector<uint64_t>>& decodes) {
  for (uint64_t bit : decodes.front()) {
    bool everywhere = true;
    for (const std::vector<uint64_t>& other : decodes) {
      if (!std::binary_search(other.begin(), other.end(), bit)) {
        everywhere = false;
        break;
      }
    }
    if (everywhere) return bit;
  }
  return 0;
}

// The trace of the stream up to the last symbol that ends before the hole. Its state is kept
// only over the last bits before the hole, which hold more than a block header.
constexpr uint64_t kKeptBefore = 8192;

bool TraceToHole(const uint8_t* data, size_t size, const Hole& hole, DeflateTrace* out) {
  DeflateTrace trace(data, size);
  const uint64_t hole_bit = hole.offset * 8;
  bool kept = false;
  for (;;) {
    if (trace.bit() + kKeptBefore >= hole_bit) {
      *out = trace;
      kept = true;
    }
    TraceSymbol s;
    if (trace.Next(&s) != TraceStatus::kSymbol || s.end_bit > hole_bit) return kept;
  }
}

}  // namespace

bool FindHole(const uint8_t* data, size_t size, Hole* hole) {
  size_t best = 0;
  size_t best_at = 0;
  for (size_t i = 0; i < size;) {
    if (data[i] != 0) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < size && data[j] == 0) ++j;
    if (j - i > best) {
      best = j - i;
      best_at = i;
    }
    i = j;
  }
  if (best < kMinHole) return false;
  hole->offset = best_at;
  hole->length = best;
  return true;
}

Restart FindRestart(const uint8_t* data, size_t size, uint64_t expected_output, const Hole& hole,
                    const JobRunning* running) {
  Restart restart;
  const uint64_t end_bit = (hole.offset + hole.length) * 8;
  if (end_bit >= uint64_t{size} * 8) return restart;
  auto before = std::make_unique<DeflateTrace>(data, size);
  if (!TraceToHole(data, size, hole, before.get())) return restart;
  restart.output_before = before->output();

  // At a later block header, when there is one: it needs no tables from before the hole.
  const uint64_t last = uint64_t{size} * 8;
  auto trace = std::make_unique<DeflateTrace>(data, size);
  for (uint64_t bit = end_bit, n = 0; bit < last; ++bit, ++n) {
    if (n % kPollEvery == 0 && Stopped(running)) return restart;
    if (!trace->HeaderAt(bit)) continue;
    std::vector<uint64_t> starts;
    uint64_t after = 0;
    if (!StaysSound(*trace, &starts) || !EndsWithThePart(*trace, size, &after) ||
        restart.output_before + after > expected_output) {
      continue;
    }
    restart.found = true;
    restart.bit = bit;
    return restart;
  }

  // In the same block, with its tables: only when no block starts after the hole, since the
  // tables of a block the hole ended read the next block as plausible text that falls into
  // step with the stream later on, and then ends with it.
  std::vector<std::vector<uint64_t>> sound;
  for (uint64_t bit = end_bit; bit < end_bit + kRestartSpan; ++bit) {
    if (Stopped(running)) return restart;
    DeflateTrace resumed = *before;
    if (!resumed.ResumeAt(bit)) break;
    std::vector<uint64_t> starts;
    if (StaysSound(resumed, &starts) && !starts.empty()) sound.push_back(std::move(starts));
  }
  if (sound.empty()) return restart;
  const uint64_t agreed = Agreement(sound);
  DeflateTrace resumed = *before;
  uint64_t after = 0;
  if (agreed != 0 && resumed.ResumeAt(agreed) && EndsWithThePart(resumed, size, &after) &&
      restart.output_before + after <= expected_output) {
    restart.found = true;
    restart.same_block = true;
    restart.bit = agreed;
  }
  return restart;
}

AfterRestart DecodeAfter(const uint8_t* data, size_t size, const Hole& hole, const Restart& restart,
                         uint64_t max_output) {
  AfterRestart after;
  if (!restart.found) return after;
  auto trace = std::make_unique<DeflateTrace>(data, size);
  if (restart.same_block) {
    if (!TraceToHole(data, size, hole, trace.get()) || !trace->ResumeAt(restart.bit)) {
      return after;
    }
  } else if (!trace->HeaderAt(restart.bit)) {
    return after;
  }
  TraceSymbol s;
  for (;;) {
    const TraceStatus status = trace->Next(&s);
    if (status == TraceStatus::kEnd) {
      after.ended = true;
      return after;
    }
    if (status == TraceStatus::kError) return after;
    const size_t q = after.bytes.size();
    const size_t length = s.copy ? s.length : 1;
    if (q + length > max_output) return after;
    if (!s.copy) {
      after.bytes.push_back(static_cast<char>(s.literal));
      after.known.push_back(true);
      continue;
    }
    for (size_t i = 0; i < length; ++i) {
      const size_t at = q + i;
      const bool inside = at >= s.distance;
      after.bytes.push_back(inside ? after.bytes[at - s.distance] : '\0');
      after.known.push_back(inside && after.known[at - s.distance]);
    }
  }
}

}  // namespace velmora::hole
