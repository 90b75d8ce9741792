#include "output/zip_time.h"

#include <cstdint>
#include <ctime>

namespace velmora {

namespace {

struct CivilTime {
  int64_t year;
  int month;   // 1..12
  int day;     // 1..31
  int second;  // of the day, 0..86399
};

// Calendar fields of a count of seconds since 1970-01-01 on the proleptic Gregorian calendar
// (the days-to-civil conversion of 400-year eras, exact for any 64-bit input we can get).
CivilTime ToCivil(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;  // from 1970-01-01 to 0000-03-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 = March
  CivilTime civil;
  civil.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  civil.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  civil.year = year_of_era + era * 400 + (civil.month <= 2 ? 1 : 0);
  civil.second = static_cast<int>(rest);
  return civil;
}

}  // namespace

DosDateTime ToDosDateTime(int64_t local_seconds) {
  CivilTime civil = ToCivil(local_seconds);
  if (civil.year < 1980) civil = {1980, 1, 1, 0};
  if (civil.year > 2107) civil = {2107, 12, 31, 86398};
  DosDateTime dos;
  const int hour = civil.second / 3600;
  const int minute = civil.second / 60 % 60;
  dos.time = static_cast<uint16_t>(hour << 11 | minute << 5 | (civil.second % 60) / 2);
  dos.date = static_cast<uint16_t>((civil.year - 1980) << 9 | civil.month << 5 | civil.day);
  return dos;
}

uint32_t ToExtraFieldTime(int64_t local_seconds) {
  // The runtime's mktime looks at the system's time zone file on every call; the three times
  // of a file, and the files of one folder, mostly share their second.
  thread_local int64_t last_input = INT64_MIN;
  thread_local uint32_t last_result = 0;
  if (local_seconds == last_input) return last_result;
  CivilTime civil = ToCivil(local_seconds);
  if (civil.year < 1970) {
    civil.year = 1970;
    civil.month = 1;
    civil.day = 1;
  } else if (civil.year > 2037) {
    civil.year = 2037;
    civil.month = 12;
    civil.day = 31;
  }
  struct tm fields {};
  fields.tm_year = static_cast<int>(civil.year - 1900);
  fields.tm_mon = civil.month - 1;
  fields.tm_mday = civil.day;
  fields.tm_hour = civil.second / 3600;
  fields.tm_min = civil.second / 60 % 60;
  fields.tm_sec = civil.second % 60;
  fields.tm_isdst = 0;
  const time_t unix_time = mktime(&fields);
  last_input = local_seconds;
  last_result =
      unix_time < 0 ? 0 : static_cast<uint32_t>(static_cast<int64_t>(unix_time) & 0xFFFFFFFF);
  return last_result;
}

}  // namespace velmora
