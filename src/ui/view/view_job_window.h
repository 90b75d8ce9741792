// The job window a worker thread is handed. The calls that return nothing are queued in the
// order the job makes them and carried out by the user-interface thread a few times a second,
// each batch at once and drawn once; every call that answers something (and the preview,
// which must let go of its picture before the job deletes files, and every message box)
// first has the user-interface thread carry out everything queued before it, then itself,
// with one synchronous message. The reads a job makes for every file are the exception: one
// file's item needs only the queued calls that change that item, the media check box none,
// so the worker does not wait while the window draws the rest of a batch. So the window always
// shows what the job did, in the order it did it, a little later at most; a worker reads what it
// would read after the whole queue; and the worker never touches a control itself.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

#include "engine/job/job_window.h"

namespace velmora::ui {

// The view's private messages: kMsgJobCall's lParam points at a JobCall on the sender's
// stack; kMsgJobQueued tells that calls wait in the queue.
inline constexpr UINT kMsgJobCall = WM_APP + 1;
inline constexpr UINT kMsgJobQueued = WM_APP + 3;
// The view's timer that carries out queued calls that came too soon after the last batch.
inline constexpr UINT_PTR kJobQueueTimer = 2;
// The least time between two batches: the window is redrawn at most this often for a job.
// Each batch costs the window's thread and the display server a drawing of the bars, the list
// and the log, on the processor the job needs; five a second still look live.
inline constexpr DWORD kJobBatchMs = 200;

// What a synchronous call reads besides a file item: anything (so it waits for the whole
// queue), or only what no queued call changes (the media check box, which jobs enable and
// show but never check), so it waits for nothing.
inline constexpr int kJobCallReadsAll = -1;
inline constexpr int kJobCallReadsUnqueued = -2;
struct JobCall {
  void (*invoke)(void* callable);
  void* callable;
  // The file item the call only reads (FileText, FileData), or one of the two above: a read
  // of one item waits only for the queued calls that change that item.
  int file = kJobCallReadsAll;
};

class ViewJobWindow : public JobWindow {
 public:
  // `target` is the implementation the user-interface thread runs.
  explicit ViewJobWindow(JobWindow& target) : target_(target) {}
  // `view` is the window that answers kMsgJobCall and kMsgJobQueued and owns the timer.
  // What the user-interface thread does before a worker shows a box of its own (the view
  // writes the log lines still waiting).
  void set_before_box(std::function<void()> before_box) { before_box_ = std::move(before_box); }
  void set_view(HWND view) {
    view_ = view;
    ui_thread_ = GetWindowThreadProcessId(view, nullptr);
  }

  // On the user-interface thread: carries out every queued call now, in order.
  void Drain();
  // On the user-interface thread, for kMsgJobQueued and the timer: a batch now, or when
  // kJobBatchMs have passed since the last one.
  void OnQueued();
  // On the user-interface thread, for kMsgJobCall: the queue first (for a read of one file's
  // item, only when the queue holds a change of that item), then the call.
  void OnCall(const JobCall& call);

  int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) override;
  void ShowPreview(const std::wstring& path, PreviewCode code) override;
  void ResetEstimate(Bar bar) override;
  void SetBarRange(Bar bar, uint16_t upper) override;
  void SetBarPos(Bar bar, int position) override;
  void SetLogText(const std::wstring& text) override;
  void AppendLog(const std::wstring& text, uint32_t colour) override;
  void EnableControl(Control control, bool enable) override;
  void ShowControl(Control control, bool show) override;
  int MediaChecked() override;
  std::wstring Destination() override;
  void ClearDestination() override;
  void SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) override;
  void Relayout() override;
  void SetFlag(ViewFlag flag, bool value) override;
  int FileCount() override;
  std::wstring FileText(int index) override;
  void ReplaceFileItem(int index, const std::wstring& text, int image) override;
  intptr_t FileData(int index) override;
  void SetFileData(int index, intptr_t data) override;
  FileVerdict GetFileVerdict(int index) override;
  void SetFileVerdict(int index, const FileVerdict& verdict) override;
  void ClearEntries() override;
  void AppendEntry(const RecoveredEntry& entry) override;

 private:
  // What a queued call does, as far as a batch cares: a bar position overtaken by a later one
  // of the same bar is skipped (a range or a reset of that bar in between keeps it).
  enum class Kind { kOther, kBarPos, kBarScale };
  struct Queued {
    Kind kind;
    Bar bar;
    int file;  // the file item the call changes, or -1
    std::function<void()> run;
  };

  void Queue(Kind kind, Bar bar, std::function<void()> run, int file = -1);
  void Queue(std::function<void()> run) { Queue(Kind::kOther, Bar::kFile, std::move(run)); }
  // A call that changes file item `file`.
  void QueueFileChange(int file, std::function<void()> run) {
    Queue(Kind::kOther, Bar::kFile, std::move(run), file);
  }
  // Whether a queued call changes file item `file`.
  bool QueueChangesFile(int file);
  // One synchronous message: everything queued before (or, for a read of file item `file`,
  // the changes of that item), then `f`, on the user-interface thread; on that thread
  // itself, both at once.
  template <class F>
  void Run(F&& f, int file = kJobCallReadsAll) {
    JobCall call{[](void* p) { (*static_cast<F*>(p))(); }, &f, file};
    SendMessageW(view_, kMsgJobCall, 0, reinterpret_cast<LPARAM>(&call));
  }

  JobWindow& target_;
  HWND view_ = nullptr;
  DWORD ui_thread_ = 0;
  std::function<void()> before_box_;
  std::mutex mutex_;
  std::vector<Queued> queue_;  // guarded by mutex_
  bool posted_ = false;        // guarded by mutex_: kMsgJobQueued is on its way
  // User-interface thread only.
  bool timer_ = false;
  bool draining_ = false;
  DWORD last_batch_ = 0;
};

}  // namespace velmora::ui
