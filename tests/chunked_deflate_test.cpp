// Deflating in chunks on several threads: the joined chunks must read back as one raw stream
// with the data's CRC-32, whatever the size (on, just off and between chunk boundaries) and the
// number of threads, and the run must end early and cleanly when asked or when a side fails.
#include "output/chunked_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>

#include "support/raw_deflate.h"
#include "support/zip_test_support.h"

namespace velmora {
namespace {

constexpr size_t kChunk = 65536;

// A source and a sink on memory, counting the calls.
struct MemoryRun {
  explicit MemoryRun(std::string data) : data(std::move(data)) {}

  ChunkedDeflateResult Deflate(ChunkedDeflateOptions options, int level = 8) {
    const ChunkReader reader = [this](uint8_t* buffer, size_t size) -> int64_t {
      ++reads;
      if (on_read) on_read(reads);
      if (reads == fail_read) return -1;
      const size_t n = std::min(size, data.size() - position);
      std::copy_n(data.data() + position, n, buffer);
      position += n;
      return static_cast<int64_t>(n);
    };
    const ChunkWriter writer = [this](const uint8_t* bytes, size_t size) {
      ++writes;
      if (on_write) on_write(writes);
      if (writes == fail_write) return false;
      stream.append(reinterpret_cast<const char*>(bytes), size);
      return true;
    };
    return DeflateInChunks(options, level, reader, writer, &crc);
  }

  std::string data;
  size_t position = 0;
  std::string stream;
  uint32_t crc = 0;
  int reads = 0;
  int writes = 0;
  int fail_read = 0;   // the read that fails (0: none)
  int fail_write = 0;  // the write that fails (0: none)
  std::function<void(int)> on_read;
  std::function<void(int)> on_write;
};

uint32_t Crc(const std::string& data) {
  return crc32_z(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), data.size());
}

TEST(ChunkedDeflateTest, JoinedChunksAreOneStreamWithTheDataCrc) {
  const size_t sizes[] = {0,          1,          kChunk - 1,     kChunk,
                          kChunk + 1, 3 * kChunk, 3 * kChunk + 1, 7 * kChunk + 12345};
  for (size_t size : sizes) {
    for (bool text : {true, false}) {
      const std::string data = text ? ziptest::TextBytes(size) : ziptest::NoiseBytes(size, 5);
      std::string first_stream;
      for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(testing::Message()
                     << "size " << size << (text ? " text" : " noise") << ", threads " << threads);
        MemoryRun run(data);
        ASSERT_EQ(run.Deflate({kChunk, threads}), ChunkedDeflateResult::kOk);
        EXPECT_EQ(run.crc, Crc(data));
        const test::Inflated back = test::RawInflate(run.stream, data.size() + 1);
        EXPECT_TRUE(back.ended);
        EXPECT_EQ(back.consumed, run.stream.size());
        EXPECT_TRUE(back.data == data);
        // The bytes do not depend on how many threads made them.
        if (first_stream.empty()) first_stream = run.stream;
        EXPECT_TRUE(run.stream == first_stream);
      }
    }
  }
}

TEST(ChunkedDeflateTest, CrcContinuesFromTheValueGiven) {
  const std::string head = "a head read earlier";
  const std::string data = ziptest::TextBytes(5 * kChunk);
  MemoryRun run(data);
  run.crc = Crc(head);
  ASSERT_EQ(run.Deflate({kChunk, 2}), ChunkedDeflateResult::kOk);
  EXPECT_EQ(run.crc, Crc(head + data));
}

// Each chunk starts from the tail of the one before: the cuts cost next to nothing against one
// stream of the whole data.
TEST(ChunkedDeflateTest, ChunksCompressAlmostAsWellAsOneStream) {
  const std::string data = ziptest::TextBytes(16 * kChunk);
  MemoryRun run(data);
  ASSERT_EQ(run.Deflate({kChunk, 2}), ChunkedDeflateResult::kOk);
  const size_t whole = test::RawDeflate(data, 8).size();
  EXPECT_LT(run.stream.size(), whole + whole / 200 + 16 * 8) << "one stream: " << whole;
}

TEST(ChunkedDeflateTest, StopFlagIsSeenBetweenChunks) {
  const std::string data = ziptest::TextBytes(12 * kChunk);
  struct {
    const char* when;
    bool on_read;  // raised during that read, else during that write
    int call;
  } cases[] = {{"during the first read", true, 1},
               {"during the fourth read", true, 4},
               {"during the first write", false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    std::atomic<bool> stop{false};
    MemoryRun run(data);
    int reads_at_stop = -1;
    int writes_at_stop = -1;
    auto raise = [&](int call) {
      if (call != c.call) return;
      stop = true;
      reads_at_stop = run.reads;
      writes_at_stop = run.writes;
    };
    (c.on_read ? run.on_read : run.on_write) = raise;
    ASSERT_EQ(run.Deflate({kChunk, 2, &stop}), ChunkedDeflateResult::kStopped);
    // Neither side is called again once the flag is up.
    EXPECT_EQ(run.reads, reads_at_stop);
    EXPECT_EQ(run.writes, writes_at_stop);
  }
}

TEST(ChunkedDeflateTest, FailingSideEndsTheRun) {
  const std::string data = ziptest::TextBytes(12 * kChunk);
  {
    MemoryRun run(data);
    run.fail_read = 3;
    EXPECT_EQ(run.Deflate({kChunk, 2}), ChunkedDeflateResult::kReadFailed);
    EXPECT_EQ(run.reads, 3);
  }
  {
    MemoryRun run(data);
    run.fail_write = 2;
    EXPECT_EQ(run.Deflate({kChunk, 2}), ChunkedDeflateResult::kWriteFailed);
    EXPECT_EQ(run.writes, 2);
  }
}

}  // namespace
}  // namespace velmora
