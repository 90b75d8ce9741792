// The local time zone's offset from UTC.
#include <windows.h>

#include "platform/platform.h"

namespace velmora::platform {

int64_t LocalUtcOffsetNow() {
  FILETIME utc;
  GetSystemTimeAsFileTime(&utc);
  FILETIME local;
  // FileTimeToLocalFileTime applies the bias in force now, which is the offset wanted here.
  if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
  const auto ticks = [](const FILETIME& t) {
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(local) - ticks(utc)) / 10000000;
}

}  // namespace velmora::platform
