// The temporary-files folder and uniquely named temporary files.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/platform.h"

namespace velmora::platform {

namespace {

// Shared by every thread so that two threads never try the same number first.
std::atomic<uint32_t> next_unique{0};

uint32_t FirstUnique() {
  if (next_unique.load() != 0) return next_unique.fetch_add(1);
  uint32_t seed = static_cast<uint32_t>(time(nullptr)) ^ (static_cast<uint32_t>(getpid()) << 5);
  uint32_t expected = 0;
  // The first caller seeds the counter; a 0 seed would look unseeded, so it becomes 1.
  next_unique.compare_exchange_strong(expected, seed == 0 ? 1 : seed);
  return next_unique.fetch_add(1);
}

}  // namespace

std::wstring TempFolder() {
  const char* dir = getenv("TMPDIR");
  std::string folder = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
  if (folder.back() != '/') folder.push_back('/');
  return WidenPath(folder);
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix) {
  return CreateTempFile(folder, prefix, nullptr);
}

std::wstring CreateTempFile(const std::wstring& folder, const std::wstring& prefix, File* opened) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != kSeparator) base.push_back(kSeparator);
  base += prefix;
  const std::string narrow_base = NarrowPath(base);
  // Like the Windows call: four hex digits, 0 excluded, tried in turn until a name is free.
  uint32_t unique = FirstUnique();
  for (uint32_t tries = 0; tries < 0xFFFF; ++tries, unique = next_unique.fetch_add(1)) {
    unsigned digits = unique % 0xFFFF + 1;
    char tail[16];
    snprintf(tail, sizeof tail, "%04X.tmp", digits);
    std::string path = narrow_base + tail;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (opened != nullptr) {
        *opened = File::FromDescriptor(fd);
      } else {
        close(fd);
      }
      return WidenPath(path);
    }
    if (errno != EEXIST) return {};
  }
  errno = EEXIST;
  return {};
}

}  // namespace velmora::platform
