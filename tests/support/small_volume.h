// A small file system of its own for a test: a tmpfs mounted on a fresh folder, to fill up or
// to make read-only. Mounting takes a POSIX system that lets the test mount (root with
// CAP_SYS_ADMIN); elsewhere (Windows, a container that refuses) the volume is not mounted and
// `why_not` says why, for the test to skip with.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::test {

class SmallVolume {
 public:
  // Mounts a tmpfs of `bytes` at `folder` (created when missing), read-only when asked.
  SmallVolume(const std::wstring& folder, uint64_t bytes, bool read_only = false);
  ~SmallVolume();
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& why_not() const { return why_not_; }
  const std::wstring& path() const { return folder_; }

 private:
  std::wstring folder_;
  bool mounted_ = false;
  std::string why_not_;
};

}  // namespace velmora::test
