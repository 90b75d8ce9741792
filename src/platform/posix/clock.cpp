// The local time zone's offset from UTC.
#include <ctime>

#include "platform/platform.h"

namespace velmora::platform {

int64_t LocalUtcOffsetNow() {
  time_t now = time(nullptr);
  struct tm local {};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int64_t>(local.tm_gmtoff);
}

}  // namespace velmora::platform
