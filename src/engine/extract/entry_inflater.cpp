#include "engine/extract/entry_inflater.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "engine/zlib_stream.h"
#include "platform/platform.h"

namespace velmora {

namespace {

constexpr size_t kInputChunk = 16384;
// Output goes to the sink in chunks of this size: few enough writes for a 150 MB entry, small
// enough that the memory taken never depends on the size a header claims.
constexpr size_t kOutputChunk = 256 * 1024;

}  // namespace

struct EntryInflater {
  platform::File file;
  int64_t start_position = 0;
  int last_error = kInflateOk;
  // "current entry": true from a successful open until the entry is finished.
  bool has_entry = false;
  // Set up by the first InflateToBuffer.
  bool entry_open = false;
  std::unique_ptr<uint8_t[]> input;
  std::unique_ptr<uint8_t[]> output;
  ZlibStream stream;
  uint64_t input_budget = 0;
  uint64_t output_remaining = 0;
  bool to_stream_end = false;

  ~EntryInflater() { FinishEntry(); }

  // Every road out of an entry comes through here, so inflateEnd is never missed.
  void FinishEntry() {
    stream.End();
    input.reset();
    output.reset();
    has_entry = false;
    entry_open = false;
  }

  int SetUpEntry(const InflaterRequest& request) {
    input.reset(new (std::nothrow) uint8_t[kInputChunk]);
    output.reset(new (std::nothrow) uint8_t[kOutputChunk]);
    if (!input || !output) return kInflateNoMemory;
    if (!stream.StartInflate()) return kInflateNoMemory;
    input_budget = request.input_budget;
    output_remaining = request.expected_size;
    to_stream_end = request.to_stream_end;
    if (start_position < 0 || !file.Seek(static_cast<uint64_t>(start_position))) {
      return kInflateIoError;
    }
    entry_open = true;
    return kInflateOk;
  }

  // Refills the input when the stream has used it all and budget remains.
  bool Refill() {
    if (stream->avail_in != 0 || input_budget == 0) return true;
    size_t want = static_cast<size_t>(std::min<uint64_t>(input_budget, kInputChunk));
    int64_t got = file.Read(input.get(), want);
    if (got <= 0) return false;
    stream->next_in = input.get();
    stream->avail_in = static_cast<uInt>(got);
    input_budget -= static_cast<uint64_t>(got);
    return true;
  }
};

void InflaterCloser::operator()(EntryInflater* inflater) const {
  delete inflater;
}

int OpenInflater(const std::wstring& path, InflaterHandle* handle) {
  handle->reset();
  platform::File file = platform::File::OpenRead(path, platform::Sharing::kRead);
  if (!file.IsOpen()) return kInflateCannotOpen;
  const int64_t start = file.Position();
  if (start < 0) return kInflateNoPosition;
  return OpenInflater(std::move(file), static_cast<uint64_t>(start), handle);
}

int OpenInflater(platform::File file, uint64_t start, InflaterHandle* handle) {
  handle->reset();
  InflaterHandle opened(new (std::nothrow) EntryInflater);
  if (!opened) return kInflateNoMemory;
  opened->file = std::move(file);
  if (!opened->file.IsOpen()) return kInflateCannotOpen;
  opened->start_position = static_cast<int64_t>(start);
  opened->has_entry = true;
  *handle = std::move(opened);
  return kInflateOk;
}

int InflateToBuffer(EntryInflater* handle, const InflateSink& sink, InflaterRequest* request) {
  if (handle == nullptr || !handle->has_entry) return kInflateNotOpen;
  EntryInflater& h = *handle;
  h.last_error = kInflateOk;
  if (!h.entry_open) {
    h.last_error = h.SetUpEntry(*request);
    if (h.last_error != kInflateOk) {
      h.FinishEntry();
      request->length = 0;
      return h.last_error;
    }
  }

  const uint64_t space =
      h.to_stream_end ? UINT64_MAX : std::min<uint64_t>(request->length, h.output_remaining);
  uint64_t produced = 0;
  size_t pending = 0;  // bytes in the output chunk not yet handed to the sink
  bool refused = false;
  // Hands the pending bytes to the sink; false when it refuses them.
  auto flush = [&] {
    if (pending != 0 && !sink(h.output.get(), pending)) {
      refused = true;
      return false;
    }
    produced += pending;
    pending = 0;
    return true;
  };
  while (produced + pending < space) {
    if (!h.Refill()) {
      h.last_error = kInflateIoError;
      break;
    }
    const uint64_t room = std::min<uint64_t>(kOutputChunk - pending, space - produced - pending);
    h.stream->next_out = h.output.get() + pending;
    h.stream->avail_out = static_cast<uInt>(room);
    const int z = inflate(h.stream.get(), Z_NO_FLUSH);
    const size_t made = static_cast<size_t>(room - h.stream->avail_out);
    pending += made;
    if (!h.to_stream_end) h.output_remaining -= made;
    if (z == Z_BUF_ERROR) {
      // No progress. With no input left the file or the budget ended before the stream did.
      h.last_error = h.stream->avail_in == 0 ? kInflateIoError : kInflateDataError;
    } else if (z == Z_MEM_ERROR) {
      h.last_error = kInflateNoMemory;
    } else if (z != Z_OK && z != Z_STREAM_END) {
      h.last_error = kInflateDataError;
    }
    if (h.last_error != kInflateOk) break;
    const bool ended = z == Z_STREAM_END;
    if (pending == kOutputChunk || ended || produced + pending == space) {
      if (!flush()) {
        h.last_error = kInflateIoError;
        break;
      }
    }
    if (ended) break;
  }
  // What was decoded before an error still goes out: the caller may keep what came before the
  // damage. A sink that refused is not asked again.
  if (h.last_error != kInflateOk && !refused) flush();

  request->length = h.last_error == kInflateOk
                        ? static_cast<uint32_t>(std::min<uint64_t>(produced, UINT32_MAX))
                        : 0;
  if (h.last_error == kInflateOk && !h.to_stream_end && h.output_remaining != 0) {
    return kInflateEndedEarly;
  }
  const int result = h.last_error;
  h.FinishEntry();
  return result;
}

void CloseInflater(InflaterHandle& handle) {
  handle.reset();
}

platform::File ReleaseInflaterFile(InflaterHandle& handle) {
  if (!handle) return platform::File();
  platform::File file = std::move(handle->file);
  handle.reset();
  return file;
}

}  // namespace velmora
