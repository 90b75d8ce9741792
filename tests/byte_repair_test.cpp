// One changed byte found and undone: in deflated XML, deflated binary data and stored data; and
// the bounds a search keeps (stop flag, budget, data that is no DEFLATE stream at all).
#include "engine/extract/byte_repair.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine/extract/entry_extractor.h"
#include "extraction_fixtures.h"

namespace velmora {
namespace {

using extraction_test::NoiseBytes;
using extraction_test::RawDeflate;
using extraction_test::ReadBytes;
using extraction_test::ScratchFolder;
using extraction_test::TempFolderRedirect;
using extraction_test::WriteBytes;
using extraction_test::XmlLikeText;

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// XmlLikeText may end inside a tag; cut it at its last row so the document stays well-formed.
std::string WellFormedDocument(size_t body) {
  std::string rows = XmlLikeText(body);
  rows.resize(rows.rfind("</table:table-row>") + 18);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
         "xmlns:office=\"urn:o\" xmlns:table=\"urn:t\" xmlns:text=\"urn:x\"><office:body>" +
         rows + "</office:body></office:document-content>";
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

ByteCorrection Search(const std::string& stream, const std::string& plain, bool xml,
                      const RepairControl& control = RepairControl()) {
  DeflatedPart part;
  part.data = reinterpret_cast<const uint8_t*>(stream.data());
  part.size = stream.size();
  part.expected_size = static_cast<uint32_t>(plain.size());
  part.expected_crc = Crc(plain);
  part.xml = xml;
  return FindDeflateCorrection(part, control);
}

struct ChangeCase {
  const char* what;
  std::string plain;
  std::string stream;
  bool xml;
  double where;      // position of the change, as a fraction of the stream
  uint8_t xor_mask;  // what the change does to the byte
};

// Whatever the change, a correction that is found gives back the plain data exactly; these
// changes must all be found.
TEST(ByteRepair, AChangedByteInDeflatedDataIsUndone) {
  const std::string xml = WellFormedDocument(60000);
  const std::string xml_stream = RawDeflate(xml);
  const std::string small = WellFormedDocument(3000);
  const std::string small_stream = RawDeflate(small);
  const std::string noise = NoiseBytes(3000);
  const std::string stored_blocks = RawDeflate(noise, 0);  // stored blocks: every change invisible
  const ChangeCase cases[] = {
      {"xml, early", xml, xml_stream, true, 0.1, 0x10},
      {"xml, middle", xml, xml_stream, true, 0.5, 0x01},
      {"xml, late", xml, xml_stream, true, 0.9, 0x80},
      {"xml, whole byte replaced", xml, xml_stream, true, 0.37, 0xFF},
      {"small xml, middle", small, small_stream, true, 0.5, 0x04},
      {"noise in stored blocks", noise, stored_blocks, false, 0.6, 0x20},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = c.stream;
    const size_t at = static_cast<size_t>(c.where * static_cast<double>(damaged.size()));
    damaged[at] = static_cast<char>(damaged[at] ^ c.xor_mask);
    const ByteCorrection fix = Search(damaged, c.plain, c.xml);
    ASSERT_TRUE(fix.found);
    EXPECT_EQ(fix.old_value, static_cast<uint8_t>(damaged[fix.offset]));
    std::string repaired = damaged;
    repaired[fix.offset] = static_cast<char>(fix.new_value);
    EXPECT_EQ(Inflated(repaired), c.plain);
  }
}

// Every byte of a small deflated XML part changed in turn, each by a different mask: every
// change that alters the output is undone exactly. Damage that shows at the very end of the
// search window, or in the last byte of the stream, is the case a window one short would miss.
TEST(ByteRepair, EveryByteOfASmallPartIsUndone) {
  const std::string xml = extraction_test::VariedSheetXml(25, 4);
  const std::string stream = RawDeflate(xml);
  ASSERT_GT(stream.size(), 800u);
  size_t changed = 0;
  std::vector<size_t> missed;
  for (size_t at = 0; at < stream.size(); ++at) {
    std::string damaged = stream;
    // Not the first bit, which marks the last block: a stream told otherwise decodes whole and
    // then asks for more, and nothing before its end explains that.
    damaged[at] = static_cast<char>(damaged[at] ^ (1u << ((at + 1) % 8)));
    if (Inflated(damaged) == xml) continue;  // a padding bit: nothing to undo
    ++changed;
    const ByteCorrection fix = Search(damaged, xml, true);
    std::string repaired = damaged;
    if (fix.found) repaired[fix.offset] = static_cast<char>(fix.new_value);
    if (!fix.found || Inflated(repaired) != xml) missed.push_back(at);
  }
  EXPECT_GT(changed, stream.size() - 8);
  EXPECT_EQ(missed, std::vector<size_t>{});
}

TEST(ByteRepair, NothingIsFoundWhereNothingIsProved) {
  const std::string xml = WellFormedDocument(20000);
  const std::string stream = RawDeflate(xml);
  // Intact: nothing to correct.
  EXPECT_FALSE(Search(stream, xml, true).found);
  // Two changes far apart: no single byte explains them.
  std::string twice = stream;
  twice[stream.size() / 4] ^= 0x11;
  twice[3 * stream.size() / 4] ^= 0x11;
  const ByteCorrection fix = Search(twice, xml, true);
  EXPECT_FALSE(fix.found);
  // A stream cut short: its bytes are missing, not changed.
  EXPECT_FALSE(Search(stream.substr(0, stream.size() / 2), xml, true).found);
}

TEST(ByteRepair, TheSearchStopsAndStaysWithinItsBudget) {
  const std::string xml = WellFormedDocument(20000);
  std::string damaged = RawDeflate(xml);
  damaged[damaged.size() / 2] ^= 0x08;

  JobRunning stopped{0};
  RepairControl stop;
  stop.running = &stopped;
  EXPECT_FALSE(Search(damaged, xml, true, stop).found);

  RepairBudget none;
  none.work = 0;
  RepairControl starved;
  starved.budget = &none;
  EXPECT_FALSE(Search(damaged, xml, true, starved).found);

  // Progress runs over the positions of the window, and what is tried comes off the budget.
  RepairBudget budget;
  const uint64_t before = budget.work;
  uint64_t calls = 0;
  uint64_t last_total = 0;
  RepairControl watched;
  watched.budget = &budget;
  watched.progress = [&](uint64_t done, uint64_t total) {
    EXPECT_LT(done, total);
    ++calls;
    last_total = total;
  };
  ASSERT_TRUE(Search(damaged, xml, true, watched).found);
  EXPECT_GT(calls, 0u);
  // The damage lies well past the first kSearchWindow bytes: the whole window is searched, up
  // to and including the byte just before the point where decoding went wrong.
  EXPECT_EQ(last_total, kSearchWindow);
  EXPECT_GE(before - budget.work, (calls - 1) * 255 * 1024);
}

// Bytes that are no DEFLATE stream at all, claiming sizes and a CRC-32: the search gives up
// within its budget instead of trying every position of every entry.
TEST(ByteRepair, HostileDataIsSearchedWithinTheBudget) {
  RepairBudget budget;
  RepairControl control;
  control.budget = &budget;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const std::string junk = NoiseBytes(2000, seed);
    DeflatedPart part;
    part.data = reinterpret_cast<const uint8_t*>(junk.data());
    part.size = junk.size();
    part.expected_size = 100000;
    part.expected_crc = seed;
    part.xml = seed % 2 == 0;
    EXPECT_FALSE(FindDeflateCorrection(part, control).found);
  }
  EXPECT_LT(budget.work, RepairBudget().work);
}

struct StoredCase {
  const char* what;
  size_t size;
  size_t at;
  uint8_t mask;
};

TEST(ByteRepair, OneChangedStoredByteIsFoundFromTheCrcAlone) {
  const StoredCase cases[] = {
      {"first byte", 5000, 0, 0x01}, {"last byte", 5000, 4999, 0x80},  {"middle", 5000, 2500, 0xFF},
      {"one byte long", 1, 0, 0x42}, {"large", 1 << 20, 700000, 0x10},
  };
  for (const StoredCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string data = NoiseBytes(c.size, 99);
    std::string damaged = data;
    damaged[c.at] = static_cast<char>(damaged[c.at] ^ c.mask);
    const ByteCorrection fix = FindSingleByteError(c.size, Crc(damaged), Crc(data), {});
    ASSERT_TRUE(fix.found);
    EXPECT_EQ(fix.offset, c.at);
    EXPECT_EQ(fix.new_value, c.mask);
  }
  EXPECT_FALSE(FindSingleByteError(100, 5, 5, {}).found);  // nothing differs
}

// The CRC-32 of `size` zero bytes with `mask` at `at`, from the CRC-32 values alone.
uint32_t CrcOfZerosWithByte(uint64_t size, uint64_t at, uint8_t mask) {
  std::string zeros(1 << 16, '\0');
  uint32_t zeros_crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size())));
  // The CRC-32 of n zero bytes, built from 64 KiB pieces and a remainder.
  auto zeros_of = [&](uint64_t n) {
    uint32_t crc = 0;
    for (uint64_t done = 0; done + zeros.size() <= n; done += zeros.size()) {
      crc =
          static_cast<uint32_t>(crc32_combine(crc, zeros_crc, static_cast<z_off_t>(zeros.size())));
    }
    const uint64_t rest = n % zeros.size();
    return static_cast<uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(rest)));
  };
  uint32_t crc = zeros_of(at);
  crc = static_cast<uint32_t>(crc32(crc, &mask, 1));
  const uint64_t tail = size - at - 1;
  return static_cast<uint32_t>(crc32_combine(crc, zeros_of(tail), static_cast<z_off_t>(tail)));
}

// Past some millions of bytes one changed byte no longer has a single explanation: 255 values
// at each of 64 Mi positions make more differences than a CRC-32 has values, so several
// positions and values explain the same difference and nothing is proved.
TEST(ByteRepair, AnAmbiguousStoredChangeIsNotCorrected) {
  const uint64_t size = uint64_t{64} << 20;
  const uint32_t intact = CrcOfZerosWithByte(size, 12345678, 0);
  const uint32_t damaged = CrcOfZerosWithByte(size, 12345678, 0x5A);
  ASSERT_NE(intact, damaged);
  EXPECT_FALSE(FindSingleByteError(size, damaged, intact, {}).found);
}

// Through the extractor: the entry is written whole and reported repaired, with the offset in
// the damaged file and the byte before and after.
TEST(ByteRepair, TheExtractorWritesARepairedPartWhole) {
  ScratchFolder scratch;
  const std::wstring temp = scratch.Path(L"temp");
  platform::MakeDirectory(temp);
  TempFolderRedirect redirect(temp);
  const std::string lead = "PK\x03\x04 header and name bytes";
  struct Case {
    const char* what;
    const wchar_t* name;
    std::string plain;
    std::string data;
    uint16_t method;
  };
  const std::string xml = WellFormedDocument(30000);
  const std::string picture = NoiseBytes(8000, 7);
  const Case cases[] = {
      {"deflated content.xml", L"content.xml", xml, RawDeflate(xml), 8},
      {"stored picture", L"Pictures\\p.png", picture, picture, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = c.data;
    const size_t at = damaged.size() / 2;
    const uint8_t old_value = static_cast<uint8_t>(damaged[at] ^ 0x04);
    damaged[at] = static_cast<char>(old_value);
    const std::wstring file = scratch.Path(L"damaged.ods");
    ASSERT_TRUE(WriteBytes(file, lead + damaged));
    RecoveredEntry entry;
    entry.name = c.name;
    entry.method = c.method;
    entry.compressed_size = static_cast<uint32_t>(damaged.size());
    entry.uncompressed_size = static_cast<uint32_t>(c.plain.size());
    entry.data_offset = lead.size();
    entry.crc32 = Crc(c.plain);
    const std::wstring out = scratch.Path(L"out.bin");
    const EntryOutcome outcome = ExtractEntry(file, out, entry);
    EXPECT_TRUE(outcome.written);
    EXPECT_TRUE(outcome.repaired);
    EXPECT_FALSE(outcome.salvaged);
    EXPECT_TRUE(outcome.crc_matched);
    EXPECT_EQ(outcome.repair_offset, lead.size() + at);
    EXPECT_EQ(outcome.repair_old, old_value);
    EXPECT_EQ(outcome.repair_new, static_cast<uint8_t>(c.data[at]));
    EXPECT_EQ(ReadBytes(out), c.plain);
  }
}

}  // namespace
}  // namespace velmora
