// EntryInflater: a single-entry unzip engine. It reads a raw DEFLATE stream (no zlib or gzip
// header, 32 KiB window) from a temporary file and hands what it inflates to a sink, chunk by
// chunk, so that no buffer ever has the size an entry's header claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace velmora {

// Result codes of OpenInflater and InflateToBuffer.
enum InflaterResult : int {
  // Success; for InflateToBuffer, exactly the expected size was produced (a stream that goes
  // on past it is not read further).
  kInflateOk = 0,
  // OpenInflater: the temporary file cannot be opened.
  kInflateCannotOpen = 1,
  // Memory for the state, the buffers or the inflate state cannot be obtained.
  kInflateNoMemory = 2,
  // InflateToBuffer: the stream ended without error before the expected size was produced.
  kInflateEndedEarly = 5,
  // InflateToBuffer: input or output failed. The file cannot be positioned at the stream, a
  // read fails, input is wanted but none is left (the file ends, or the input budget is used
  // up, before the stream does), or the sink refuses the output.
  kInflateIoError = 7,
  // InflateToBuffer: the handle is not open or its entry is finished.
  kInflateNotOpen = 9,
  // OpenInflater: the position of the opened file cannot be read.
  kInflateNoPosition = 16,
  // InflateToBuffer: the inflater reports a data error, or makes no progress with input in
  // hand.
  kInflateDataError = 18,
};

struct InflaterRequest {
  // In: number of bytes to produce by this call. Out: number of bytes produced (0 after an
  // error).
  uint32_t length = 0;
  // The entry's uncompressed size: the output the whole entry is expected to give.
  uint32_t expected_size = 0;
  // Bytes of compressed input the stream may read from the file: the entry's compressed
  // size. Taken at the first call only.
  uint64_t input_budget = 0;
  // The entry's sizes are not known: inflate until the stream ends (kInflateOk) or breaks;
  // length and expected size play no part. Taken at the first call only.
  bool to_stream_end = false;
};

// Receives the inflated bytes in order; returns false when it cannot take them, which ends
// the call with kInflateIoError. A call that ends with an error has first handed over every
// byte decoded before the error, so that a caller can keep what came before the damage.
using InflateSink = std::function<bool(const uint8_t* data, size_t size)>;

struct EntryInflater;  // the state of one opened stream

struct InflaterCloser {
  void operator()(EntryInflater* inflater) const;
};
// Closes itself: buffers and inflate state freed, file closed.
using InflaterHandle = std::unique_ptr<EntryInflater, InflaterCloser>;

// Opens the temporary file holding the stream (read sharing, existing file only). On
// kInflateOk *handle holds the inflater; otherwise it is left empty. Codes 0, 1, 2, 16.
int OpenInflater(const std::wstring& path, InflaterHandle* handle);
// The same with the file already open; the stream starts at `start`. The inflater owns the
// file from now on.
int OpenInflater(platform::File file, uint64_t start, InflaterHandle* handle);

// Inflates up to request->length bytes (and never more than the expected size still
// outstanding) and hands them to `sink`. The first call sets the stream up. When the call
// stops without error but output is still expected, the result is kInflateEndedEarly and the
// entry stays open; any other result finishes the entry. Codes 0, 2, 5, 7, 9, 18.
int InflateToBuffer(EntryInflater* handle, const InflateSink& sink, InflaterRequest* request);

// Frees the buffers and the inflate state, closes the file and empties the handle.
void CloseInflater(InflaterHandle& handle);

// Frees the buffers and the inflate state and empties the handle like CloseInflater, but hands
// the file back open (positioned wherever the stream left it), for a caller that uses it
// again. A closed file when the handle is empty.
platform::File ReleaseInflaterFile(InflaterHandle& handle);

}  // namespace velmora
