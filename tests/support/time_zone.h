// Sets the process's time zone as the C runtime reads it (the TZ variable) for the life of the
// object, and puts the old one back: local-time code is tested under a zone of the test's
// choosing, whatever the machine's own, on every system.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace velmora::test {

class TimeZoneGuard {
 public:
  // A POSIX TZ text such as "EST5" or "XXX-3"; the Windows C runtime reads the same form.
  explicit TimeZoneGuard(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    Set(tz);
  }
  ~TimeZoneGuard() { Set(saved_ ? saved_->c_str() : nullptr); }
  TimeZoneGuard(const TimeZoneGuard&) = delete;
  TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

 private:
  static void Set(const char* tz) {
#ifdef _WIN32
    // "TZ=" removes the variable.
    _putenv((std::string("TZ=") + (tz != nullptr ? tz : "")).c_str());
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

  std::optional<std::string> saved_;
};

}  // namespace velmora::test
