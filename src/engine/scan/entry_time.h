// The modification time of a recovered entry as text.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Decodes an MS-DOS date (bits 0-4 day, 5-8 month, 9-15 years since 1980) and time (bits 0-4
// seconds / 2, 5-10 minutes, 11-15 hours) as local time and formats it like strftime's
// "%A, %B %d, %Y %I:%M:%S %p " in the "C" locale, trailing blank included:
// date 0x3D70, time 0x74B7 -> "Tuesday, November 16, 2010 02:37:46 PM ".
// The local time goes through mktime with daylight saving left to the system, so an hour that
// a spring-forward skips comes out as mktime normalises it. Fields that do not form a calendar
// value (month 0 or above 12, day 0 or past the month's end, hour above 23, minute above 59,
// seconds field above 29), as random bytes after a false signature give, yield an empty text.
std::wstring FormatEntryTime(uint16_t dos_date, uint16_t dos_time);

}  // namespace velmora
