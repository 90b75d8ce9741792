// The window's share of a repair: the real frame and view made in this process, the files
// added as the command line adds them, Repair and Save run through the view's handlers with
// messages pumped until each job has ended, and the wall time of each phase printed. A second
// mode feeds the activity log from a worker thread, as the jobs do, and times the appends and
// the window's answers to WM_NULL while the log grows.
//
//   gui_repair_bench run FOLDER OUT WORK [--no-save] [--probe] [--hidden]
//     every *.ods of FOLDER (by name), working folder WORK, packages saved into OUT with the
//     media check box cleared; --probe also times WM_NULL round trips while the jobs run;
//     --hidden never shows the frame, so that nothing is drawn
//   gui_repair_bench log LINES
//     LINES appends to the log; the time per append at each thousand lines, the time until
//     all are in the log and the WM_NULL round trips until then
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/job/job_texts.h"
#include "engine/job/working_folder.h"
#include "ui/dialogs/dialogs.h"
#include "ui/frame/main_frame.h"
#include "ui/resource_ids.h"
#include "ui/view/rich_text.h"
#include "ui/view/velmora_view.h"
#include "winfw/gdiplus_session.h"
#include "winfw/message_pump.h"

namespace {

using Clock = std::chrono::steady_clock;
using velmora::ui::CMainFrame;
using velmora::ui::CVelmoraView;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Kernel plus user time of GetThreadTimes or GetProcessTimes, in milliseconds (0 on failure).
template <class Times>
double CpuMs(Times times, HANDLE of) {
  FILETIME created, ended, kernel, user;
  if (!times(of, &created, &ended, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e4;
  };
  return ms(kernel) + ms(user);
}

// The processor time this thread has used so far.
double ThreadCpuMs() {
  return CpuMs(GetThreadTimes, GetCurrentThread());
}

// The processor time the whole process has used so far, every thread.
double ProcessCpuMs() {
  return CpuMs(GetProcessTimes, GetCurrentProcess());
}

// Any box the jobs raise is counted and answered OK (No for a question), never shown.
class SilentDialogs : public velmora::ui::Dialogs {
 public:
  int MessageBox(HWND, const std::wstring&, unsigned flags) override {
    boxes.fetch_add(1);
    return (flags & MB_YESNO) != 0 ? IDNO : IDOK;
  }
  bool OpenFiles(HWND, std::vector<std::wstring>&) override { return false; }
  bool BrowseFolder(HWND, std::wstring&) override { return false; }
  std::atomic<int> boxes{0};
};

// What the program sets up before its window, and the frame sized as the tests size it.
class Window {
 public:
  // `shown` false leaves the frame hidden: nothing is drawn, everything else is the same.
  explicit Window(bool shown = true) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    gdiplus_ = std::make_unique<velmora::winfw::GdiplusSession>();
    previous_ = velmora::ui::SetDialogs(&dialogs_);
    frame_ = std::make_unique<CMainFrame>();
    if (!frame_->Create()) {
      frame_.reset();
      return;
    }
    SetWindowPos(frame_->hwnd(), nullptr, 0, 0, 1024, 768, SWP_NOZORDER | SWP_NOACTIVATE);
    if (shown) {
      ShowWindow(frame_->hwnd(), SW_SHOWNORMAL);
      UpdateWindow(frame_->hwnd());
    }
    velmora::winfw::PumpMessagesUntil([] { return false; }, 50);
  }
  ~Window() {
    if (frame_) {
      frame_->WaitForWorker();
      DestroyWindow(frame_->hwnd());
      frame_.reset();
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    }
    velmora::ui::SetDialogs(previous_);
    gdiplus_.reset();
    OleUninitialize();
  }
  bool ok() const { return frame_ != nullptr; }
  CMainFrame& frame() { return *frame_; }
  CVelmoraView& view() { return *frame_->m_pView; }
  int boxes() const { return dialogs_.boxes.load(); }
  bool WaitIdle() {
    return velmora::winfw::PumpMessagesUntil(
        [this] { return frame_->job_running().load() == 0 && !frame_->worker().Joinable(); },
        30 * 60 * 1000);
  }

 private:
  std::unique_ptr<velmora::winfw::GdiplusSession> gdiplus_;
  SilentDialogs dialogs_;
  velmora::ui::Dialogs* previous_ = nullptr;
  std::unique_ptr<CMainFrame> frame_;
};

// From its own thread, asks the window for a WM_NULL round trip every few milliseconds and
// keeps the times, as a watchdog that decides whether a program hangs would.
class Prober {
 public:
  explicit Prober(HWND target) : target_(target), thread_([this] { Loop(); }) {}
  ~Prober() { Stop(); }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  void Print(const wchar_t* what) {
    Stop();
    if (times_.empty()) {
      std::wprintf(L"%ls: no WM_NULL round trips\n", what);
      return;
    }
    std::vector<double> sorted = times_;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double t : sorted) sum += t;
    std::wprintf(
        L"%ls: %zu WM_NULL round trips, mean %.3f ms, median %.3f ms, 99th %.3f ms, max %.3f "
        L"ms, %d timed out (1 s)\n",
        what, sorted.size(), sum / sorted.size(), sorted[sorted.size() / 2],
        sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)], sorted.back(), timeouts_);
  }

 private:
  void Loop() {
    while (!stop_.load()) {
      DWORD_PTR result = 0;
      const auto start = Clock::now();
      if (SendMessageTimeoutW(target_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) == 0) {
        ++timeouts_;
      } else {
        times_.push_back(MsSince(start));
      }
      Sleep(5);
    }
  }

  HWND target_;
  std::atomic<bool> stop_{false};
  std::vector<double> times_;
  int timeouts_ = 0;
  std::thread thread_;
};

std::vector<std::wstring> OdsFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((folder + L"\\*.ods").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  std::sort(names.begin(), names.end());
  for (std::wstring& name : names) name = folder + L"\\" + name;
  return names;
}

std::wstring FullPath(const wchar_t* path) {
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(path, MAX_PATH, full, nullptr);
  return full;
}

int LogLines(CVelmoraView& view) {
  view.FlushLog();
  return static_cast<int>(SendMessageW(view.log(), EM_GETLINECOUNT, 0, 0));
}

int Run(const std::wstring& folder, const std::wstring& out, const std::wstring& work, bool save,
        bool probe, bool shown) {
  const auto whole = Clock::now();
  const std::vector<std::wstring> files = OdsFiles(folder);
  if (files.empty()) {
    std::fwprintf(stderr, L"no .ods files in %ls\n", folder.c_str());
    return 2;
  }
  velmora::SetWorkingFolderOverride(work);
  Window window(shown);
  if (!window.ok()) {
    std::fwprintf(stderr, L"the frame could not be created\n");
    return 2;
  }
  CVelmoraView& view = window.view();
  const double made = MsSince(whole);

  auto start = Clock::now();
  view.AddFiles(files);
  const double added = MsSince(start);

  std::unique_ptr<Prober> prober;
  if (probe) prober = std::make_unique<Prober>(window.frame().hwnd());
  start = Clock::now();
  double ui_cpu = ThreadCpuMs();
  double all_cpu = ProcessCpuMs();
  view.OnRepairFiles();
  if (!window.WaitIdle()) {
    std::fwprintf(stderr, L"the repair did not end\n");
    return 1;
  }
  const double repaired = MsSince(start);
  const double repair_ui_cpu = ThreadCpuMs() - ui_cpu;
  const double repair_cpu = ProcessCpuMs() - all_cpu;
  int saved_count = 0;
  for (int i = 0; i < view.file_list().Count(); ++i)
    saved_count += view.file_list().ItemData(i) == 1;

  double saved = 0, save_ui_cpu = 0, save_cpu = 0;
  if (save) {
    SendMessageW(view.Child(ID_CHECK_BTN_EXTRACT_FILE_CONTENT), BM_SETCHECK, BST_UNCHECKED, 0);
    view.destination().ApplyText(out);
    start = Clock::now();
    ui_cpu = ThreadCpuMs();
    all_cpu = ProcessCpuMs();
    view.OnSaveFiles();
    if (!window.WaitIdle()) {
      std::fwprintf(stderr, L"the save did not end\n");
      return 1;
    }
    saved = MsSince(start);
    save_ui_cpu = ThreadCpuMs() - ui_cpu;
    save_cpu = ProcessCpuMs() - all_cpu;
  }
  if (prober) prober->Print(L"window during the jobs");
  std::wprintf(
      L"%zu files: window made %.1f ms, files added %.1f ms, repair %.1f ms (%d repaired, "
      L"window's thread busy %.1f ms, all threads %.1f ms), save %.1f ms (window's thread busy "
      L"%.1f ms, all threads %.1f ms); log %d lines; %d boxes\n",
      files.size(), made, added, repaired, saved_count, repair_ui_cpu, repair_cpu, saved,
      save_ui_cpu, save_cpu, LogLines(view), window.boxes());
  // The save's closing box is the only one a whole run raises.
  return saved_count == static_cast<int>(files.size()) && window.boxes() <= (save ? 1 : 0) ? 0 : 1;
}

int Log(int lines) {
  Window window;
  if (!window.ok()) {
    std::fwprintf(stderr, L"the frame could not be created\n");
    return 2;
  }
  CVelmoraView& view = window.view();
  velmora::JobWindow& proxy = view.worker_window();
  constexpr int kBlock = 1000;
  std::vector<double> block_ms;
  std::atomic<bool> done{false};
  // The appends come from a worker, each a synchronous call carried out by this thread, as a
  // job's do; this thread only pumps messages meanwhile.
  std::thread worker([&] {
    const std::wstring path = L"C:\\Users\\someone\\Documents\\Spreadsheets\\Budget-2024-q";
    auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
      const uint32_t colour = i % 5 == 4 ? velmora::kGreen : velmora::kBlack;
      proxy.AppendLog(path + std::to_wstring(i) + L".ods file is extracted....\r\n", colour);
      if ((i + 1) % kBlock == 0) {
        block_ms.push_back(MsSince(start));
        start = Clock::now();
      }
    }
    done.store(true);
    PostMessageW(window.frame().hwnd(), WM_NULL, 0, 0);
  });
  const auto start = Clock::now();
  Prober prober(window.frame().hwnd());
  velmora::winfw::PumpMessagesUntil([&] { return done.load(); });
  worker.join();
  const double appended = MsSince(start);
  // The window writes the lines a slice at a time, answering meanwhile: the probe goes on
  // until every line is in the log.
  const HWND log = view.log();
  velmora::winfw::PumpMessagesUntil(
      [&] { return SendMessageW(log, EM_GETLINECOUNT, 0, 0) > lines; }, 30 * 60 * 1000);
  const double written = MsSince(start);
  prober.Print(L"window while the log grows");
  std::wprintf(L"%d appends made in %.1f ms, all in the log after %.1f ms\n", lines, appended,
               written);
  for (size_t b = 0; b < block_ms.size(); ++b) {
    const size_t at = (b + 1) * kBlock;
    if (b == 0 || at % 10000 == 0 || b + 1 == block_ms.size())
      std::wprintf(L"appends %zu..%zu: %.1f us per append\n", at - kBlock + 1, at,
                   block_ms[b] * 1000.0 / kBlock);
  }
  std::wprintf(L"log %d lines\n", LogLines(view));
  return 0;
}

// Ways of emptying a log of LINES coloured lines, as a job's start does, each timed once on a
// log filled anew through the view's own appends.
int Clear(int lines) {
  Window window;
  if (!window.ok()) return 2;
  CVelmoraView& view = window.view();
  const HWND log = view.log();
  auto fill = [&](bool no_undo) {
    SetWindowTextW(log, L"");
    SendMessageW(log, EM_SETUNDOLIMIT, no_undo ? 0 : 100, 0);
    std::vector<velmora::ui::LogPiece> pieces;
    for (int i = 0; i < lines; ++i)
      pieces.push_back({L"C:\\Users\\someone\\Budget-2024-q" + std::to_wstring(i) +
                            L".ods file is extracted....\r\n",
                        i % 3 == 2 ? velmora::kGreen : velmora::kBlack});
    velmora::ui::AppendLog(log, pieces, 0);
  };
  auto time = [&](const wchar_t* what, bool no_undo, const std::function<void()>& clear) {
    fill(no_undo);
    const auto start = Clock::now();
    clear();
    UpdateWindow(log);
    std::wprintf(L"%-45ls %10.1f ms (%d chars left)\n", what, MsSince(start),
                 static_cast<int>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)));
  };
  time(L"SetWindowTextW empty", false, [&] { SetWindowTextW(log, L""); });
  time(L"SetWindowTextW empty, redraw off", false, [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(log, L"");
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(log, nullptr, TRUE);
  });
  time(L"SetWindowTextW empty, no undo", true, [&] { SetWindowTextW(log, L""); });
  time(L"EM_SETTEXTEX empty", false, [&] {
    SETTEXTEX how{ST_DEFAULT, 1200};
    SendMessageW(log, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(L""));
  });
  time(L"EM_SETTEXTEX empty, keep undo off", false, [&] {
    SETTEXTEX how{ST_DEFAULT | ST_KEEPUNDO, 1200};
    SendMessageW(log, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how), reinterpret_cast<LPARAM>(L""));
  });
  time(L"from the end, 100 lines at a time", false, [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    for (;;) {
      const LONG count = static_cast<LONG>(SendMessageW(log, EM_GETLINECOUNT, 0, 0));
      if (count <= 1) break;
      const LONG first = static_cast<LONG>(
          SendMessageW(log, EM_LINEINDEX, static_cast<WPARAM>(std::max<LONG>(0, count - 101)), 0));
      CHARRANGE tail{first, -1};
      SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&tail));
      SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(log, nullptr, TRUE);
  });
  for (int chunk : {10, 50, 200}) {
    time((L"from the start, " + std::to_wstring(chunk) + L" lines at a time").c_str(), false, [&] {
      SendMessageW(log, WM_SETREDRAW, FALSE, 0);
      for (;;) {
        const LONG count = static_cast<LONG>(SendMessageW(log, EM_GETLINECOUNT, 0, 0));
        const LONG end =
            count > chunk ? static_cast<LONG>(SendMessageW(log, EM_LINEINDEX, chunk, 0)) : -1;
        CHARRANGE head{0, end};
        SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&head));
        SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
        if (end < 0) break;
      }
      SendMessageW(log, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(log, nullptr, TRUE);
    });
  }
  time(L"select all, EM_REPLACESEL empty", false, [&] {
    CHARRANGE all{0, -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  });
  // Last: the view's log is gone afterwards.
  fill(false);
  RECT r{};
  GetWindowRect(log, &r);
  MapWindowPoints(nullptr, GetParent(log), reinterpret_cast<POINT*>(&r), 2);
  auto start = Clock::now();
  const HWND fresh =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"RichEdit20W", L"",
                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL |
                          ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_MULTILINE,
                      r.left, r.top, r.right - r.left, r.bottom - r.top, GetParent(log), nullptr,
                      GetModuleHandleW(nullptr), nullptr);
  const double created = MsSince(start);
  start = Clock::now();
  DestroyWindow(log);
  const double destroyed = MsSince(start);
  start = Clock::now();
  UpdateWindow(fresh);
  std::wprintf(L"a new control: created %.1f ms, old one destroyed %.1f ms, drawn %.1f ms\n",
               created, destroyed, MsSince(start));
  return 0;
}

// The messages an append to the log is made of, each timed alone on a log of LINES lines.
int Parts(int lines) {
  Window window;
  if (!window.ok()) return 2;
  const HWND log = window.view().log();
  std::wstring text;
  for (int i = 0; i < lines; ++i)
    text += L"C:\\Users\\someone\\Budget-2024-q" + std::to_wstring(i) +
            L".ods file is extracted....\r\n";
  SetWindowTextW(log, text.c_str());
  auto time = [](const wchar_t* what, const std::function<void()>& f) {
    constexpr int kRepeat = 50;
    const auto start = Clock::now();
    for (int i = 0; i < kRepeat; ++i) f();
    std::wprintf(L"%-40ls %10.1f us\n", what, MsSince(start) * 1000.0 / kRepeat);
  };
  time(L"EM_GETLINECOUNT", [&] { SendMessageW(log, EM_GETLINECOUNT, 0, 0); });
  time(L"WM_GETTEXTLENGTH", [&] { SendMessageW(log, WM_GETTEXTLENGTH, 0, 0); });
  time(L"EM_SETSEL end", [&] { SendMessageW(log, EM_SETSEL, -1, -1); });
  time(L"EM_EXSETSEL end", [&] {
    CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  });
  time(L"EM_SETCHARFORMAT selection", [&] {
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = velmora::kGreen;
    SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  });
  time(L"EM_REPLACESEL one line", [&] {
    SendMessageW(log, EM_SETSEL, -1, -1);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"one more line....\r\n"));
  });
  time(L"EM_REPLACESEL, redraw off", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"one more line....\r\n"));
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
  });
  time(L"+ EM_LINESCROLL redraw off", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"one more line....\r\n"));
    SendMessageW(log, EM_LINESCROLL, 0, 1);
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
  });
  time(L"+ invalidate + update", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"one more line....\r\n"));
    SendMessageW(log, EM_LINESCROLL, 0, 1);
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(log, nullptr, TRUE);
    UpdateWindow(log);
  });
  // A save's batch of four lines as the view writes it, then drawn; and ways of scrolling
  // after the same insertions.
  const std::vector<velmora::ui::LogPiece> batch = {
      {L"C:\\Users\\someone\\Budget.ods saving of file starts....\r\n", velmora::kBlack},
      {L"C:\\Users\\someone\\Budget.ods saving of file done....\r\n", velmora::kGreen},
      {L"*************************************************\r\n", velmora::kBlack}};
  time(L"batch of 3 (AppendLog) + paint", [&] {
    velmora::ui::AppendLog(log, batch, 0);
    UpdateWindow(log);
  });
  auto insert = [&] {
    CHARFORMATW format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    for (const velmora::ui::LogPiece& piece : batch) {
      CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
      SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
      format.crTextColor = piece.colour;
      SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
      SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.text.c_str()));
    }
  };
  time(L"batch, no scroll, redraw + paint", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    insert();
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    UpdateWindow(log);
  });
  time(L"batch, no scroll, redraw client + paint", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    insert();
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    UpdateWindow(log);
  });
  time(L"redraw frame only + paint", [&] {
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    UpdateWindow(log);
  });
  time(L"redraw client only + paint", [&] {
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    UpdateWindow(log);
  });
  time(L"SetScrollInfo-free: EM_LINESCROLL 0 + paint", [&] {
    SendMessageW(log, EM_LINESCROLL, 0, 0);
    UpdateWindow(log);
  });
  time(L"batch, SB_BOTTOM off, redraw + paint", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    insert();
    SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(log, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    UpdateWindow(log);
  });
  time(L"batch, redraw on, EM_LINESCROLL + paint", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    const auto before = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    insert();
    const auto after = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    SendMessageW(log, EM_LINESCROLL, 0, static_cast<LPARAM>(after - before));
    UpdateWindow(log);
  });
  time(L"batch, redraw on, no scroll + paint", [&] {
    SendMessageW(log, WM_SETREDRAW, FALSE, 0);
    insert();
    SendMessageW(log, WM_SETREDRAW, TRUE, 0);
    UpdateWindow(log);
  });
  time(L"batch, hidden, EM_LINESCROLL, shown + paint", [&] {
    ShowWindow(log, SW_HIDE);
    const auto before = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    insert();
    const auto after = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    SendMessageW(log, EM_LINESCROLL, 0, static_cast<LPARAM>(after - before));
    ShowWindow(log, SW_SHOWNA);
    UpdateWindow(log);
  });
  SendMessageW(log, EM_SETUNDOLIMIT, 0, 0);
  time(L"EM_REPLACESEL no undo", [&] {
    CHARRANGE end{static_cast<LONG>(SendMessageW(log, WM_GETTEXTLENGTH, 0, 0)), -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"one more line....\r\n"));
  });
  time(L"EM_LINESCROLL 1", [&] { SendMessageW(log, EM_LINESCROLL, 0, 1); });
  time(L"WM_VSCROLL SB_BOTTOM", [&] { SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0); });
  time(L"EM_SCROLLCARET", [&] { SendMessageW(log, EM_SCROLLCARET, 0, 0); });
  time(L"InvalidateRect erase + UpdateWindow", [&] {
    InvalidateRect(log, nullptr, TRUE);
    UpdateWindow(log);
  });
  time(L"UpdateWindow", [&] { UpdateWindow(log); });
  time(L"cross-thread WM_NULL", [&] {
    std::atomic<bool> answered{false};
    std::thread t([&] {
      SendMessageW(log, WM_NULL, 0, 0);
      answered.store(true);
    });
    velmora::winfw::PumpMessagesUntil([&] { return answered.load(); });
    t.join();
  });
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() >= 4 && args[0] == L"run") {
    bool save = true, probe = false, shown = true;
    for (size_t i = 4; i < args.size(); ++i) {
      if (args[i] == L"--no-save") save = false;
      if (args[i] == L"--probe") probe = true;
      if (args[i] == L"--hidden") shown = false;
    }
    return Run(FullPath(args[1].c_str()), FullPath(args[2].c_str()), FullPath(args[3].c_str()),
               save, probe, shown);
  }
  if (args.size() == 2 && args[0] == L"parts") return Parts(std::max(1, _wtoi(args[1].c_str())));
  if (args.size() == 2 && args[0] == L"clear") return Clear(std::max(1, _wtoi(args[1].c_str())));
  if (args.size() == 2 && args[0] == L"log") return Log(std::max(1, _wtoi(args[1].c_str())));
  std::fwprintf(stderr,
                L"usage: gui_repair_bench run FOLDER OUT WORK [--no-save] [--probe] [--hidden]\n"
                L"       gui_repair_bench log LINES\n");
  return 2;
}
