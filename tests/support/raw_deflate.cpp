#include "support/raw_deflate.h"

#include <gtest/gtest.h>

#include "engine/zlib_stream.h"

namespace velmora::test {

std::string RawDeflate(std::string_view data, int level, int flush) {
  ZlibStream z;
  EXPECT_TRUE(z.StartDeflate(level));
  if (!z.active()) return {};
  std::string out(deflateBound(z.get(), static_cast<uLong>(data.size())) + 64, '\0');
  // zlib does not write through next_in; its declaration just lacks the const.
  z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z->avail_in = static_cast<uInt>(data.size());
  z->next_out = reinterpret_cast<Bytef*>(out.data());
  z->avail_out = static_cast<uInt>(out.size());
  const int result = deflate(z.get(), flush);
  EXPECT_EQ(result, flush == Z_FINISH ? Z_STREAM_END : Z_OK);
  out.resize(z->total_out);
  return out;
}

Inflated RawInflate(std::string_view stream, size_t limit) {
  Inflated result;
  ZlibStream z;
  if (!z.StartInflate()) return result;
  result.data.assign(limit, '\0');
  z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z->avail_in = static_cast<uInt>(stream.size());
  z->next_out = reinterpret_cast<Bytef*>(result.data.data());
  z->avail_out = static_cast<uInt>(limit);
  int status = Z_OK;
  while (status == Z_OK && z->avail_out != 0) status = inflate(z.get(), Z_SYNC_FLUSH);
  result.ended = status == Z_STREAM_END;
  result.consumed = stream.size() - z->avail_in;
  result.data.resize(z->total_out);
  return result;
}

}  // namespace velmora::test
