#include "engine/zlib_stream.h"

namespace velmora {

bool ZlibStream::StartInflate() {
  End();
  z_ = z_stream{};
  // Negative window bits: a raw stream, starting directly at the first block.
  if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) return false;
  mode_ = Mode::kInflate;
  return true;
}

bool ZlibStream::StartDeflate(int level) {
  End();
  z_ = z_stream{};
  if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return false;
  }
  mode_ = Mode::kDeflate;
  return true;
}

bool ZlibStream::CopyInflate(const ZlibStream& other) {
  End();
  if (other.mode_ != Mode::kInflate) return false;
  // zlib's copy takes a non-const source but does not change it.
  if (inflateCopy(&z_, const_cast<z_stream*>(&other.z_)) != Z_OK) return false;
  mode_ = Mode::kInflate;
  return true;
}

void ZlibStream::End() {
  if (mode_ == Mode::kInflate) inflateEnd(&z_);
  if (mode_ == Mode::kDeflate) deflateEnd(&z_);
  mode_ = Mode::kNone;
}

}  // namespace velmora
