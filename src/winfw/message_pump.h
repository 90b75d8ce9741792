// Waiting on the user-interface thread without freezing it: messages are dispatched while
// the wait lasts, so that a worker's synchronous calls to the window are carried out.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora::winfw {

// Dispatches messages until `done()` is true or `timeout_ms` has passed (INFINITE: no limit).
// Returns done()'s last answer. A WM_QUIT met on the way is posted again before returning, so
// the main loop still ends.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeout_ms = INFINITE);

}  // namespace velmora::winfw
