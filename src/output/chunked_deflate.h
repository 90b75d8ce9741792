// Deflates a large entry on several cores: the data is cut into chunks of equal size, a small
// pool of threads compresses them side by side, and the calling thread reads the source ahead
// and writes the finished chunks out in order.
//
// The joined chunks form one ordinary raw DEFLATE stream that any inflater reads: each chunk
// starts with the last 32 KiB of the chunk before it as its dictionary (so matches reach back
// across the cut as they would in one stream) and ends with a sync flush, an empty stored block
// that brings the stream to a byte boundary without ending it; only the last chunk ends the
// stream. The bytes depend on the data, the level and the chunk size only, never on how many
// threads ran. The CRC-32 of each chunk is taken on its worker and the values are joined in
// order (crc32_combine).
//
// Memory stays bounded: at most two chunks per worker plus one are held at a time, each with
// its input and its compressed form.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace velmora {

struct ChunkedDeflateOptions {
  size_t chunk_size = size_t{1} << 20;  // at least the 32 KiB a dictionary spans
  // Worker threads; 0: one per core, at most kMaxDeflateThreads.
  unsigned threads = 0;
  // Looked at before each chunk is read and before each is written out: once true, the
  // workers drop what they have not started and the run ends with kStopped.
  const std::atomic<bool>* stop = nullptr;
  // The archive writer keeps an entry declared smaller than this many chunks in one stream on
  // its own thread, where the pool would cost more than it gains.
  unsigned min_chunks = 4;
};

inline constexpr unsigned kMaxDeflateThreads = 8;

// kCompressFailed: zlib refused, or memory for a chunk could not be had.
enum class ChunkedDeflateResult { kOk, kReadFailed, kWriteFailed, kStopped, kCompressFailed };

// Fills `buffer` with up to `size` bytes of the source and returns how many it gave: fewer
// than `size` only at the end of the source, -1 when the source cannot be read.
using ChunkReader = std::function<int64_t(uint8_t* buffer, size_t size)>;
// Takes the next piece of the compressed stream; false when it cannot be written.
using ChunkWriter = std::function<bool(const uint8_t* data, size_t size)>;

// Reads the whole source through `read`, deflates it at `level` (raw, 32 KiB window) and hands
// the stream to `write` in order. *crc is the CRC-32 of every byte read (starting from the
// value it holds). On any result but kOk the stream handed out so far is incomplete.
ChunkedDeflateResult DeflateInChunks(const ChunkedDeflateOptions& options, int level,
                                     const ChunkReader& read, const ChunkWriter& write,
                                     uint32_t* crc);

}  // namespace velmora
