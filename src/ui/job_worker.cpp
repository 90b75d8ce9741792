#include "ui/job_worker.h"

namespace velmora::ui {

JobWorker::~JobWorker() {
  WaitPumping();
}

void JobWorker::Adopt(std::thread worker, HWND notify) {
  if (!worker.joinable()) return;
  WaitPumping();  // at most one job at a time; a previous one has ended by now
  done_ = std::make_shared<std::atomic<bool>>(false);
  watcher_ = std::thread([worker = std::move(worker), notify, done = done_]() mutable {
    worker.join();
    done->store(true);
    PostMessageW(notify, kMsgJobEnded, 0, 0);
  });
}

void JobWorker::Join() {
  if (watcher_.joinable() && done_ && done_->load()) watcher_.join();
}

void JobWorker::WaitPumping() {
  if (!watcher_.joinable()) return;
  bool quit = false;
  WPARAM quit_code = 0;
  while (!done_->load()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;  // kept for the main loop, once the worker is gone
        quit_code = msg.wParam;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  watcher_.join();
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

}  // namespace velmora::ui
