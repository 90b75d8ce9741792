#include "ui/view/view_job_window.h"

#include <utility>

namespace velmora::ui {

void ViewJobWindow::Queue(Kind kind, Bar bar, std::function<void()> run, int file) {
  // The view's own handlers go through here too (a job's start and Stop): on the
  // user-interface thread the call is carried out at once, after what is queued.
  if (GetCurrentThreadId() == ui_thread_) {
    Drain();
    run();
    return;
  }
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({kind, bar, file, std::move(run)});
    post = !std::exchange(posted_, true);
  }
  // One message per batch: the next one goes out only once this batch has been taken.
  if (post) PostMessageW(view_, kMsgJobQueued, 0, 0);
}

void ViewJobWindow::OnQueued() {
  const DWORD since = GetTickCount() - last_batch_;
  if (since >= kJobBatchMs) {
    Drain();
  } else if (!timer_) {
    timer_ = SetTimer(view_, kJobQueueTimer, kJobBatchMs - since, nullptr) != 0;
    if (!timer_) Drain();
  }
}

void ViewJobWindow::Drain() {
  if (timer_) {
    KillTimer(view_, kJobQueueTimer);
    timer_ = false;
  }
  // A call of the batch that came back here (none sends messages that would) finds the
  // queue being carried out and leaves it to this one, in order.
  if (draining_) return;
  std::vector<Queued> batch;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    batch.swap(queue_);
    posted_ = false;
  }
  last_batch_ = GetTickCount();
  if (batch.empty()) return;
  // Only the last position of each bar is drawn; one set before a new range or a reset of
  // its bar is kept, since the completion estimate follows them.
  bool overtaken[2] = {false, false};
  for (size_t i = batch.size(); i-- > 0;) {
    Queued& q = batch[i];
    bool& later = overtaken[q.bar == Bar::kFile ? 0 : 1];
    if (q.kind == Kind::kBarPos) {
      if (later) q.run = nullptr;
      later = true;
    } else if (q.kind == Kind::kBarScale) {
      later = false;
    }
  }
  draining_ = true;
  for (Queued& q : batch) {
    if (q.run) q.run();
  }
  draining_ = false;
}

bool ViewJobWindow::QueueChangesFile(int file) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Queued& q : queue_) {
    if (q.file == file) return true;
  }
  return false;
}

void ViewJobWindow::OnCall(const JobCall& call) {
  // The jobs read one file's item once or twice per file, and the save the media check box
  // once per file. Had every read waited for the whole queue, the worker would stand still for
  // each batch the window draws; the items are neither added nor removed while a job runs, so
  // only the queued changes of that item matter.
  const bool wait = call.file == kJobCallReadsAll ||
                    (call.file != kJobCallReadsUnqueued && QueueChangesFile(call.file));
  if (wait) Drain();
  call.invoke(call.callable);
}

int ViewJobWindow::ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) {
  // A box without an owner is shown by the worker itself: it blocks the worker alone and
  // leaves the window free (Stop stays at hand). The window shows everything before it.
  if (owner == BoxOwner::kNone) {
    Run([this] {
      if (before_box_) before_box_();
    });
    return target_.ShowMessageBox(owner, text, flags);
  }
  int result = 0;
  Run([&] { result = target_.ShowMessageBox(owner, text, flags); });
  return result;
}
void ViewJobWindow::ShowPreview(const std::wstring& path, PreviewCode code) {
  // Synchronous: a job asks for the blank pane before it deletes the files the picture
  // may come from.
  Run([&] { target_.ShowPreview(path, code); });
}
void ViewJobWindow::ResetEstimate(Bar bar) {
  Queue(Kind::kBarScale, bar, [this, bar] { target_.ResetEstimate(bar); });
}
void ViewJobWindow::SetBarRange(Bar bar, uint16_t upper) {
  Queue(Kind::kBarScale, bar, [this, bar, upper] { target_.SetBarRange(bar, upper); });
}
void ViewJobWindow::SetBarPos(Bar bar, int position) {
  Queue(Kind::kBarPos, bar, [this, bar, position] { target_.SetBarPos(bar, position); });
}
void ViewJobWindow::SetLogText(const std::wstring& text) {
  Queue([this, text] { target_.SetLogText(text); });
}
void ViewJobWindow::AppendLog(const std::wstring& text, uint32_t colour) {
  Queue([this, text, colour] { target_.AppendLog(text, colour); });
}
void ViewJobWindow::EnableControl(Control control, bool enable) {
  Queue([this, control, enable] { target_.EnableControl(control, enable); });
}
void ViewJobWindow::ShowControl(Control control, bool show) {
  Queue([this, control, show] { target_.ShowControl(control, show); });
}
int ViewJobWindow::MediaChecked() {
  int result = 0;
  // Read once per saved file.
  Run([&] { result = target_.MediaChecked(); }, kJobCallReadsUnqueued);
  return result;
}
std::wstring ViewJobWindow::Destination() {
  std::wstring result;
  Run([&] { result = target_.Destination(); });
  return result;
}
void ViewJobWindow::ClearDestination() {
  Queue([this] { target_.ClearDestination(); });
}
void ViewJobWindow::SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) {
  Queue([this, text, bold] { target_.SetHelpText(text, bold); });
}
void ViewJobWindow::Relayout() {
  Queue([this] { target_.Relayout(); });
}
void ViewJobWindow::SetFlag(ViewFlag flag, bool value) {
  Queue([this, flag, value] { target_.SetFlag(flag, value); });
}
int ViewJobWindow::FileCount() {
  int result = 0;
  Run([&] { result = target_.FileCount(); });
  return result;
}
std::wstring ViewJobWindow::FileText(int index) {
  std::wstring result;
  Run([&] { result = target_.FileText(index); }, index);
  return result;
}
void ViewJobWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  QueueFileChange(index,
                  [this, index, text, image] { target_.ReplaceFileItem(index, text, image); });
}
intptr_t ViewJobWindow::FileData(int index) {
  intptr_t result = 0;
  Run([&] { result = target_.FileData(index); }, index);
  return result;
}
void ViewJobWindow::SetFileData(int index, intptr_t data) {
  QueueFileChange(index, [this, index, data] { target_.SetFileData(index, data); });
}
FileVerdict ViewJobWindow::GetFileVerdict(int index) {
  FileVerdict result;
  Run([&] { result = target_.GetFileVerdict(index); }, index);
  return result;
}
void ViewJobWindow::SetFileVerdict(int index, const FileVerdict& verdict) {
  QueueFileChange(index, [this, index, verdict] { target_.SetFileVerdict(index, verdict); });
}
void ViewJobWindow::ClearEntries() {
  Queue([this] { target_.ClearEntries(); });
}
void ViewJobWindow::AppendEntry(const RecoveredEntry& entry) {
  Queue([this, entry] { target_.AppendEntry(entry); });
}

}  // namespace velmora::ui
