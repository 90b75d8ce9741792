// The one-byte correction of a deflated part: time per MB of compressed part.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON
//   cmake --build build-bench --target byte_repair_bench && build-bench/bench/byte_repair_bench
//
// Window: sheet XML deflated at level 6 to about the size given (KiB of compressed part), one
// byte changed at a seeded place in its middle half; the search finds and proves the
// correction. "s_per_MB" is the time per MB (10^6 bytes) of compressed part. Sweep: the worst
// case of the sweep of a small part, where the damage shows nowhere and no correction exists
// (the recorded CRC-32 is simply wrong), so every position and value is tried. InStep: parts of
// about 100 KB to 5 MB compressed, one byte changed at a seeded place so that the stream still
// decodes to its size as well-formed XML (only the CRC-32 tells): "found" is the fraction
// corrected exactly, "wrong" the fraction corrected to anything else (must be 0).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "engine/extract/byte_repair.h"
#include "engine/extract/xml_salvage.h"

namespace velmora {
namespace {

std::string SheetXml(size_t plain_size, uint32_t seed) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
      "xmlns:office=\"urn:o\" xmlns:table=\"urn:t\" xmlns:text=\"urn:x\"><office:body>";
  uint32_t state = seed;
  for (uint32_t row = 0; text.size() < plain_size; ++row) {
    state = state * 1103515245u + 12345u;
    const uint32_t amount = state >> 12;
    text +=
        "<table:table-row table:style-name=\"ro1\"><table:table-cell office:value-type=\"float\" "
        "office:value=\"" +
        std::to_string(amount % 100000) + "." + std::to_string(amount % 97) + "\"><text:p>" +
        std::to_string(amount % 100000) +
        "</text:p></table:table-cell><table:table-cell office:value-type=\"string\"><text:p>Item " +
        std::to_string(row) + " " + std::to_string(state % 7919) +
        "</text:p></table:table-cell></table:table-row>";
  }
  return text + "</office:body></office:document-content>";
}

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Plain text whose deflated form is about `compressed` bytes.
std::string PlainFor(size_t compressed, uint32_t seed) {
  size_t plain = compressed * 6;
  for (;;) {
    std::string text = SheetXml(plain, seed);
    const size_t got = RawDeflate(text).size();
    if (got >= compressed) return text;
    plain = plain * compressed / got + 1024;
  }
}

void BM_WindowSearch(benchmark::State& state) {
  const size_t target = static_cast<size_t>(state.range(0)) * 1024;
  const std::string plain = PlainFor(target, 7);
  const std::string stream = RawDeflate(plain);
  uint32_t seed = 1;
  uint64_t found = 0;
  uint64_t tried = 0;
  for (auto _ : state) {
    state.PauseTiming();
    seed = seed * 1103515245u + 12345u;
    std::string damaged = stream;
    const size_t at = damaged.size() / 4 + (seed >> 8) % (damaged.size() / 2);
    damaged[at] = static_cast<char>(damaged[at] ^ (1u << ((seed >> 4) % 8)));
    DeflatedPart part;
    part.data = reinterpret_cast<const uint8_t*>(damaged.data());
    part.size = damaged.size();
    part.expected_size = static_cast<uint32_t>(plain.size());
    part.expected_crc = Crc(plain);
    part.xml = true;
    state.ResumeTiming();
    const ByteCorrection fix = FindDeflateCorrection(part, {});
    benchmark::DoNotOptimize(fix);
    found += fix.found ? 1 : 0;
    ++tried;
  }
  state.counters["compressed_bytes"] = static_cast<double>(stream.size());
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(tried);
  state.counters["s_per_MB"] = benchmark::Counter(
      static_cast<double>(stream.size()) / 1e6,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WindowSearch)
    ->Arg(8)
    ->Arg(64)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

// The first change at or after `at` (a seeded value XORed into one byte) after which the
// stream decodes to the plain text's size as well-formed XML but not to the plain text.
std::string InvisiblyChanged(const std::string& stream, const std::string& plain, size_t at,
                             uint32_t seed, size_t* changed) {
  for (;; ++at) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      seed = seed * 1103515245u + 12345u;
      const auto mask = static_cast<uint8_t>(1 + (seed >> 16) % 255);
      std::string damaged = stream;
      damaged[at % stream.size()] = static_cast<char>(damaged[at % stream.size()] ^ mask);
      std::string out;
      const bool ended = InflateAll(reinterpret_cast<const uint8_t*>(damaged.data()),
                                    damaged.size(), [&](const uint8_t* data, size_t n) {
                                      out.append(reinterpret_cast<const char*>(data), n);
                                      return out.size() <= plain.size();
                                    });
      if (!ended || out.size() != plain.size() || out == plain) continue;
      XmlTracker xml;
      xml.Feed(reinterpret_cast<const uint8_t*>(out.data()), out.size());
      if (!xml.IsWholeDocument()) continue;
      *changed = at % stream.size();
      return damaged;
    }
  }
}

void BM_InStep(benchmark::State& state) {
  const size_t target = static_cast<size_t>(state.range(0)) * 1024;
  const std::string plain = PlainFor(target, 13);
  const std::string stream = RawDeflate(plain);
  uint32_t seed = 3;
  uint64_t found = 0;
  uint64_t wrong = 0;
  uint64_t tried = 0;
  for (auto _ : state) {
    state.PauseTiming();
    seed = seed * 1103515245u + 12345u;
    size_t at = 0;
    const std::string damaged =
        InvisiblyChanged(stream, plain, (seed >> 8) % stream.size(), seed, &at);
    DeflatedPart part;
    part.data = reinterpret_cast<const uint8_t*>(damaged.data());
    part.size = damaged.size();
    part.expected_size = static_cast<uint32_t>(plain.size());
    part.expected_crc = Crc(plain);
    part.xml = true;
    state.ResumeTiming();
    const ByteCorrection fix = FindDeflateCorrection(part, {});
    benchmark::DoNotOptimize(fix);
    const bool exact = fix.found && fix.offset == at && fix.new_value == uint8_t(stream[at]);
    found += exact ? 1 : 0;
    wrong += fix.found && !exact ? 1 : 0;
    ++tried;
  }
  state.counters["compressed_bytes"] = static_cast<double>(stream.size());
  state.counters["found"] = static_cast<double>(found) / static_cast<double>(tried);
  state.counters["wrong"] = static_cast<double>(wrong) / static_cast<double>(tried);
  state.counters["s_per_MB"] = benchmark::Counter(
      static_cast<double>(stream.size()) / 1e6,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InStep)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(6);

void BM_SweepWorstCase(benchmark::State& state) {
  const size_t target = static_cast<size_t>(state.range(0));
  const std::string plain = PlainFor(target, 11);
  const std::string stream = RawDeflate(plain);
  DeflatedPart part;
  part.data = reinterpret_cast<const uint8_t*>(stream.data());
  part.size = stream.size();
  part.expected_size = static_cast<uint32_t>(plain.size());
  part.expected_crc = Crc(plain) ^ 0x5A5A5A5Au;
  part.xml = true;
  for (auto _ : state) {
    const ByteCorrection fix = FindDeflateCorrection(part, {});
    benchmark::DoNotOptimize(fix);
  }
  state.counters["compressed_bytes"] = static_cast<double>(stream.size());
}
BENCHMARK(BM_SweepWorstCase)->Arg(2048)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace velmora

BENCHMARK_MAIN();
