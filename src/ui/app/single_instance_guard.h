// Marks a running copy of the program with a named mutex in the Global\ namespace, so that
// a second start, by the same or by another logged-on user, sees it and ends.
#pragma once

#include <windows.h>

#include "winfw/handles.h"

namespace velmora::ui {

inline constexpr const wchar_t* kInstanceMutexName =
    L"Global\\{VONDREL05CA3573-B449-4e0b-83F5-7FD612E378VONDRELCALC}";

class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const wchar_t* name = kInstanceMutexName);
  // Another copy created the mutex first.
  bool AnotherCopyRuns() const { return error_ == ERROR_ALREADY_EXISTS; }

 private:
  winfw::UniqueHandle mutex_;
  DWORD error_ = 0;
};

}  // namespace velmora::ui
