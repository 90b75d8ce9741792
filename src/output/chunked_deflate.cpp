#include "output/chunked_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/zlib_stream.h"

namespace velmora {
namespace {

// What a dictionary spans: the whole window of a raw stream.
constexpr size_t kDictionarySize = 32768;
// zlib counts a call's input in 32 bits.
constexpr size_t kLargestChunk = size_t{1} << 30;

struct Chunk {
  enum class State { kFree, kQueued, kDone, kFailed };
  std::vector<uint8_t> in;
  size_t in_size = 0;
  std::vector<uint8_t> dictionary;  // empty for the first chunk
  bool last = false;
  std::vector<uint8_t> out;
  size_t out_size = 0;
  uint32_t crc = 0;
  State state = State::kFree;
};

// Compresses one chunk with a deflating stream of the worker's: a sync flush ends every chunk
// but the last, which ends the stream. False when zlib refuses.
bool CompressChunk(ZlibStream& stream, Chunk& chunk) {
  if (!stream.active()) return false;
  z_stream* z = stream.get();
  if (deflateReset(z) != Z_OK) return false;
  if (!chunk.dictionary.empty() &&
      deflateSetDictionary(z, chunk.dictionary.data(),
                           static_cast<uInt>(chunk.dictionary.size())) != Z_OK) {
    return false;
  }
  chunk.crc = crc32_z(crc32(0, nullptr, 0), chunk.in.data(), chunk.in_size);
  // Room for the chunk in one call, with some to spare for the flush's empty block.
  const size_t bound = deflateBound(z, static_cast<uLong>(chunk.in_size)) + 64;
  if (chunk.out.size() < bound) chunk.out.resize(bound);
  z->next_in = chunk.in.data();
  z->avail_in = static_cast<uInt>(chunk.in_size);
  z->next_out = chunk.out.data();
  z->avail_out = static_cast<uInt>(chunk.out.size());
  const int flush = chunk.last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    const int rc = deflate(z, flush);
    if (rc == Z_STREAM_ERROR) return false;
    // A flush is complete once deflate leaves output room unused; the finish at stream end.
    if (chunk.last ? rc == Z_STREAM_END : z->avail_out > 0) break;
    if (z->avail_out > 0) return false;  // no progress possible
    const size_t used = chunk.out.size();
    chunk.out.resize(used * 2);
    z->next_out = chunk.out.data() + used;
    z->avail_out = static_cast<uInt>(chunk.out.size() - used);
  }
  chunk.out_size = chunk.out.size() - z->avail_out;
  return true;
}

// The workers and their queue. Chunks are handed over and back under the lock; a worker
// touches a chunk only between taking it from the queue and marking it done.
class DeflatePool {
 public:
  DeflatePool(unsigned threads, int level, std::vector<Chunk>& chunks)
      : level_(level), chunks_(chunks) {
    // Room first: a thread started must never meet a failed allocation on the way out.
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
      try {
        threads_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // as many as the system gives; with none, the caller compresses
      }
    }
    if (threads_.empty()) own_.StartDeflate(level_);
  }
  // Work not yet started is dropped; a chunk being compressed is finished first.
  ~DeflatePool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      queue_.clear();
    }
    work_ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  void Queue(size_t index) {
    if (threads_.empty()) {
      chunks_[index].state =
          CompressChunk(own_, chunks_[index]) ? Chunk::State::kDone : Chunk::State::kFailed;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      chunks_[index].state = Chunk::State::kQueued;
      queue_.push_back(index);
    }
    work_ready_.notify_one();
  }

  // Waits until the chunk is compressed; true when that went well.
  bool WaitFor(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    chunk_done_.wait(lock, [&] { return chunks_[index].state != Chunk::State::kQueued; });
    return chunks_[index].state == Chunk::State::kDone;
  }

 private:
  void Work() {
    ZlibStream stream;
    stream.StartDeflate(level_);  // a stream that fails to start fails each chunk it takes
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [&] { return quit_ || !queue_.empty(); });
      if (quit_) return;
      const size_t index = queue_.front();
      queue_.pop_front();
      lock.unlock();
      bool ok = false;
      try {
        ok = CompressChunk(stream, chunks_[index]);
      } catch (const std::bad_alloc&) {
        // Nothing may leave a worker thread: the chunk fails instead, and with it the run.
      }
      lock.lock();
      chunks_[index].state = ok ? Chunk::State::kDone : Chunk::State::kFailed;
      chunk_done_.notify_all();
    }
  }

  const int level_;
  std::vector<Chunk>& chunks_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable chunk_done_;
  std::deque<size_t> queue_;
  bool quit_ = false;
  std::vector<std::thread> threads_;
  ZlibStream own_;  // the caller's stream when no worker could be started
};

unsigned WorkerCount(unsigned asked) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return std::min(asked == 0 ? cores : asked, kMaxDeflateThreads);
}

ChunkedDeflateResult Run(const ChunkedDeflateOptions& options, int level, const ChunkReader& read,
                         const ChunkWriter& write, uint32_t* crc) {
  using Result = ChunkedDeflateResult;
  const size_t chunk_size = std::clamp(options.chunk_size, kDictionarySize, kLargestChunk);
  const unsigned threads = WorkerCount(options.threads);
  // Two chunks per worker keep each busy while the oldest is written out, and one more is
  // held back until the read after it tells whether it is the last.
  const size_t slots = 2 * size_t{threads} + 1;
  std::vector<Chunk> chunks(slots);  // outlives the pool, whose workers use it
  DeflatePool pool(threads, level, chunks);
  auto stopped = [&] { return options.stop != nullptr && options.stop->load(); };

  uint64_t next_read = 0;   // chunks read so far
  uint64_t next_write = 0;  // chunks written out so far
  bool holding = false;     // chunk next_read - 1 is read but not yet queued
  auto write_oldest = [&]() -> Result {
    const size_t index = next_write % slots;
    if (!pool.WaitFor(index)) return Result::kCompressFailed;
    if (stopped()) return Result::kStopped;
    Chunk& chunk = chunks[index];
    if (!write(chunk.out.data(), chunk.out_size)) return Result::kWriteFailed;
    *crc = crc32_combine(*crc, chunk.crc, static_cast<z_off_t>(chunk.in_size));
    chunk.state = Chunk::State::kFree;
    ++next_write;
    return Result::kOk;
  };

  for (bool ended = false; !ended;) {
    if (next_read - next_write == slots) {
      const Result written = write_oldest();
      if (written != Result::kOk) return written;
    }
    if (stopped()) return Result::kStopped;
    const size_t index = next_read % slots;
    Chunk& chunk = chunks[index];
    chunk.in.resize(chunk_size);
    const int64_t got = read(chunk.in.data(), chunk_size);
    if (got < 0) return Result::kReadFailed;
    chunk.in_size = static_cast<size_t>(got);
    const size_t held = (next_read + slots - 1) % slots;
    if (got == 0 && holding) {
      // The held chunk was the last: the source ended on a chunk boundary.
      chunks[held].last = true;
      pool.Queue(held);
      break;
    }
    chunk.dictionary.clear();
    if (holding) {
      const Chunk& before = chunks[held];
      const size_t span = std::min(kDictionarySize, before.in_size);
      chunk.dictionary.assign(before.in.begin() + (before.in_size - span),
                              before.in.begin() + before.in_size);
      chunks[held].last = false;
      pool.Queue(held);
    }
    ++next_read;
    chunk.last = chunk.in_size < chunk_size;
    if (chunk.last) {
      pool.Queue(index);
      ended = true;
    }
    holding = !chunk.last;
  }
  while (next_write < next_read) {
    const Result written = write_oldest();
    if (written != Result::kOk) return written;
  }
  return Result::kOk;
}

}  // namespace

ChunkedDeflateResult DeflateInChunks(const ChunkedDeflateOptions& options, int level,
                                     const ChunkReader& read, const ChunkWriter& write,
                                     uint32_t* crc) {
  try {
    return Run(options, level, read, write, crc);
  } catch (const std::bad_alloc&) {
    // The chunks' buffers: the workers are joined by now, and the caller gets a result code.
    return ChunkedDeflateResult::kCompressFailed;
  }
}

}  // namespace velmora
