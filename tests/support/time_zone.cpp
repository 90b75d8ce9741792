#include "support/time_zone.h"

#include <cstdlib>
#include <ctime>

namespace velmora::test {
namespace {

void PutZone(const char* tz) {
#ifdef _WIN32
  // An empty value removes the variable.
  _putenv_s("TZ", tz != nullptr ? tz : "");
  _tzset();
#else
  if (tz != nullptr) {
    setenv("TZ", tz, 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
#endif
}

}  // namespace

TimeZoneGuard::TimeZoneGuard(const char* tz) {
  const char* old = std::getenv("TZ");
  had_ = old != nullptr;
  if (had_) saved_ = old;
  PutZone(tz);
}

TimeZoneGuard::~TimeZoneGuard() {
  PutZone(had_ ? saved_.c_str() : nullptr);
}

void TimeZoneGuard::Set(const char* tz) {
  PutZone(tz);
}

}  // namespace velmora::test
