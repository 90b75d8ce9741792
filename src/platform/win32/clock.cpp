// The local time zone's offset from UTC.
#include <ctime>

#include "platform/platform.h"

namespace velmora::platform {

int64_t LocalUtcOffsetNow() {
  // The C runtime's zone, the system's unless TZ says otherwise: the same one through which
  // mktime turns the package's local times back into Unix times, so the two always agree.
  const time_t now = time(nullptr);
  struct tm local {};
  if (localtime_s(&local, &now) != 0) return 0;
  const time_t as_utc = _mkgmtime(&local);
  if (as_utc == static_cast<time_t>(-1)) return 0;
  return static_cast<int64_t>(as_utc) - static_cast<int64_t>(now);
}

}  // namespace velmora::platform
