#include "engine/extract/in_step_repair.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <new>
#include <utility>
#include <vector>

#include "engine/extract/hole/deflate_trace.h"
#include "engine/extract/xml_salvage.h"

namespace velmora {
namespace {

using hole::DeflateTrace;
using hole::TraceStatus;
using hole::TraceSymbol;

// zlib's CRC-32 polynomial, reflected: bit 31 stands for x^0, bit 0 for x^31.
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr uint32_t kOne = 1u << 31;  // x^0
constexpr uint64_t kWindow = 32 * 1024;
constexpr uint32_t kLiteral = UINT32_MAX;  // where an output byte was copied from: nowhere
// Work charged, in the budget's units (about a nanosecond each): per output byte of a trace
// (this decoder is slower than zlib's), per byte of a copy's candidate, and per output byte
// of the inflate that checks a correction (5 more when followed as markup).
constexpr uint64_t kTraceCost = 8;
constexpr uint64_t kCandidateByteCost = 4;
constexpr uint64_t kCheckCost = 1;
constexpr uint64_t kTrackedCost = 5;
// Symbols between two looks at the stop flag, the budget and the progress.
constexpr uint64_t kPollEvery = 1 << 14;
// More corrections than this explaining the difference: none is proved.
constexpr size_t kMaxCorrections = 8;

uint32_t TimesX(uint32_t c) {
  return (c & 1u) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
}

uint32_t Multiply(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = kOne; m != 0; m >>= 1) {
    if ((a & m) != 0) product ^= b;
    b = TimesX(b);
  }
  return product;
}

uint32_t Power(uint32_t a, uint64_t n) {
  uint32_t result = kOne;
  while (n != 0) {
    if ((n & 1u) != 0) result = Multiply(result, a);
    a = Multiply(a, a);
    n >>= 1;
  }
  return result;
}

// In the field of 2^32 elements that the irreducible CRC polynomial makes, a^(2^32 - 2) is
// the inverse of a.
uint32_t Inverse(uint32_t a) {
  return Power(a, (uint64_t{1} << 32) - 2);
}

bool Stopped(const RepairControl& control) {
  return control.running != nullptr && control.running->load(std::memory_order_relaxed) == 0;
}

class InStepSearch {
 public:
  InStepSearch(const DeflatedPart& part, const RepairControl& control, RepairBudget& budget)
      : part_(part), control_(control), budget_(budget), table_(get_crc_table()) {}

  ByteCorrection Run(uint32_t actual_crc) {
    difference_ = actual_crc ^ part_.expected_crc;
    if (difference_ == 0 || part_.expected_size == 0) return {};
    if (part_.expected_size > kMaxInStepOutput) return {};
    if (!SumFactors()) return {};
    WantLiteralFactors();
    // First every change of a literal and every one-bit change of a distance, the likeliest
    // damage; then, when none of them explains the difference, the changes of several bits of a
    // distance, which are many more candidates.
    for (const bool several_bits : {false, true}) {
      corrections_.clear();
      if (!TryCandidates(several_bits)) return {};
      std::vector<ByteCorrection> proved;
      for (const ByteCorrection& fix : corrections_) {
        const int verdict = Check(fix);
        if (verdict < 0) return {};  // stopped or out of budget
        if (verdict > 0) proved.push_back(fix);
      }
      if (!proved.empty()) return proved.size() == 1 ? proved[0] : ByteCorrection();
    }
    return {};
  }

 private:
  bool Spend(uint64_t cost) {
    if (budget_.work < cost) {
      budget_.work = 0;
      return false;
    }
    budget_.work -= cost;
    return true;
  }

  bool Poll(const DeflateTrace& trace, uint64_t pass) {
    if (Stopped(control_)) return false;
    if (control_.progress) control_.progress(pass * part_.size + trace.bit() / 8, 2 * part_.size);
    const uint64_t out = trace.output();
    const bool paid = Spend((out - charged_) * kTraceCost);
    charged_ = out;
    return paid;
  }

  // c * x^8: one zero byte appended to a CRC with no initial or final terms.
  uint32_t TimesX8(uint32_t c) const { return (c >> 8) ^ static_cast<uint32_t>(table_[c & 0xFF]); }

  // Records where each output byte was copied from, then, from the end back, sums into each
  // position its own x^(8(N-1-q)) and the sums of the positions copied from it.
  bool SumFactors() {
    const uint64_t n = part_.expected_size;
    std::vector<uint32_t> source;
    try {
      source.resize(n);
    } catch (const std::bad_alloc&) {
      return false;
    }
    DeflateTrace trace(part_.data, part_.size);
    charged_ = 0;
    uint64_t q = 0;
    TraceSymbol s;
    for (uint64_t count = 0;; ++count) {
      if (count % kPollEvery == 0 && !Poll(trace, 0)) return false;
      const TraceStatus status = trace.Next(&s);
      if (status == TraceStatus::kEnd) break;
      if (status == TraceStatus::kError) return false;
      if (!s.copy) {
        if (q >= n) return false;
        source[q++] = kLiteral;
        continue;
      }
      if (q + s.length > n) return false;
      for (uint32_t i = 0; i < s.length; ++i, ++q)
        source[q] = static_cast<uint32_t>(q - s.distance);
    }
    if (q != n || !Poll(trace, 0)) return false;
    try {
      factor_.assign(n, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    uint32_t power = kOne;
    for (uint64_t p = n; p-- > 0;) {
      factor_[p] ^= power;
      if (source[p] != kLiteral) factor_[source[p]] ^= factor_[p];
      power = TimesX8(power);
    }
    return true;
  }

  // For each change e of one byte, the factor that would explain the difference.
  void WantLiteralFactors() {
    for (int e = 1; e < 256; ++e) {
      wanted_[e - 1] = {Multiply(difference_, Inverse(static_cast<uint32_t>(table_[e]))),
                        static_cast<uint8_t>(e)};
    }
    std::sort(wanted_.begin(), wanted_.end());
  }

  void Add(uint64_t byte, uint8_t mask) {
    ByteCorrection fix;
    fix.found = true;
    fix.offset = byte;
    fix.old_value = part_.data[byte];
    fix.new_value = static_cast<uint8_t>(fix.old_value ^ mask);
    corrections_.push_back(fix);
  }

  // The literal at q: each change whose factor explains the difference, when the corrected
  // value's code has the same length and differs from the present one within one byte.
  void TryLiteral(const DeflateTrace& trace, const TraceSymbol& s, uint64_t q) {
    const uint32_t f = factor_[q];
    auto it = std::lower_bound(wanted_.begin(), wanted_.end(), std::make_pair(f, uint8_t{0}));
    for (; it != wanted_.end() && it->first == f; ++it) {
      const uint8_t value = static_cast<uint8_t>(s.literal ^ it->second);
      uint32_t code_now = 0;
      uint32_t code_then = 0;
      int bits_now = 0;
      int bits_then = 0;
      if (!trace.LiteralCode(s.literal, &code_now, &bits_now) ||
          !trace.LiteralCode(value, &code_then, &bits_then) || bits_now != bits_then) {
        continue;
      }
      const uint32_t flip = code_now ^ code_then;
      const uint64_t first = s.bit + static_cast<uint64_t>(__builtin_ctz(flip));
      const uint64_t last = s.bit + 31 - static_cast<uint64_t>(__builtin_clz(flip));
      if (first / 8 != last / 8) continue;  // more than one byte would have to change
      // The flipped bits placed in the bytes from the one the code starts in, then taken from
      // the one byte that holds them all.
      const uint64_t placed = uint64_t{flip} << (s.bit % 8);
      Add(first / 8, static_cast<uint8_t>(placed >> (8 * (first / 8 - s.bit / 8))));
    }
  }

  // The CRC-32 change of XORing byte e into the output at a position of factor f (and into its
  // copies) is f * crc(e) = f * x^(39 - j) summed over the bits j of e: basis[7 - j] below.
  void Basis(uint32_t f, uint32_t* basis) const {
    uint32_t h = TimesX8(TimesX8(TimesX8(TimesX8(f))));  // f * x^32
    for (int k = 0; k < 8; ++k, h = TimesX(h)) basis[k] = h;
  }

  // The copy at q: each change of the bits under its distance, within one byte, that gives
  // another distance of as many bits, its output change summed from the factors of the copy's
  // bytes. One-bit changes, or changes of several bits.
  bool TryCopy(const DeflateTrace& trace, const TraceSymbol& s, uint64_t q, bool several_bits) {
    const int bits = static_cast<int>(s.end_bit - s.distance_bit);
    const uint32_t field = trace.Peek(s.distance_bit, bits);
    uint8_t old_bytes[258];
    uint8_t new_bytes[258];
    for (uint32_t i = 0; i < s.length; ++i) {
      old_bytes[i] =
          i >= s.distance ? old_bytes[i - s.distance] : ring_[(q + i - s.distance) % kWindow];
    }
    bool have_tables = false;
    uint32_t unchanged = 0;  // the sum over the present bytes, which every candidate takes off
    uint64_t tried = 0;
    for (uint64_t byte = s.distance_bit / 8; byte * 8 < s.end_bit; ++byte) {
      const uint64_t from = std::max(s.distance_bit, byte * 8);
      const uint64_t to = std::min(s.end_bit, byte * 8 + 8);
      const auto shift = static_cast<int>(from - s.distance_bit);
      const uint32_t in_byte = ((1u << (to - from)) - 1) << shift;
      for (uint32_t flip = in_byte; flip != 0; flip = (flip - 1) & in_byte) {
        if (((flip & (flip - 1)) != 0) != several_bits) continue;
        const uint32_t distance = trace.DistanceOf(field ^ flip, bits);
        if (distance == 0 || distance == s.distance || distance > q) continue;
        ++tried;
        if (!have_tables) {
          // Per byte of the copy, the change of the CRC-32 for each of its 256 values.
          for (uint32_t i = 0; i < s.length; ++i) {
            uint32_t basis[8];
            Basis(factor_[q + i], basis);
            uint32_t* t = tables_[i].data();
            t[0] = 0;
            for (uint32_t v = 1; v < 256; ++v) {
              t[v] = t[v & (v - 1)] ^ basis[7 - __builtin_ctz(v)];
            }
            unchanged ^= t[old_bytes[i]];
          }
          have_tables = true;
        }
        uint32_t change = unchanged;
        for (uint32_t i = 0; i < s.length; ++i) {
          new_bytes[i] =
              i >= distance ? new_bytes[i - distance] : ring_[(q + i - distance) % kWindow];
          change ^= tables_[i][new_bytes[i]];
        }
        if (change != difference_) continue;
        const uint32_t byte_flip =
            byte * 8 >= s.distance_bit ? flip >> shift : flip << (s.distance_bit - byte * 8);
        Add(byte, static_cast<uint8_t>(byte_flip));
      }
    }
    return Spend((tried + (have_tables ? 64 : 0)) * s.length * kCandidateByteCost);
  }

  // Decodes the stream again, trying the literals and copies as it goes.
  bool TryCandidates(bool several_bits) {
    try {
      ring_.assign(kWindow, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    DeflateTrace trace(part_.data, part_.size);
    charged_ = 0;
    uint64_t q = 0;
    TraceSymbol s;
    for (uint64_t count = 0;; ++count) {
      if (count % kPollEvery == 0 && !Poll(trace, 1)) return false;
      const TraceStatus status = trace.Next(&s);
      if (status != TraceStatus::kSymbol) break;
      if (!s.copy) {
        if (!several_bits) TryLiteral(trace, s, q);
        ring_[q++ % kWindow] = s.literal;
      } else {
        if (!TryCopy(trace, s, q, several_bits)) return false;
        for (uint32_t i = 0; i < s.length; ++i, ++q)
          ring_[q % kWindow] = ring_[(q - s.distance) % kWindow];
      }
      if (corrections_.size() > kMaxCorrections) return false;
    }
    return true;
  }

  // 1 when the corrected part inflates to the recorded size and CRC-32 (and sound XML), 0 when
  // not, -1 when stopped or out of budget.
  int Check(const ByteCorrection& fix) {
    const uint64_t cost = part_.expected_size * (kCheckCost + (part_.xml ? kTrackedCost : 0));
    if (Stopped(control_) || !Spend(cost)) return -1;
    std::vector<uint8_t> data(part_.data, part_.data + part_.size);
    data[fix.offset] = fix.new_value;
    uint64_t out = 0;
    uint32_t crc = 0;
    XmlTracker xml;
    const bool ended = InflateAll(data.data(), data.size(), [&](const uint8_t* bytes, size_t n) {
      out += n;
      if (out > part_.expected_size) return false;
      crc = static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(n)));
      if (part_.xml) xml.Feed(bytes, n);
      return !xml.damaged();
    });
    return ended && out == part_.expected_size && crc == part_.expected_crc ? 1 : 0;
  }

  const DeflatedPart& part_;
  const RepairControl& control_;
  RepairBudget& budget_;
  const z_crc_t* table_;
  uint32_t difference_ = 0;
  std::vector<uint32_t> factor_;  // per output position
  std::array<std::pair<uint32_t, uint8_t>, 255> wanted_{};
  std::vector<uint8_t> ring_;  // the last 32 KiB of the damaged output
  std::vector<std::array<uint32_t, 256>> tables_ = std::vector<std::array<uint32_t, 256>>(258);
  std::vector<ByteCorrection> corrections_;
  uint64_t charged_ = 0;
};

}  // namespace

ByteCorrection FindInStepCorrection(const DeflatedPart& part, uint32_t actual_crc,
                                    const RepairControl& control, RepairBudget& budget) {
  if (part.size == 0 || part.size > kMaxRepairInput) return {};
  try {
    InStepSearch search(part, control, budget);
    return search.Run(actual_crc);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace velmora
