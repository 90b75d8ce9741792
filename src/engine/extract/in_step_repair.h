// One changed byte found from the CRC-32 alone, in a deflated part of any size, when the
// damaged stream still decodes to the recorded size (often as well-formed XML).
//
// Such a change kept the decoder in step: it turned a literal's code into another code of the
// same length, or a copy's distance into another distance of as many bits. The output then
// differs from the original in that literal, or in the bytes of that copy, and in every later
// copy of them (copies of copies included). The CRC-32 is linear: the difference of two
// CRC-32 values of equal-length data is the CRC of their XOR, with the initial and final terms
// cancelled, and a change e at output position q with its copies at q2, q3, ... changes the
// CRC-32 of N bytes by
//   crc(e) * (x^(8(N-1-q)) + x^(8(N-1-q2)) + ...)   modulo the CRC polynomial.
// One decode records where each output byte was copied from; one pass backwards sums the
// bracket, the position's "factor", for every output position. Then:
// - a literal: the polynomial is irreducible, so for each of the 255 changes e the factor that
//   would explain the observed difference is found by one division; literals with that factor
//   are looked up, and the code of the corrected value must have the same length and differ
//   from the present one within one byte;
// - a copy: every value of each byte under its distance's bits that gives another distance of
//   the same number of bits is tried; its difference is summed from the factors of the copy's
//   bytes without decoding anything again.
// Each correction that explains the difference is checked by inflating the corrected stream
// whole: only a unique one that gives the recorded size and CRC-32 (and, for an XML part, XML
// that stays sound) is accepted. Changes that alter a copy's length, or the codes of two
// symbols at once, are not searched here.
//
// A wrong correction matches the CRC-32 by chance with odds of about (candidates) / 2^32, some
// 255 per literal and a few hundred per copy: for a part of megabytes that is not negligible,
// which is why a match is accepted only when it is the only one and the markup stays sound.
//
// Memory: 8 bytes per output byte while the factors are summed, 4 after; parts whose output
// is larger than kMaxInStepOutput are not searched.
#pragma once

#include <cstdint>

#include "engine/extract/byte_repair.h"

namespace velmora {

inline constexpr uint64_t kMaxInStepOutput = uint64_t{64} << 20;

// The one byte of `part` whose change explains why its stream decodes to the recorded size
// with CRC-32 `actual_crc` rather than the recorded one. Not found when none or several do,
// the budget runs out, or the search stops.
ByteCorrection FindInStepCorrection(const DeflatedPart& part, uint32_t actual_crc,
                                    const RepairControl& control, RepairBudget& budget);

}  // namespace velmora
