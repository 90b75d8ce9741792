// ExtractEntry throughput with a warm page cache: one deflated entry of 150 MB of
// spreadsheet-like XML (about what content.xml holds in a large spreadsheet), and one stored
// entry of 64 MB. Throughput is counted in uncompressed bytes. The fixture is written in
// chunks, so the process's peak memory is that of the extraction:
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON
//   cmake --build build-bench --target extract_bench
//   /usr/bin/time -v build-bench/bench/extract_bench --benchmark_filter=Deflated
//
// With VELMORA_BENCH_ODS naming a package, BM_ScanAndExtractFile scans it and extracts every
// entry into a file folder, as a repair run does (without the log), for comparison with
// another extractor on the same file (`bsdtar -xf`).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/extract/entry_extractor.h"
#include "engine/job/repair_steps.h"
#include "engine/job/working_folder.h"
#include "engine/scan/archive_scanner.h"
#include "platform/platform.h"
#include "support/recording_window.h"

namespace velmora {
namespace {

constexpr uint32_t kDeflatedSize = 150u * 1000 * 1000;
constexpr uint32_t kStoredSize = 64u * 1000 * 1000;
constexpr size_t kChunk = 1 << 20;

struct Fixture {
  std::wstring damaged;
  std::wstring output;
  RecoveredEntry entry;
};

// Rows of a spreadsheet's content.xml, a little different from one another.
void FillXml(std::string& chunk, uint32_t& row) {
  chunk.clear();
  while (chunk.size() < kChunk) {
    chunk += "<table:table-row table:style-name=\"ro1\"><table:table-cell office:value-type=";
    chunk += "\"float\" office:value=\"" + std::to_string(row * 7919u % 100003u) +
             "\" calcext:value-type=\"float\"><text:p>" + std::to_string(row) +
             "</text:p></table:table-cell></table:table-row>";
    ++row;
  }
  chunk.resize(kChunk);
}

// A damaged file holding one entry after a few lead bytes, made without ever holding the
// whole entry in memory.
Fixture MakeFixture(bool deflated) {
  Fixture f;
  f.damaged = platform::CreateTempFile(platform::TempFolder(), L"VXB");
  f.output = f.damaged + L".out";
  platform::File file = platform::File::Create(f.damaged);
  const std::string lead = "PK\x03\x04 lead bytes";
  file.Write(lead.data(), lead.size());
  f.entry.data_offset = lead.size();
  f.entry.name = L"content.xml";
  const uint32_t size = deflated ? kDeflatedSize : kStoredSize;
  f.entry.uncompressed_size = size;
  f.entry.method = deflated ? 8 : 0;

  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(kChunk);
  std::string chunk;
  uint32_t row = 0;
  uint64_t written = 0;
  for (uint32_t done = 0; done < size;) {
    FillXml(chunk, row);
    const uint32_t take = std::min<uint32_t>(static_cast<uint32_t>(chunk.size()), size - done);
    done += take;
    f.entry.crc32 = crc32(f.entry.crc32, reinterpret_cast<const Bytef*>(chunk.data()), take);
    if (!deflated) {
      file.Write(chunk.data(), take);
      written += take;
      continue;
    }
    stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
    stream.avail_in = take;
    const int flush = done == size ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      deflate(&stream, flush);
      const size_t made = out.size() - stream.avail_out;
      file.Write(out.data(), made);
      written += made;
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  f.entry.compressed_size = static_cast<uint32_t>(written);
  return f;
}

void Extract(benchmark::State& state, bool deflated) {
  const Fixture f = MakeFixture(deflated);
  for (auto _ : state) {
    ExtractEntry(f.damaged, f.output, f.entry);
  }
  platform::File result = platform::File::OpenRead(f.output, platform::Sharing::kRead);
  if (!result.IsOpen() || result.Size() != f.entry.uncompressed_size) {
    state.SkipWithError("the entry was not extracted whole");
  }
  result.Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.entry.uncompressed_size);
  state.counters["compressed_MB"] = f.entry.compressed_size / 1e6;
  platform::RemoveFile(f.output);
  platform::RemoveFile(f.damaged);
}

void BM_ScanAndExtractFile(benchmark::State& state) {
  const char* ods = std::getenv("VELMORA_BENCH_ODS");
  if (ods == nullptr) {
    state.SkipWithError("VELMORA_BENCH_ODS is not set");
    return;
  }
  const std::wstring path = platform::WidenPath(ods);
  const std::wstring marker = platform::CreateTempFile(platform::TempFolder(), L"VXB");
  const std::wstring folder = marker + L".d";
  JobRunning running{1};
  for (auto _ : state) {
    platform::MakeDirectory(folder);
    test::RecordingWindow view;
    std::vector<RecoveredEntry> entries;
    platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
    ScanFile(file, static_cast<uint64_t>(file.Size()), running,
             [&](const RecoveredEntry& entry) { entries.push_back(entry); });
    file.Close();
    ExtractAllEntries(view, folder, path, entries);
    state.PauseTiming();
    DeleteFolderTree(folder);
    state.ResumeTiming();
  }
  platform::RemoveEmptyDirectory(folder);
  platform::RemoveFile(marker);
}

void BM_ExtractDeflated(benchmark::State& state) {
  Extract(state, true);
}
void BM_ExtractStored(benchmark::State& state) {
  Extract(state, false);
}

BENCHMARK(BM_ExtractDeflated)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_ScanAndExtractFile)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_ExtractStored)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
