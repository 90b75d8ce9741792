#include "engine/extract/hole/deflate_trace.h"

#include <algorithm>
#include <iterator>

namespace velmora::hole {
namespace {

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the code lengths of the code-length code are sent.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

uint32_t Reverse(uint32_t code, int bits) {
  uint32_t r = 0;
  for (int i = 0; i < bits; ++i) r |= ((code >> i) & 1u) << (bits - 1 - i);
  return r;
}

}  // namespace

bool PrefixCode::Build(const uint8_t* lengths, int n) {
  std::fill(std::begin(count_), std::end(count_), uint16_t{0});
  std::fill(std::begin(fast_), std::end(fast_), uint16_t{0});
  std::fill(std::begin(length_), std::end(length_), uint8_t{0});
  for (int s = 0; s < n; ++s) {
    length_[s] = lengths[s];
    ++count_[lengths[s]];
  }
  count_[0] = 0;
  int left = 1;
  for (int len = 1; len < 16; ++len) {
    left = (left << 1) - count_[len];
    if (left < 0) return false;  // over-subscribed
  }
  // Where each length's symbols start in the list sorted by length, and its first code.
  uint16_t at[16] = {};
  uint32_t next_code[16] = {};
  uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    if (len > 1) at[len] = static_cast<uint16_t>(at[len - 1] + count_[len - 1]);
    code = (code + count_[len - 1]) << 1;
    next_code[len] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    sorted_[at[len]++] = static_cast<uint16_t>(s);
    code_[s] = Reverse(next_code[len]++, len);
    if (len <= kFastBits) {
      for (uint32_t fill = code_[s]; fill < (1u << kFastBits); fill += 1u << len) {
        fast_[fill] = static_cast<uint16_t>((s << 4) | len);
      }
    }
  }
  return true;
}

int PrefixCode::Decode(uint32_t next15, int* bits) const {
  const uint16_t entry = fast_[next15 & ((1u << kFastBits) - 1)];
  if (entry != 0) {
    *bits = entry & 15;
    return entry >> 4;
  }
  // Canonical decoding one bit at a time: codes of one length are consecutive numbers.
  int code = 0;
  int first = 0;
  int index = 0;
  for (int len = 1; len < 16; ++len) {
    code |= static_cast<int>((next15 >> (len - 1)) & 1u);
    const int count = count_[len];
    if (code - first < count) {
      *bits = len;
      return sorted_[index + code - first];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return -1;
}

uint32_t DeflateTrace::Peek(uint64_t at, int n) const {
  const uint64_t byte = at >> 3;
  uint64_t v = 0;
  for (uint64_t i = 0; i < 5 && byte + i < size_; ++i) v |= uint64_t{data_[byte + i]} << (8 * i);
  return static_cast<uint32_t>((v >> (at & 7)) & ((uint64_t{1} << n) - 1));
}

int DeflateTrace::DecodeWith(const PrefixCode& code) {
  int bits = 0;
  const int symbol = code.Decode(Peek(bit_, 15), &bits);
  if (symbol >= 0) bit_ += static_cast<uint64_t>(bits);
  return symbol;
}

bool DeflateTrace::ReadDynamicTables() {
  const int nlen = static_cast<int>(Take(5)) + 257;
  const int ndist = static_cast<int>(Take(5)) + 1;
  const int ncode = static_cast<int>(Take(4)) + 4;
  if (nlen > 286 || ndist > 30) return false;
  uint8_t lengths[320] = {};
  for (int i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(Take(3));
  PrefixCode code_lengths;
  if (!code_lengths.Build(lengths, 19)) return false;
  std::fill(std::begin(lengths), std::end(lengths), uint8_t{0});
  int index = 0;
  while (index < nlen + ndist) {
    const int symbol = DecodeWith(code_lengths);
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[index++] = static_cast<uint8_t>(symbol);
      continue;
    }
    uint8_t value = 0;
    int repeat = 0;
    if (symbol == 16) {
      if (index == 0) return false;
      value = lengths[index - 1];
      repeat = 3 + static_cast<int>(Take(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(Take(3));
    } else {
      repeat = 11 + static_cast<int>(Take(7));
    }
    if (index + repeat > nlen + ndist) return false;
    while (repeat-- > 0) lengths[index++] = value;
  }
  if (lengths[256] == 0) return false;  // no end-of-block code
  return literals_.Build(lengths, nlen) && distances_.Build(lengths + nlen, ndist);
}

bool DeflateTrace::ReadHeader() {
  final_ = Take(1) != 0;
  const uint32_t type = Take(2);
  if (type == 0) {
    bit_ = (bit_ + 7) & ~uint64_t{7};
    const uint32_t len = Take(16);
    const uint32_t nlen = Take(16);
    if ((len ^ 0xFFFFu) != nlen) return false;
    stored_left_ = len;
    state_ = State::kStored;
    return true;
  }
  if (type == 1) {
    uint8_t lengths[320];
    std::fill(lengths, lengths + 144, uint8_t{8});
    std::fill(lengths + 144, lengths + 256, uint8_t{9});
    std::fill(lengths + 256, lengths + 280, uint8_t{7});
    std::fill(lengths + 280, lengths + 288, uint8_t{8});
    std::fill(lengths + 288, lengths + 318, uint8_t{5});
    literals_.Build(lengths, 288);
    distances_.Build(lengths + 288, 30);
    state_ = State::kCodes;
    return true;
  }
  if (type == 2 && ReadDynamicTables()) {
    state_ = State::kCodes;
    return true;
  }
  return false;
}

TraceStatus DeflateTrace::Next(TraceSymbol* s) {
  for (;;) {
    if (bit_ > size_bits()) return TraceStatus::kError;  // read past the input's end
    switch (state_) {
      case State::kDone:
        return TraceStatus::kEnd;
      case State::kHeader:
        if (!ReadHeader()) return TraceStatus::kError;
        continue;
      case State::kStored:
        if (stored_left_ == 0) {
          state_ = final_ ? State::kDone : State::kHeader;
          continue;
        }
        if (bit_ + 8 > size_bits()) return TraceStatus::kError;
        *s = TraceSymbol();
        s->bit = bit_;
        s->stored = true;
        s->literal = static_cast<uint8_t>(Take(8));
        s->end_bit = bit_;
        --stored_left_;
        ++out_;
        return TraceStatus::kSymbol;
      case State::kCodes: {
        *s = TraceSymbol();
        s->bit = bit_;
        const int symbol = DecodeWith(literals_);
        if (symbol < 0 || symbol > 285) return TraceStatus::kError;
        if (symbol < 256) {
          s->literal = static_cast<uint8_t>(symbol);
          s->end_bit = bit_;
          if (bit_ > size_bits()) return TraceStatus::kError;
          ++out_;
          return TraceStatus::kSymbol;
        }
        if (symbol == 256) {
          state_ = final_ ? State::kDone : State::kHeader;
          continue;
        }
        const int l = symbol - 257;
        const uint64_t length_end = bit_ + kLengthExtra[l];
        const uint32_t length = kLengthBase[l] + Take(kLengthExtra[l]);
        s->distance_bit = length_end;
        const int d = DecodeWith(distances_);
        if (d < 0 || d >= 30) return TraceStatus::kError;
        const uint32_t distance = kDistanceBase[d] + Take(kDistanceExtra[d]);
        if (distance > out_ || bit_ > size_bits()) return TraceStatus::kError;
        s->copy = true;
        s->length = static_cast<uint16_t>(length);
        s->distance = static_cast<uint16_t>(distance);
        s->end_bit = bit_;
        out_ += length;
        return TraceStatus::kSymbol;
      }
    }
  }
}

uint32_t DeflateTrace::DistanceOf(uint32_t field, int bits) const {
  int code_bits = 0;
  const int d = distances_.Decode(field & 0x7FFF, &code_bits);
  if (d < 0 || d >= 30 || code_bits + kDistanceExtra[d] != bits) return 0;
  const uint32_t extra = (field >> code_bits) & ((1u << kDistanceExtra[d]) - 1);
  return kDistanceBase[d] + extra;
}

bool DeflateTrace::ResumeAt(uint64_t bit) {
  if (state_ != State::kCodes) return false;
  bit_ = bit;
  out_ = std::max<uint64_t>(out_, 32768);
  return true;
}

bool DeflateTrace::HeaderAt(uint64_t bit) {
  bit_ = bit;
  out_ = std::max<uint64_t>(out_, 32768);
  state_ = State::kHeader;
  return ReadHeader() && bit_ <= size_bits();
}

bool DeflateTrace::LiteralCode(uint8_t value, uint32_t* code, int* bits) const {
  if (state_ == State::kStored) {
    *code = value;
    *bits = 8;
    return true;
  }
  *bits = literals_.length_of(value);
  *code = literals_.stream_code_of(value);
  return *bits != 0;
}

}  // namespace velmora::hole
