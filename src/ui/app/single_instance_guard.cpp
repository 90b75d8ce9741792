#include "ui/app/single_instance_guard.h"

namespace velmora::ui {

SingleInstanceGuard::SingleInstanceGuard(const wchar_t* name)
    : mutex_(CreateMutexW(nullptr, FALSE, name)), error_(GetLastError()) {}

}  // namespace velmora::ui
