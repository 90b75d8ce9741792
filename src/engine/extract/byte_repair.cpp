#include "engine/extract/byte_repair.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "engine/extract/in_step_repair.h"
#include "engine/extract/xml_salvage.h"
#include "engine/zlib_stream.h"

namespace velmora {
namespace {

// Input fed per step while looking for where decoding goes wrong: the point found lies at most
// this far past the input that made the damage show.
constexpr size_t kLocateStep = 64;
// Window positions between two saved decoder states: the window is searched from its end (where
// the damage usually is) back, one stretch of this many positions at a time.
constexpr size_t kCheckpointSpacing = 32;
// Input a candidate must decode cleanly past the point where the damage showed, then past that
// again, before it is decoded to the end.
constexpr size_t kFirstCheck = 16;
constexpr size_t kSecondCheck = 2048;
// A candidate in a sweep, where no point of damage is known, must first decode this much
// cleanly past its own position.
constexpr size_t kSweepCheck = 32;
// Input after its position over which a candidate of a sweep must keep in step with the damaged
// stream.
constexpr size_t kSyncSpan = 12;
constexpr size_t kScratchSize = 32 * 1024;
// A candidate's input is fed in pieces of this size, so that its output can be held to the caps
// below and charged to the budget as it comes.
constexpr size_t kAdvanceStep = 256;
// Output a candidate may make in its first and second check before it counts as sound there.
constexpr uint64_t kFirstOutputCap = 16 * 1024;
constexpr uint64_t kSecondOutputCap = 256 * 1024;
// Work charged per candidate for copying the decoder's state and window, in bytes of output
// decoded that take the same time.
constexpr uint64_t kCandidateCost = 1024;
// Output followed as markup costs this many times as much as output only counted.
constexpr uint64_t kTrackedCost = 5;
// DEFLATE's window: output further back than this is never copied again.
constexpr uint64_t kWindowSize = 32 * 1024;

enum class Step {
  kOk,       // all input taken, stream goes on
  kEnd,      // the stream ended
  kError,    // not DEFLATE data
  kNotXml,   // the output stopped being XML
  kTooLong,  // more output than the part's size
};

// One decoding position: zlib's state with its window, the size and CRC-32 of the output so
// far and, for an XML part, what the output's markup has reached. Copying one is what a
// candidate costs: zlib's state and window, about 40 KB.
class Cursor {
 public:
  Cursor() = default;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  bool Start(bool xml) {
    if (!stream_.StartInflate()) return false;
    if (xml) xml_.emplace();
    return true;
  }

  // A copy of `other`; without `with_xml` its markup is not followed until TrackXmlFrom.
  bool CopyFrom(const Cursor& other, bool with_xml = true) {
    if (!stream_.CopyInflate(other.stream_)) return false;
    out_ = other.out_;
    crc_ = other.crc_;
    if (with_xml) xml_ = other.xml_;
    return true;
  }

  // Follows the markup from `from`'s state on, over `since`: the output made since the copy.
  bool TrackXmlFrom(const Cursor& from, const std::string& since) {
    if (!from.xml_) return true;
    xml_ = from.xml_;
    xml_->Feed(reinterpret_cast<const uint8_t*>(since.data()), since.size());
    return !xml_->damaged();
  }

  // Decodes `n` bytes of input; the output is counted and checked against `limit`, and appended
  // to `*keep` when given.
  Step Feed(const uint8_t* in, size_t n, uint64_t limit, uint8_t* scratch,
            std::string* keep = nullptr) {
    z_.next_in = const_cast<Bytef*>(in);  // zlib reads through it only
    z_.avail_in = static_cast<uInt>(n);
    for (;;) {
      z_.next_out = scratch;
      z_.avail_out = static_cast<uInt>(kScratchSize);
      const int status = inflate(&z_, Z_NO_FLUSH);
      const size_t made = kScratchSize - z_.avail_out;
      if (made != 0) {
        if (out_ + made > limit) return Step::kTooLong;
        crc_ = static_cast<uint32_t>(crc32(crc_, scratch, static_cast<uInt>(made)));
        out_ += made;
        if (keep != nullptr) keep->append(reinterpret_cast<const char*>(scratch), made);
        if (reference_ != nullptr) Compare(scratch, made);
        if (xml_) {
          xml_->Feed(scratch, made);
          if (xml_->damaged()) return Step::kNotXml;
        }
      }
      if (status == Z_STREAM_END) return Step::kEnd;
      if (status == Z_BUF_ERROR) {
        // No progress: with input left the stream cannot go on, without it it waits for more.
        if (z_.avail_in == 0) return Step::kOk;
        if (z_.avail_out != 0) return Step::kError;
        continue;
      }
      if (status != Z_OK) return Step::kError;
      if (z_.avail_in == 0 && z_.avail_out != 0) return Step::kOk;
    }
  }

  // Decodes all of `in`, handing every piece of output to `sink`: kEnd when the stream ended,
  // kError when it broke or the sink refused.
  Step Drain(const uint8_t* in, size_t n, uint8_t* scratch,
             const std::function<bool(const uint8_t*, size_t)>& sink) {
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = static_cast<uInt>(n);
    for (;;) {
      z_.next_out = scratch;
      z_.avail_out = static_cast<uInt>(kScratchSize);
      const int status = inflate(&z_, Z_NO_FLUSH);
      const size_t made = kScratchSize - z_.avail_out;
      if (made != 0 && !sink(scratch, made)) return Step::kError;
      if (status == Z_STREAM_END) return Step::kEnd;
      if (status != Z_OK) return z_.avail_in == 0 ? Step::kOk : Step::kError;
    }
  }

  // Input of the last Feed left unused (after the stream's end).
  size_t unused() const { return z_.avail_in; }
  uint64_t out() const { return out_; }
  uint32_t crc() const { return crc_; }
  // The rest of a candidate is decoded without the markup check: only the CRC-32 decides there.
  void StopTrackingXml() { xml_.reset(); }
  // From now on the output is compared with `reference` (the damaged stream's output, at the
  // same offsets); differing_end() is then just past the last byte found to differ, or
  // `differs_until` (what came before is taken to differ).
  void CompareWith(const uint8_t* reference, uint64_t differs_until) {
    reference_ = reference;
    differing_end_ = differs_until;
  }
  uint64_t differing_end() const { return differing_end_; }
  bool tracking_xml() const { return xml_.has_value(); }

 private:
  ZlibStream stream_;
  z_stream& z_ = *stream_.get();
  uint64_t out_ = 0;
  uint32_t crc_ = 0;
  std::optional<XmlTracker> xml_;
  const uint8_t* reference_ = nullptr;
  uint64_t differing_end_ = 0;

  // Called once out_ has moved past the `made` bytes.
  void Compare(const uint8_t* bytes, size_t made) {
    const uint8_t* ref = reference_ + (out_ - made);
    if (std::memcmp(bytes, ref, made) == 0) return;
    size_t i = made;
    while (bytes[i - 1] == ref[i - 1]) --i;
    differing_end_ = out_ - made + i;
  }
};

bool Stopped(const RepairControl& control) {
  return control.running != nullptr && control.running->load(std::memory_order_relaxed) == 0;
}

void Report(const RepairControl& control, uint64_t done, uint64_t total) {
  if (control.progress) control.progress(done, total);
}

// Where the first decode of the damaged part stops being sound.
struct Damage {
  enum Kind {
    kNone,       // intact: size and CRC-32 match
    kAt,         // decoding goes wrong at `at` (input offset)
    kInvisible,  // the right size, only the CRC-32 fails
    kUnusable,   // the search cannot start (no memory)
  } kind = kUnusable;
  size_t at = 0;
  uint32_t crc = 0;  // of the output, when kInvisible
};

Damage Locate(const DeflatedPart& part, uint8_t* scratch) {
  Damage damage;
  Cursor cursor;
  if (!cursor.Start(part.xml)) return damage;
  size_t pos = 0;
  while (pos < part.size) {
    const size_t step = std::min(kLocateStep, part.size - pos);
    const Step result = cursor.Feed(part.data + pos, step, part.expected_size, scratch);
    if (result == Step::kOk) {
      pos += step;
      continue;
    }
    pos += step - cursor.unused();
    if (result == Step::kEnd && cursor.out() == part.expected_size) {
      damage.kind = cursor.crc() == part.expected_crc ? Damage::kNone : Damage::kInvisible;
      damage.crc = cursor.crc();
      return damage;
    }
    break;  // broken, not XML, too long, or ended early
  }
  damage.kind = Damage::kAt;
  damage.at = pos;
  return damage;
}

// The input offset at which the output first passes `output_offset`.
size_t InputFor(const DeflatedPart& part, uint64_t output_offset, uint8_t* scratch) {
  Cursor cursor;
  if (!cursor.Start(false)) return part.size;
  size_t pos = 0;
  while (pos < part.size && cursor.out() <= output_offset) {
    const size_t step = std::min<size_t>(16, part.size - pos);
    if (cursor.Feed(part.data + pos, step, part.expected_size, scratch) != Step::kOk) {
      return pos + step - cursor.unused();
    }
    pos += step;
  }
  return pos;
}

// The damaged stream's whole output, with the CRC-32 of its prefixes every kPrefixStep bytes:
// what a sweep compares its candidates with.
struct Reference {
  static constexpr size_t kPrefixStep = 4096;
  std::string output;
  std::vector<uint32_t> prefix_crc;  // of output[0, i * kPrefixStep)
  std::vector<uint64_t> out_at;      // output size after each input byte
  uint32_t crc = 0;

  uint32_t PrefixCrc(uint64_t x) const {
    const size_t i = static_cast<size_t>(x / kPrefixStep);
    const uint64_t from = i * kPrefixStep;
    return static_cast<uint32_t>(crc32(prefix_crc[i],
                                       reinterpret_cast<const Bytef*>(output.data() + from),
                                       static_cast<uInt>(x - from)));
  }
  // The CRC-32 of the output from x to its end: the whole one's, less the prefix's part.
  uint32_t SuffixCrc(uint64_t x) const {
    const auto rest = static_cast<z_off_t>(output.size() - x);
    return crc ^ static_cast<uint32_t>(crc32_combine(PrefixCrc(x), 0, rest));
  }
};

class Search {
 public:
  Search(const DeflatedPart& part, RepairBudget& budget, uint8_t* scratch)
      : part_(part), budget_(budget), scratch_(scratch) {}

  // A candidate must have made exactly `out` bytes of output once it has taken the input before
  // `at`. Damage that leaves the output's size and text sound keeps the decoder in step with the
  // intact stream: it changed a literal or a distance, not how many bits the codes take. So the
  // correction must decode in step with the damaged stream too, and most wrong values fall out
  // of step within a few bytes, long before their text would show anything.
  struct Sync {
    size_t at = 0;
    uint64_t out = 0;
  };

  // Tries every other value at position `p`, from the decoder state `at` (which has taken
  // exactly the input before p). Candidates must decode cleanly up to `check` first, and keep in
  // step when `sync` is given.
  std::optional<uint8_t> TryPosition(const Cursor& at, size_t p, size_t check,
                                     const std::optional<Sync>& sync = std::nullopt) {
    for (int v = 0; v < 256 && !gave_up_; ++v) {
      if (v == part_.data[p]) continue;
      if (TryValue(at, p, static_cast<uint8_t>(v), check, sync)) return static_cast<uint8_t>(v);
    }
    return std::nullopt;
  }

  bool gave_up() const { return gave_up_; }
  void UseReference(const Reference* reference) { reference_ = reference; }

 private:
  enum class Outcome { kSound, kMatch, kWrong };

  // Takes `cost` off the budget; false (and the search gives up) when it is spent.
  bool Spend(uint64_t cost) {
    if (budget_.work < cost) {
      budget_.work = 0;
      gave_up_ = true;
      return false;
    }
    budget_.work -= cost;
    return true;
  }

  // Feeds data[*pos, to), or less once the candidate has made `output_cap` bytes more: kSound
  // while it stays sound, else whether it ended as the part must.
  Outcome Advance(Cursor& c, size_t* pos, size_t to, uint64_t output_cap) {
    const uint64_t out_start = c.out();
    while (*pos < to) {
      const size_t n = std::min(kAdvanceStep, to - *pos);
      const uint64_t before = c.out();
      const Step step = c.Feed(part_.data + *pos, n, part_.expected_size, scratch_);
      if (!Spend((c.out() - before) * (c.tracking_xml() ? kTrackedCost : 1))) {
        return Outcome::kWrong;
      }
      *pos += n;
      if (step == Step::kEnd) {
        const bool match = c.out() == part_.expected_size && c.crc() == part_.expected_crc;
        return match ? Outcome::kMatch : Outcome::kWrong;
      }
      if (step != Step::kOk) return Outcome::kWrong;
      if (c.out() - out_start >= output_cap) break;
    }
    return Outcome::kSound;
  }

  bool Ends(const Cursor& c) const {
    return c.out() == part_.expected_size && c.crc() == part_.expected_crc;
  }

  bool TryValue(const Cursor& at, size_t p, uint8_t value, size_t check,
                const std::optional<Sync>& sync) {
    if (!Spend(kCandidateCost)) return false;
    Cursor c;
    // In step or not is told by the output's size alone: the markup is followed only once the
    // candidate has kept in step, over the output it made meanwhile.
    if (!c.CopyFrom(at, !sync)) {
      gave_up_ = true;
      return false;
    }
    const size_t size = part_.size;
    size_t pos = p + 1;
    if (sync) {
      since_.clear();
      Step step = c.Feed(&value, 1, part_.expected_size, scratch_, &since_);
      if (step == Step::kOk && sync->at > pos) {
        step = c.Feed(part_.data + pos, sync->at - pos, part_.expected_size, scratch_, &since_);
        pos = sync->at;
      }
      if (!Spend(since_.size())) return false;  // not followed as markup
      if (step == Step::kEnd) return Ends(c);
      if (step != Step::kOk || c.out() != sync->out) return false;
      if (!c.TrackXmlFrom(at, since_)) return false;
    } else {
      const Step first = c.Feed(&value, 1, part_.expected_size, scratch_);
      if (first == Step::kEnd) return Ends(c);
      if (first != Step::kOk) return false;
    }
    // Short checks first, bounded in input and in output (a stream of long runs makes much
    // output from little input), then the rest without the markup check.
    const size_t first_end = std::min(size, std::max(check, pos));
    Outcome outcome = Advance(c, &pos, first_end, kFirstOutputCap);
    if (outcome != Outcome::kSound) return outcome == Outcome::kMatch;
    // A candidate that kept in step changed a literal or a distance and decodes to sound text
    // in most cases: a longer look at its markup would rarely tell, only the CRC-32 does.
    if (!sync) {
      outcome = Advance(c, &pos, std::min(size, pos + kSecondCheck), kSecondOutputCap);
      if (outcome != Outcome::kSound) return outcome == Outcome::kMatch;
    }
    c.StopTrackingXml();
    if (sync && reference_ != nullptr) return FinishInStep(c, &pos);
    outcome = Advance(c, &pos, size, UINT64_MAX);
    return outcome == Outcome::kMatch;
  }

  // The rest of a candidate that kept in step, compared with the damaged stream's output as it
  // goes. Once a whole window (32 KiB) of its output equals the damaged output, at an input
  // position where both have made as much, the two decoders are in the same state: the rest of
  // its output is the damaged stream's, and its CRC-32 follows from the parts without decoding
  // them. Wrong values that only changed a digit somewhere end after a window, not the part.
  bool FinishInStep(Cursor& c, size_t* pos) {
    const Reference& ref = *reference_;
    c.CompareWith(reinterpret_cast<const uint8_t*>(ref.output.data()), c.out());
    while (*pos < part_.size) {
      const size_t n = std::min(kAdvanceStep, part_.size - *pos);
      const uint64_t before = c.out();
      const Step step = c.Feed(part_.data + *pos, n, part_.expected_size, scratch_);
      if (!Spend(c.out() - before)) return false;
      *pos += n;
      if (step == Step::kEnd) return Ends(c);
      if (step != Step::kOk) return false;
      if (c.out() - c.differing_end() >= kWindowSize && ref.out_at[*pos] == c.out()) {
        const uint64_t x = c.out();
        const auto rest = static_cast<z_off_t>(part_.expected_size - x);
        const auto crc = static_cast<uint32_t>(crc32_combine(c.crc(), ref.SuffixCrc(x), rest));
        return ref.output.size() == part_.expected_size && crc == part_.expected_crc;
      }
    }
    return false;
  }

  const DeflatedPart& part_;
  RepairBudget& budget_;
  uint8_t* scratch_;
  bool gave_up_ = false;
  std::string since_;  // a candidate's output before it is known to keep in step
  const Reference* reference_ = nullptr;
};

ByteCorrection Corrected(const DeflatedPart& part, size_t p, uint8_t value) {
  ByteCorrection fix;
  fix.found = true;
  fix.offset = p;
  fix.old_value = part.data[p];
  fix.new_value = value;
  return fix;
}

// Tries the positions [lo, at) of the window before `at`, the stretches nearest to `at` first.
ByteCorrection SearchWindow(const DeflatedPart& part, const RepairControl& control,
                            RepairBudget& budget, size_t at, uint8_t* scratch) {
  at = std::min(at, part.size);
  const size_t lo = at > kSearchWindow ? at - kSearchWindow : 0;
  // Saved states at lo, lo + spacing, ...: each has taken exactly the input before it.
  std::vector<std::unique_ptr<Cursor>> saved;
  auto base = std::make_unique<Cursor>();
  if (!base->Start(part.xml)) return {};
  if (lo > 0 && base->Feed(part.data, lo, part.expected_size, scratch) != Step::kOk) return {};
  for (size_t p = lo; p < at; p += kCheckpointSpacing) {
    auto copy = std::make_unique<Cursor>();
    if (!copy->CopyFrom(*base)) return {};
    saved.push_back(std::move(copy));
    const size_t n = std::min(kCheckpointSpacing, at - p);
    if (base->Feed(part.data + p, n, part.expected_size, scratch) != Step::kOk) break;
  }
  Search search(part, budget, scratch);
  const uint64_t total = at - lo;
  uint64_t done = 0;
  for (size_t s = saved.size(); s-- > 0;) {
    const size_t begin = lo + s * kCheckpointSpacing;
    const size_t end = std::min(begin + kCheckpointSpacing, at);
    Cursor& walker = *saved[s];
    for (size_t p = begin; p < end; ++p) {
      if (Stopped(control)) return {};
      Report(control, done++, total);
      if (auto value = search.TryPosition(walker, p, at + kFirstCheck)) {
        return Corrected(part, p, *value);
      }
      if (search.gave_up()) return {};
      if (walker.Feed(part.data + p, 1, part.expected_size, scratch) != Step::kOk) break;
    }
  }
  return {};
}

// Tries every position of a small part, from the start.
ByteCorrection Sweep(const DeflatedPart& part, const RepairControl& control, RepairBudget& budget,
                     uint8_t* scratch) {
  // The damaged stream's output size after each input byte, for the in-step check, and its
  // output (at most kSweepLimit times deflate's largest ratio, about 8 MB).
  Reference ref;
  std::vector<uint64_t>& out_at = ref.out_at;
  out_at.assign(part.size + 1, 0);
  {
    Cursor counter;
    if (!counter.Start(false)) return {};
    for (size_t q = 0; q < part.size; ++q) {
      const Step step = counter.Feed(part.data + q, 1, part.expected_size, scratch, &ref.output);
      out_at[q + 1] = counter.out();
      if (step != Step::kOk) {
        std::fill(out_at.begin() + static_cast<std::ptrdiff_t>(q) + 1, out_at.end(), counter.out());
        break;
      }
    }
    ref.crc = counter.crc();
    uint32_t crc = 0;
    for (size_t at = 0; at <= ref.output.size(); at += Reference::kPrefixStep) {
      ref.prefix_crc.push_back(crc);
      const size_t n = std::min(Reference::kPrefixStep, ref.output.size() - at);
      crc = static_cast<uint32_t>(
          crc32(crc, reinterpret_cast<const Bytef*>(ref.output.data() + at), static_cast<uInt>(n)));
    }
  }
  Cursor walker;
  if (!walker.Start(part.xml)) return {};
  Search search(part, budget, scratch);
  search.UseReference(&ref);
  for (size_t p = 0; p < part.size; ++p) {
    if (Stopped(control)) return {};
    Report(control, p, part.size);
    Search::Sync sync;
    sync.at = std::min(part.size, p + 1 + kSyncSpan);
    sync.out = out_at[sync.at];
    if (auto value = search.TryPosition(walker, p, p + 1 + kSweepCheck, sync)) {
      return Corrected(part, p, *value);
    }
    if (search.gave_up()) return {};
    if (walker.Feed(part.data + p, 1, part.expected_size, scratch) != Step::kOk) break;
  }
  return {};
}

// The CRC-32 of one byte followed by k zero bytes, with no initial or final inversion, is
// table[byte] shifted k times; the shift can be undone because the table's top bytes are all
// different. So the position of a single changed byte is found by undoing shifts of the CRC
// difference until it is one of the 255 table values.
class CrcInverse {
 public:
  CrcInverse() : table_(get_crc_table()) {
    for (int i = 0; i < 256; ++i) top_[table_[i] >> 24] = static_cast<uint8_t>(i);
  }
  uint32_t Unshift(uint32_t c) const {
    const uint8_t j = top_[c >> 24];
    return ((c ^ static_cast<uint32_t>(table_[j])) << 8) | j;
  }
  // The byte value whose table entry is c, or -1.
  int ByteFor(uint32_t c) const {
    const uint8_t j = top_[c >> 24];
    return static_cast<uint32_t>(table_[j]) == c ? j : -1;
  }

 private:
  const z_crc_t* table_;
  std::array<uint8_t, 256> top_{};
};

}  // namespace

namespace {
std::atomic<uint64_t> g_work_per_file{kDefaultRepairWork};
}  // namespace

uint64_t RepairWorkPerFile() {
  return g_work_per_file.load();
}

void SetRepairWorkPerFile(uint64_t work) {
  g_work_per_file.store(work);
}

ByteCorrection FindSingleByteError(uint64_t size, uint32_t actual_crc, uint32_t expected_crc,
                                   const RepairControl& control) {
  ByteCorrection fix;
  const uint32_t difference = actual_crc ^ expected_crc;
  if (difference == 0 || size == 0) return fix;
  static const CrcInverse inverse;
  uint32_t r = difference;
  int matches = 0;
  for (uint64_t k = 0; k < size; ++k) {
    if ((k & 0xFFFFF) == 0 && Stopped(control)) return {};
    const int value = inverse.ByteFor(r);
    if (value > 0) {
      if (++matches > 1) return {};  // ambiguous: nothing is proved
      fix.offset = size - 1 - k;
      fix.new_value = static_cast<uint8_t>(value);
    }
    r = inverse.Unshift(r);
  }
  fix.found = matches == 1;
  return fix;
}

ByteCorrection FindDeflateCorrection(const DeflatedPart& part, const RepairControl& control) {
  if (part.size == 0 || part.size > kMaxRepairInput) return {};
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kScratchSize]);
  if (!scratch) return {};
  RepairBudget own;
  RepairBudget& budget = control.budget != nullptr ? *control.budget : own;
  const Damage damage = Locate(part, scratch.get());
  switch (damage.kind) {
    case Damage::kNone:
    case Damage::kUnusable:
      return {};
    case Damage::kAt: {
      const ByteCorrection fix = SearchWindow(part, control, budget, damage.at, scratch.get());
      if (fix.found || Stopped(control)) return fix;
      // A changed name in a start tag shows only at its end tag, which may lie far past the
      // window; when the stream still decodes to the recorded size it kept in step, and the
      // CRC-32 finds the change wherever it lies.
      uint64_t out = 0;
      uint32_t crc = 0;
      const bool ended = InflateAll(part.data, part.size, [&](const uint8_t* bytes, size_t n) {
        out += n;
        crc = static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(n)));
        return out <= part.expected_size;
      });
      if (!ended || out != part.expected_size) return {};
      return FindInStepCorrection(part, crc, control, budget);
    }
    case Damage::kInvisible:
      break;
  }
  // Only the CRC-32 tells. Most such changes turned a literal into another or a copy's
  // distance into another: the CRC-32 finds which, in a part of any size, at a cost that grows
  // with the part only.
  const ByteCorrection in_step = FindInStepCorrection(part, damage.crc, control, budget);
  if (in_step.found || Stopped(control)) return in_step;
  // When exactly one output byte is wrong the CRC-32 says which, and the changed input byte
  // lies just before the input that produced it.
  const ByteCorrection output_error =
      FindSingleByteError(part.expected_size, damage.crc, part.expected_crc, control);
  if (output_error.found) {
    const size_t at = InputFor(part, output_error.offset, scratch.get());
    const ByteCorrection fix = SearchWindow(part, control, budget, at, scratch.get());
    if (fix.found) return fix;
  }
  // The sweep, slower, finds any other change in a small part.
  if (part.size > kSweepLimit) return {};
  return Sweep(part, control, budget, scratch.get());
}

bool InflateAll(const uint8_t* data, size_t size,
                const std::function<bool(const uint8_t*, size_t)>& sink) {
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kScratchSize]);
  Cursor cursor;
  if (!scratch || !cursor.Start(false)) return false;
  return cursor.Drain(data, size, scratch.get(), sink) == Step::kEnd;
}

}  // namespace velmora
