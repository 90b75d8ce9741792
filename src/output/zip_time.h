// The time stamps of written packages: the MS-DOS time and date of the headers and the Unix
// times of the extended time stamp field.
//
// Both are computed from a file time moved to local wall-clock time: the UTC seconds plus the
// local offset in force now (not the one in force at the file's date), then read as calendar
// fields as if they were UTC.
#pragma once

#include <cstdint>

namespace velmora {

struct DosDateTime {
  uint16_t time = 0;  // hour << 11 | minute << 5 | second / 2
  uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
};

// The MS-DOS form of a local wall-clock time (seconds since 1970-01-01 of the shifted clock).
// The form holds 1980 to 2107 only: earlier times become 1 January 1980 00:00:00 and later
// ones 31 December 2107 23:59:58, so that every header carries a valid date.
DosDateTime ToDosDateTime(int64_t local_seconds);

// The Unix time written into the extended time stamp for a local wall-clock time: a year
// before 1970 becomes 1 January 1970 and a year after 2037 becomes 31 December 2037, the time
// of day kept; the calendar fields then go through mktime with daylight saving marked off.
// A result before 1970 UTC (or a failing mktime) is written as 0.
uint32_t ToExtraFieldTime(int64_t local_seconds);

}  // namespace velmora
