#include "engine/scan/scan_buffer.h"

#include <algorithm>
#include <cstring>

namespace velmora {

ScanBuffer::ScanBuffer(platform::File& file, uint64_t length, size_t capacity)
    : file_(file), length_(length), data_(std::max<size_t>(capacity, 4)) {}

const uint8_t* ScanBuffer::Span(uint64_t position, size_t* count) {
  if (position >= length_) {
    *count = 0;
    return nullptr;
  }
  if (position < start_ || position >= end_ || (end_ - position < 4 && end_ < length_)) {
    Fill(position);
    if (position >= end_) {
      *count = 0;
      return nullptr;
    }
  }
  *count = static_cast<size_t>(end_ - position);
  return data_.data() + (position - start_);
}

void ScanBuffer::Copy(uint64_t position, uint8_t* out, size_t n) {
  while (n > 0) {
    size_t available = 0;
    const uint8_t* from = Span(position, &available);
    if (available == 0) {
      std::memset(out, 0, n);
      return;
    }
    const size_t take = std::min(available, n);
    std::memcpy(out, from, take);
    out += take;
    position += take;
    n -= take;
  }
}

void ScanBuffer::Fill(uint64_t position) {
  size_t keep = 0;
  if (position >= start_ && position < end_ && end_ == file_position_) {
    keep = static_cast<size_t>(end_ - position);
    std::memmove(data_.data(), data_.data() + (position - start_), keep);
  } else if (position != file_position_) {
    if (!file_.Seek(position)) {
      start_ = end_ = length_ = std::min(length_, position);
      return;
    }
    file_position_ = position;
  }
  start_ = position;
  end_ = position + keep;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(data_.size() - keep, length_ - end_));
  const int64_t got = want == 0 ? 0 : file_.Read(data_.data() + keep, want);
  if (got > 0) {
    file_position_ += static_cast<uint64_t>(got);
    end_ += static_cast<uint64_t>(got);
  }
  if (got < 0 || static_cast<size_t>(got) < want) length_ = end_;
}

}  // namespace velmora
