// Decoding again after a zeroed stretch of a deflated part: the restart is found, and every
// byte it calls known is the original's byte at that place (the output after the restart is
// the end of the original's).
#include "engine/extract/hole/restart.h"

#include <gtest/gtest.h>

#include <string>

#include "extraction_fixtures.h"

namespace velmora {
namespace {

using extraction_test::RawDeflate;
using extraction_test::VariedSheetXml;

struct HoleCase {
  size_t rows;
  double where;  // the hole's start, as a fraction of the compressed data
  size_t length;
};

TEST(HoleRestart, KnownBytesAfterTheRestartAreTheOriginals) {
  // 600 rows: a few blocks of codes, so that most holes end inside one; 8000 rows: many blocks,
  // so that a 64 KiB hole ends in a later block than it began in, whose tables the block before
  // would read as plausible text that falls into step with the stream later on.
  const HoleCase cases[] = {
      {600, 0.2, 512},   {600, 0.5, 512},    {600, 0.35, 4096},  {600, 0.65, 4096},
      {8000, 0.3, 4096}, {8000, 0.5, 65536}, {8000, 0.1, 65536},
  };
  for (const HoleCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, " + std::to_string(c.length) + " at " +
                 std::to_string(c.where));
    const std::string xml = VariedSheetXml(c.rows, 4);
    std::string data = RawDeflate(xml);
    const size_t at = static_cast<size_t>(c.where * static_cast<double>(data.size()));
    ASSERT_LT(at + c.length, data.size());
    for (size_t i = at; i < at + c.length; ++i) data[i] = '\0';
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());

    hole::Hole hole;
    ASSERT_TRUE(hole::FindHole(bytes, data.size(), &hole));
    EXPECT_LE(hole.offset, at);
    EXPECT_GE(hole.offset + hole.length, at + c.length);
    const hole::Restart restart = hole::FindRestart(bytes, data.size(), xml.size(), hole);
    ASSERT_TRUE(restart.found);
    EXPECT_GE(restart.bit, (hole.offset + hole.length) * 8);
    EXPECT_LE(restart.output_before, xml.size());

    const hole::AfterRestart after =
        hole::DecodeAfter(bytes, data.size(), hole, restart, xml.size());
    ASSERT_TRUE(after.ended);
    ASSERT_LE(restart.output_before + after.bytes.size(), xml.size());
    const size_t offset = xml.size() - after.bytes.size();
    size_t known = 0;
    size_t wrong = 0;
    for (size_t i = 0; i < after.bytes.size(); ++i) {
      if (!after.known[i]) continue;
      ++known;
      if (after.bytes[i] != xml[offset + i]) ++wrong;
    }
    EXPECT_GT(known, 0u);
    EXPECT_EQ(wrong, 0u);
  }
}

TEST(HoleRestart, NothingIsClaimedWithoutAHoleOrARestart) {
  const std::string xml = VariedSheetXml(600, 4);
  std::string data = RawDeflate(xml);
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  hole::Hole hole;
  EXPECT_FALSE(hole::FindHole(bytes, data.size(), &hole));  // intact: no zeroed stretch
  // Zeroed to the end: there is nothing to start again in.
  for (size_t i = data.size() - 3000; i < data.size(); ++i) data[i] = '\0';
  ASSERT_TRUE(hole::FindHole(bytes, data.size(), &hole));
  EXPECT_FALSE(hole::FindRestart(bytes, data.size(), xml.size(), hole).found);
  // A restart that would make more output than the part's size is no restart.
  std::string middle = RawDeflate(xml);
  for (size_t i = middle.size() / 2; i < middle.size() / 2 + 512; ++i) middle[i] = '\0';
  const auto* mid = reinterpret_cast<const uint8_t*>(middle.data());
  ASSERT_TRUE(hole::FindHole(mid, middle.size(), &hole));
  EXPECT_TRUE(hole::FindRestart(mid, middle.size(), xml.size(), hole).found);
  EXPECT_FALSE(hole::FindRestart(mid, middle.size(), 100, hole).found);
  // Stopped.
  JobRunning stopped{0};
  EXPECT_FALSE(hole::FindRestart(mid, middle.size(), xml.size(), hole, &stopped).found);
}

}  // namespace
}  // namespace velmora
