#include "support/small_volume.h"

#ifndef _WIN32
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#endif

#include "platform/platform.h"

namespace velmora::test {

SmallVolume::SmallVolume(const std::wstring& folder, uint64_t bytes, bool read_only)
    : folder_(folder) {
#ifdef _WIN32
  (void)bytes;
  (void)read_only;
  why_not_ = "no tmpfs to mount on Windows";
#else
  platform::MakeDirectory(folder_);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
  const unsigned long flags = read_only ? MS_RDONLY : 0;
  if (::mount("tmpfs", platform::NarrowPath(folder_).c_str(), "tmpfs", flags, options.c_str()) ==
      0) {
    mounted_ = true;
  } else {
    why_not_ = std::string("mounting a tmpfs was refused: ") + std::strerror(errno);
  }
#endif
}

SmallVolume::~SmallVolume() {
#ifndef _WIN32
  // Detached: a file a failed test left open does not keep the volume in place.
  if (mounted_) ::umount2(platform::NarrowPath(folder_).c_str(), MNT_DETACH);
#endif
}

}  // namespace velmora::test
