// A zlib stream for raw DEFLATE data (no zlib or gzip header, 32 KiB window), inflating or
// deflating, that ends itself: no road out of a reader or writer can miss inflateEnd or
// deflateEnd.
#pragma once

#include <zlib.h>

namespace velmora {

class ZlibStream {
 public:
  ZlibStream() = default;  // no stream until one of the Start functions
  ~ZlibStream() { End(); }
  ZlibStream(const ZlibStream&) = delete;
  ZlibStream& operator=(const ZlibStream&) = delete;

  // Sets up a fresh stream, ending any earlier one first. False when zlib cannot (out of
  // memory); no stream is active then.
  bool StartInflate();
  bool StartDeflate(int level);
  // Makes this stream an exact copy of the inflating stream `other` (state, bit buffer and
  // window; inflateCopy), ending any earlier one first. False when `other` is not inflating or
  // zlib cannot (out of memory); no stream is active then.
  bool CopyInflate(const ZlibStream& other);
  // Ends the stream, if one is active.
  void End();

  bool active() const { return mode_ != Mode::kNone; }
  z_stream* get() { return &z_; }
  z_stream* operator->() { return &z_; }

 private:
  enum class Mode { kNone, kInflate, kDeflate };
  z_stream z_{};
  Mode mode_ = Mode::kNone;
};

}  // namespace velmora
