#include "winfw/message_pump.h"

namespace velmora::winfw {

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  bool quit = false;
  WPARAM quit_code = 0;
  bool finished = done();
  while (!finished) {
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (timeout_ms != INFINITE && elapsed >= timeout_ms) break;
    // Short slices: the condition may turn true without a message (a worker's flag).
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quit_code = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    finished = done();
  }
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return finished;
}

}  // namespace velmora::winfw
