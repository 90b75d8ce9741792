// Scanner throughput on two 200 MB files with a warm page cache: random bytes without any
// local-header signature, and "PKPKPK..." where every other window starts with "PK" (a scan
// that looks for 'P' first stops at every second byte there).
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON
//   cmake --build build-bench --target scan_bench && build-bench/bench/scan_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/scan/archive_scanner.h"
#include "platform/platform.h"

namespace velmora {
namespace {

constexpr uint64_t kFileSize = 200ull * 1000 * 1000;
std::wstring g_plain_path;
std::wstring g_pk_path;

// Writes kFileSize bytes made by `fill` (called per 1 MiB chunk) to a new temporary file.
template <typename Fill>
std::wstring MakeFile(Fill fill) {
  const std::wstring path = platform::CreateTempFile(platform::TempFolder(), L"VSB");
  platform::File file = platform::File::Create(path);
  std::vector<uint8_t> chunk(1 << 20);
  for (uint64_t done = 0; done < kFileSize; done += chunk.size()) {
    chunk.resize(static_cast<size_t>(std::min<uint64_t>(chunk.size(), kFileSize - done)));
    fill(chunk);
    if (!file.Write(chunk.data(), chunk.size())) return {};
  }
  return path;
}

std::wstring MakePlainFile() {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  return MakeFile([&state](std::vector<uint8_t>& chunk) {
    for (auto& byte : chunk) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      byte = static_cast<uint8_t>(state >> 24);
    }
    // No local header anywhere, so the scan runs the whole file.
    for (size_t i = 0; i + 1 < chunk.size(); ++i) {
      if (chunk[i] == 'P' && chunk[i + 1] == 'K') chunk[i + 1] = 'k';
    }
  });
}

std::wstring MakePkFile() {
  return MakeFile([](std::vector<uint8_t>& chunk) {
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = (i % 2 == 0) ? 'P' : 'K';
  });
}

void ScanWholeFile(benchmark::State& state, const std::wstring& path) {
  const JobRunning running{1};
  const size_t buffer_size = static_cast<size_t>(state.range(0));
  size_t entries = 0;
  for (auto _ : state) {
    platform::File file = platform::File::OpenRead(path, platform::Sharing::kNone);
    if (!file.IsOpen()) {
      state.SkipWithError("cannot open the test file");
      return;
    }
    ScanFile(
        file, static_cast<uint64_t>(file.Size()), running,
        [&entries](const RecoveredEntry&) { ++entries; }, buffer_size);
  }
  benchmark::DoNotOptimize(entries);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_ScanNoSignatures(benchmark::State& state) {
  ScanWholeFile(state, g_plain_path);
}
void BM_ScanPkPattern(benchmark::State& state) {
  ScanWholeFile(state, g_pk_path);
}

BENCHMARK(BM_ScanNoSignatures)->Arg(64 << 10)->Arg(kScanBufferSize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPkPattern)->Arg(64 << 10)->Arg(kScanBufferSize)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  velmora::g_plain_path = velmora::MakePlainFile();
  velmora::g_pk_path = velmora::MakePkFile();
  if (velmora::g_plain_path.empty() || velmora::g_pk_path.empty()) {
    std::fprintf(stderr, "cannot write the test files to the temporary folder\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  velmora::platform::RemoveFile(velmora::g_plain_path);
  velmora::platform::RemoveFile(velmora::g_pk_path);
  return 0;
}
