#include "engine/scan/entry_time.h"

#include <ctime>

namespace velmora {
namespace {

// The "C" locale's names, so the text does not change with the user's locale.
constexpr const wchar_t* kDayNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                        L"Thursday", L"Friday", L"Saturday"};
constexpr const wchar_t* kMonthNames[] = {L"January",   L"February", L"March",    L"April",
                                          L"May",       L"June",     L"July",     L"August",
                                          L"September", L"October",  L"November", L"December"};

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 0 = Sunday, proleptic Gregorian calendar (Sakamoto's method).
int DayOfWeek(int year, int month, int day) {
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

void AppendTwoDigits(std::wstring& text, int value) {
  text.push_back(static_cast<wchar_t>(L'0' + value / 10 % 10));
  text.push_back(static_cast<wchar_t>(L'0' + value % 10));
}

}  // namespace

std::wstring FormatEntryTime(uint16_t dos_date, uint16_t dos_time) {
  const int day = dos_date & 0x1F;
  const int month = (dos_date >> 5) & 0x0F;
  const int year = 1980 + (dos_date >> 9);
  const int seconds_field = dos_time & 0x1F;
  const int minute = (dos_time >> 5) & 0x3F;
  const int hour = dos_time >> 11;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || seconds_field > 29) {
    return {};
  }

  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = seconds_field * 2;
  local.tm_isdst = -1;
  std::tm normalised = local;
  // mktime moves a time that a spring-forward skips; where it cannot represent the time at all
  // the decoded fields are shown as they are.
  if (std::mktime(&normalised) != static_cast<std::time_t>(-1)) local = normalised;

  const int y = local.tm_year + 1900;
  const int m = local.tm_mon + 1;
  std::wstring text;
  text.reserve(48);
  text += kDayNames[DayOfWeek(y, m, local.tm_mday)];
  text += L", ";
  text += kMonthNames[local.tm_mon];
  text += L' ';
  AppendTwoDigits(text, local.tm_mday);
  text += L", ";
  text += std::to_wstring(y);
  text += L' ';
  const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  AppendTwoDigits(text, hour12);
  text += L':';
  AppendTwoDigits(text, local.tm_min);
  text += L':';
  AppendTwoDigits(text, local.tm_sec);
  text += local.tm_hour < 12 ? L" AM " : L" PM ";
  return text;
}

}  // namespace velmora
