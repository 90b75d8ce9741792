// A time zone of the test's choosing for the life of an object.
#pragma once

#include <string>

namespace velmora::test {

// Sets the TZ variable (a POSIX zone text such as "EST5" or "CET-1CEST,M3.5.0,M10.5.0/3") and
// has the C library read it again; the old value, or its absence, comes back at the end, so a
// failed assertion cannot leave the zone behind for later tests.
class TimeZoneGuard {
 public:
  explicit TimeZoneGuard(const char* tz);
  ~TimeZoneGuard();
  TimeZoneGuard(const TimeZoneGuard&) = delete;
  TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

  // Moves to another zone while the guard lives.
  void Set(const char* tz);

 private:
  bool had_ = false;
  std::string saved_;
};

}  // namespace velmora::test
