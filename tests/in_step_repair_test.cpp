// The symbol decoder that the repairs reason with, held against zlib; and one changed literal
// found from the CRC-32 alone in deflated XML parts far larger than the sweep's limit, where
// the change leaves the XML well-formed and the size right.
#include "engine/extract/in_step_repair.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine/extract/hole/deflate_trace.h"
#include "engine/extract/xml_salvage.h"
#include "extraction_fixtures.h"

namespace velmora {
namespace {

using extraction_test::NoiseBytes;
using extraction_test::RawDeflate;
using extraction_test::VariedSheetXml;

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// What the trace's symbols make, or "<error>".
std::string Traced(const std::string& stream) {
  hole::DeflateTrace trace(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  std::string out;
  hole::TraceSymbol s;
  for (;;) {
    const hole::TraceStatus status = trace.Next(&s);
    if (status == hole::TraceStatus::kEnd) return out;
    if (status == hole::TraceStatus::kError) return "<error>";
    if (!s.copy) {
      out += static_cast<char>(s.literal);
      continue;
    }
    for (int i = 0; i < s.length; ++i) out += out[out.size() - s.distance];
  }
}

std::string Inflated(const std::string& stream) {
  std::string out;
  const bool ended = InflateAll(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(),
                                [&](const uint8_t* data, size_t n) {
                                  out.append(reinterpret_cast<const char*>(data), n);
                                  return true;
                                });
  return ended ? out : "<broken>";
}

std::string Deflated(const std::string& data, int level, int strategy) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(DeflateTrace, DecodesWhatZlibWrote) {
  const std::string xml = VariedSheetXml(3000, 5);
  const std::string noise = NoiseBytes(70000, 3);
  struct Case {
    const char* what;
    std::string plain;
    int level;
    int strategy;
  };
  const Case cases[] = {
      {"dynamic blocks", xml, 6, Z_DEFAULT_STRATEGY},
      {"best compression", xml, 9, Z_DEFAULT_STRATEGY},
      {"fixed codes", xml, 6, Z_FIXED},
      {"stored blocks", xml, 0, Z_DEFAULT_STRATEGY},
      {"runs only", xml, 6, Z_RLE},
      {"literals only", xml, 6, Z_HUFFMAN_ONLY},
      {"noise", noise, 6, Z_DEFAULT_STRATEGY},
      {"empty", "", 6, Z_DEFAULT_STRATEGY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string stream = Deflated(c.plain, c.level, c.strategy);
    EXPECT_TRUE(Traced(stream) == c.plain);
  }
  // Cut short, or with a broken header: an error, never output past the damage.
  const std::string stream = Deflated(xml, 6, Z_DEFAULT_STRATEGY);
  EXPECT_EQ(Traced(stream.substr(0, stream.size() / 2)), "<error>");
  EXPECT_EQ(Traced(std::string(1, '\x07') + stream.substr(1)), "<error>");  // block type 3
}

// A bit flip near `from` (or after it) whose damage stays invisible: the stream decodes to the
// recorded size as XML that stays sound, only the CRC-32 differs. -1 when none is found soon.
long FindInvisibleFlip(const std::string& stream, const std::string& plain, size_t from,
                       uint8_t* mask) {
  for (size_t at = from; at < stream.size() && at < from + 400; ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string damaged = stream;
      damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
      const std::string out = Inflated(damaged);
      if (out.size() != plain.size() || out == plain) continue;
      XmlTracker xml;
      xml.Feed(reinterpret_cast<const uint8_t*>(out.data()), out.size());
      if (!xml.IsWholeDocument()) continue;
      *mask = static_cast<uint8_t>(1 << bit);
      return static_cast<long>(at);
    }
  }
  return -1;
}

// Parts of about 60 KB and 230 KB compressed, each with invisible damage at several places:
// every one is undone exactly, by the general entry point.
TEST(InStepRepair, AnInvisibleChangeInALargePartIsUndone) {
  for (size_t rows : {2000u, 8000u}) {
    const std::string xml = VariedSheetXml(rows, static_cast<uint32_t>(rows));
    const std::string stream = RawDeflate(xml);
    ASSERT_GT(stream.size(), kSweepLimit);
    for (double where : {0.05, 0.5, 0.93}) {
      SCOPED_TRACE(std::to_string(rows) + " rows, at " + std::to_string(where));
      uint8_t mask = 0;
      const long at =
          FindInvisibleFlip(stream, xml, static_cast<size_t>(where * stream.size()), &mask);
      ASSERT_GE(at, 0);
      std::string damaged = stream;
      damaged[at] = static_cast<char>(damaged[at] ^ mask);
      DeflatedPart part;
      part.data = reinterpret_cast<const uint8_t*>(damaged.data());
      part.size = damaged.size();
      part.expected_size = static_cast<uint32_t>(xml.size());
      part.expected_crc = Crc(xml);
      part.xml = true;
      const ByteCorrection fix = FindDeflateCorrection(part, RepairControl());
      ASSERT_TRUE(fix.found);
      EXPECT_EQ(fix.offset, static_cast<uint64_t>(at));
      EXPECT_EQ(fix.new_value, static_cast<uint8_t>(stream[at]));
    }
  }
}

// Without budget, when stopped, and where the CRC-32 recorded is not the data's at all: nothing.
TEST(InStepRepair, NothingIsFoundWithoutProof) {
  const std::string xml = VariedSheetXml(2000, 9);
  const std::string stream = RawDeflate(xml);
  uint8_t mask = 0;
  const long at = FindInvisibleFlip(stream, xml, stream.size() / 2, &mask);
  ASSERT_GE(at, 0);
  std::string damaged = stream;
  damaged[at] = static_cast<char>(damaged[at] ^ mask);
  DeflatedPart part;
  part.data = reinterpret_cast<const uint8_t*>(damaged.data());
  part.size = damaged.size();
  part.expected_size = static_cast<uint32_t>(xml.size());
  part.expected_crc = Crc(xml);
  part.xml = true;
  const uint32_t actual = Crc(Inflated(damaged));

  RepairBudget none;
  none.work = 0;
  EXPECT_FALSE(FindInStepCorrection(part, actual, {}, none).found);
  JobRunning stopped{0};
  RepairControl stop;
  stop.running = &stopped;
  RepairBudget budget;
  EXPECT_FALSE(FindInStepCorrection(part, actual, stop, budget).found);
  // Two literals changed: no one byte explains the difference.
  const long second = FindInvisibleFlip(damaged, xml, stream.size() / 5, &mask);
  ASSERT_GE(second, 0);
  std::string twice = damaged;
  twice[second] = static_cast<char>(twice[second] ^ mask);
  part.data = reinterpret_cast<const uint8_t*>(twice.data());
  EXPECT_FALSE(FindInStepCorrection(part, Crc(Inflated(twice)), {}, budget).found);
  // Progress moves over both passes, within their total.
  part.data = reinterpret_cast<const uint8_t*>(damaged.data());
  uint64_t last_done = 0;
  uint64_t last_total = 0;
  RepairControl watched;
  watched.progress = [&](uint64_t done, uint64_t total) {
    EXPECT_LE(done, total);
    last_done = done;
    last_total = total;
  };
  RepairBudget fresh;
  EXPECT_TRUE(FindInStepCorrection(part, actual, watched, fresh).found);
  EXPECT_EQ(last_total, 2 * part.size);
  EXPECT_GT(last_done, part.size);
}

}  // namespace
}  // namespace velmora
