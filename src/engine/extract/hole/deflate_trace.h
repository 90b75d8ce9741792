// A DEFLATE decoder that tells what each symbol of a raw stream is: a literal byte or a copy
// (length and distance), and where its code lies in the input, bit by bit.
//
// zlib decodes faster but says nothing of the stream's structure; the repairs that reason
// about which output byte came from which code (a changed literal and every later copy of it,
// a restart inside a block whose tables are known) need this one. It makes no output of its
// own: the caller follows the copies in its own window, with whatever it keeps per byte.
//
// Bounded whatever the input: it reads only the bytes it is given (past their end as zero
// bits, which ends the trace as an error), and every symbol consumes at least one bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora::hole {

// One prefix code of a block: canonical, from its code lengths.
class PrefixCode {
 public:
  static constexpr int kMaxSymbols = 320;
  static constexpr int kFastBits = 10;

  // False when the lengths over-subscribe the code space.
  bool Build(const uint8_t* lengths, int n);
  // The symbol whose code begins `next15` (the next 15 bits of the stream, first bit lowest),
  // or -1 when no code does; `bits` gets the code's length.
  int Decode(uint32_t next15, int* bits) const;

  int length_of(int symbol) const { return length_[symbol]; }
  // The code of `symbol` as its bits appear in the stream, first bit lowest.
  uint32_t stream_code_of(int symbol) const { return code_[symbol]; }

 private:
  uint16_t count_[16] = {};
  uint16_t sorted_[kMaxSymbols] = {};
  uint8_t length_[kMaxSymbols] = {};
  uint32_t code_[kMaxSymbols] = {};
  uint16_t fast_[1 << kFastBits] = {};  // (symbol << 4) | length; 0 for a longer code
};

struct TraceSymbol {
  uint64_t bit = 0;      // where the symbol's code starts in the input
  uint64_t end_bit = 0;  // just past its last bit (extra bits included)
  bool copy = false;
  bool stored = false;  // a byte of a stored block (a literal whose "code" is the byte)
  uint8_t literal = 0;  // when !copy
  uint16_t length = 0;  // when copy
  uint16_t distance = 0;
  uint64_t distance_bit = 0;  // where the distance's code starts, when copy
};

enum class TraceStatus { kSymbol, kEnd, kError };

class DeflateTrace {
 public:
  DeflateTrace(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // The next symbol; kEnd after the final block's end, kError where the data is no DEFLATE
  // stream (a bad header or code, a distance before the start of the output, the input ended).
  TraceStatus Next(TraceSymbol* symbol);

  // The literal code of `value` in the block being decoded, as its bits appear in the stream
  // (first bit lowest), and its length; false when the block has no code for it. In a stored
  // block a literal's "code" is its byte.
  bool LiteralCode(uint8_t value, uint32_t* code, int* bits) const;

  // The distance that the `bits` bits of `field` (first bit lowest) give as a distance code and
  // its extra bits in the block being decoded, or 0 when they are no such code or take a
  // different number of bits.
  uint32_t DistanceOf(uint32_t field, int bits) const;

  // Goes on decoding at `bit` in the block being decoded, as if the stream had reached it there,
  // with its tables; the output before is taken to be a whole window long, so that any distance
  // is accepted. False when no block of codes is being decoded.
  bool ResumeAt(uint64_t bit);
  // Decodes a block header at `bit` (its first bit being the final-block flag): false when
  // there is none there.
  bool HeaderAt(uint64_t bit);

  uint64_t bit() const { return bit_; }
  uint64_t output() const { return out_; }

  // Reads `n` <= 32 bits at bit offset `at`, first bit lowest; past the end they read as 0.
  uint32_t Peek(uint64_t at, int n) const;
  uint64_t size_bits() const { return uint64_t{size_} * 8; }

 private:
  enum class State { kHeader, kStored, kCodes, kDone };

  bool ReadHeader();
  bool ReadDynamicTables();
  uint32_t Take(int n) {
    const uint32_t v = Peek(bit_, n);
    bit_ += static_cast<uint64_t>(n);
    return v;
  }
  int DecodeWith(const PrefixCode& code);

  const uint8_t* data_;
  size_t size_;
  uint64_t bit_ = 0;
  uint64_t out_ = 0;
  State state_ = State::kHeader;
  bool final_ = false;
  uint32_t stored_left_ = 0;
  PrefixCode literals_;
  PrefixCode distances_;
};

}  // namespace velmora::hole
