// The scanner's probes of an entry's data: where a deflate stream ends and what it inflates to,
// and the next record that bounds stored data, at every buffer size.
#include "engine/scan/size_probe.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/raw_deflate.h"
#include "support/scratch.h"

namespace velmora {
namespace {

using test::RawDeflate;
using test::ScratchFolder;

std::string Noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char>(rng() % 256));
  return out;
}

std::string Text(size_t n) {
  std::string out;
  for (int i = 0; out.size() < n; ++i) out += "<row n=\"" + std::to_string(i) + "\"/>";
  out.resize(n);
  return out;
}

// Runs `probe` on a ScanBuffer of each size over a file holding `bytes`.
template <typename Probe>
void ForEachBuffer(const std::string& bytes, const std::vector<size_t>& sizes, Probe probe) {
  ScratchFolder scratch;
  const std::wstring path = scratch.Path(L"probe.bin");
  ASSERT_TRUE(test::WriteBytes(path, test::ToBytes(bytes)));
  for (size_t size : sizes) {
    SCOPED_TRACE("buffer " + std::to_string(size));
    platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
    ASSERT_TRUE(file.IsOpen());
    ScanBuffer buffer(file, bytes.size(), size);
    probe(buffer);
  }
}

const std::vector<size_t> kBuffers = {4, 5, 7, 16, 61, 4096, size_t{1} << 20};

TEST(ProbeDeflateStream, EndAndSizesOfTheStream) {
  const std::string text = Text(20000);
  const std::string text_stream = RawDeflate(text, 6);
  // Stored blocks of noise: more than one probe step of input before the end.
  const std::string noise_stream = RawDeflate(Noise(200000, 1), 0);
  // Far more output than input: many calls fill the discard buffer.
  const std::string zeros_stream = RawDeflate(std::string(3000000, '\0'), 9);
  struct Case {
    const char* label;
    std::string bytes;
    uint64_t data_offset;
    ProbeResult result;
    uint32_t compressed;
    uint32_t uncompressed;
  };
  const Case cases[] = {
      {"a stream followed by the next header", text_stream + "PK\x03\x04rest", 0,
       ProbeResult::kFound, static_cast<uint32_t>(text_stream.size()), 20000},
      {"a stream after other bytes, followed by its descriptor",
       "header" + text_stream + "PK\x07\x08", 6, ProbeResult::kFound,
       static_cast<uint32_t>(text_stream.size()), 20000},
      {"a stream that ends exactly at the end of the file", "ab" + text_stream, 2,
       ProbeResult::kFound, static_cast<uint32_t>(text_stream.size()), 20000},
      {"an empty stream", std::string("\x03\x00", 2) + "junk", 0, ProbeResult::kFound, 2, 0},
      {"stored blocks longer than a probe step", noise_stream + "tail", 0, ProbeResult::kFound,
       static_cast<uint32_t>(noise_stream.size()), 200000},
      {"output much larger than the input", zeros_stream + "tail", 0, ProbeResult::kFound,
       static_cast<uint32_t>(zeros_stream.size()), 3000000},
      {"the file ends inside the stream", text_stream.substr(0, text_stream.size() - 1), 0,
       ProbeResult::kNotFound, 0, 0},
      {"not DEFLATE data", std::string(64, '\0'), 0, ProbeResult::kNotFound, 0, 0},
      {"a reserved block type", "\x07junkjunk", 0, ProbeResult::kNotFound, 0, 0},
      {"data offset at the end of the file", "abc", 3, ProbeResult::kNotFound, 0, 0},
      {"data offset past the end of the file", "abc", 70000, ProbeResult::kNotFound, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ForEachBuffer(c.bytes, kBuffers, [&](ScanBuffer& buffer) {
      const JobRunning running{1};
      const StreamEnd end = ProbeDeflateStream(buffer, running, c.data_offset);
      EXPECT_EQ(end.result, c.result);
      EXPECT_EQ(end.compressed, c.compressed);
      EXPECT_EQ(end.uncompressed, c.uncompressed);
    });
  }
}

TEST(ProbeDeflateStream, StopFlagEndsIt) {
  ForEachBuffer(RawDeflate(Text(1000), 6), {4, 4096}, [](ScanBuffer& buffer) {
    const JobRunning running{0};
    EXPECT_EQ(ProbeDeflateStream(buffer, running, 0).result, ProbeResult::kStopped);
  });
}

TEST(FindRecordAfterData, RecordsThatMayFollowData) {
  struct Case {
    const char* label;
    std::string record;
    bool descriptor;
    bool found;
  };
  const Case cases[] = {
      {"local header", "PK\x03\x04", false, true},
      {"central header", "PK\x01\x02", false, true},
      {"end record", "PK\x05\x06", false, true},
      {"descriptor, for a bit-3 entry", "PK\x07\x08", true, true},
      {"descriptor, without bit 3", "PK\x07\x08", false, false},
      {"zip64 end record", "PK\x06\x06", true, false},
      {"a mixed-up signature", "PK\x03\x02", true, false},
      {"half a signature at the end", "PK\x03", true, false},
  };
  for (const Case& c : cases) {
    // At every offset, so that the record meets every buffer edge.
    for (size_t offset = 0; offset < 40; offset += 3) {
      SCOPED_TRACE(std::string(c.label) + " at " + std::to_string(offset));
      const std::string bytes = std::string(offset, 'P') + c.record;
      ForEachBuffer(bytes, {4, 5, 7, 16, 4096}, [&](ScanBuffer& buffer) {
        const JobRunning running{1};
        uint64_t at = 0;
        const ProbeResult result = FindRecordAfterData(buffer, running, 0, c.descriptor, &at);
        EXPECT_EQ(result, c.found ? ProbeResult::kFound : ProbeResult::kNotFound);
        if (c.found) {
          EXPECT_EQ(at, offset);
        }
      });
    }
  }
}

TEST(FindRecordAfterData, FirstRecordFromTheStartOnly) {
  // A record before the start is not seen; the first after it is; far ones too.
  const std::string bytes = "PK\x03\x04" + Noise(300000, 2) + "PK\x01\x02" + "PK\x03\x04";
  std::string cleaned = bytes;
  for (size_t i = 4; i + 1 < 300004; ++i) {
    if (cleaned[i] == 'P' && cleaned[i + 1] == 'K') cleaned[i + 1] = 'k';
  }
  ForEachBuffer(cleaned, {4, 4096, size_t{1} << 20}, [](ScanBuffer& buffer) {
    const JobRunning running{1};
    uint64_t at = 0;
    EXPECT_EQ(FindRecordAfterData(buffer, running, 1, false, &at), ProbeResult::kFound);
    EXPECT_EQ(at, 300004u);
  });
}

TEST(FindRecordAfterData, StopFlagEndsIt) {
  ForEachBuffer(std::string(1000, 'x') + "PK\x03\x04", {4, 4096}, [](ScanBuffer& buffer) {
    const JobRunning running{0};
    uint64_t at = 0;
    EXPECT_EQ(FindRecordAfterData(buffer, running, 0, false, &at), ProbeResult::kStopped);
  });
}

}  // namespace
}  // namespace velmora
