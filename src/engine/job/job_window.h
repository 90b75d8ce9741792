// The one boundary between the jobs and the window. The repair and save jobs run on a worker
// thread and reach every control only through this interface. Calls are carried out in the
// order the job makes them. A call that answers something, ShowPreview and every message box
// have completed when they return, and so has every call made before them; a call that
// returns nothing may be carried out a little later (the GUI gathers those and has its
// user-interface thread carry them out in batches; the ownerless message box is the one call
// it carries out on the calling thread, see ShowMessageBox). The command line and the tests
// implement it directly.
//
// The interface deliberately has no method named after a Windows macro (MessageBox, LoadImage,
// ...): a file that includes <windows.h> as well would see such a name silently renamed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan/recovered_entry.h"

namespace velmora {

// Log colours, COLORREF 0x00BBGGRR.
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kGreen = 0x009900;
inline constexpr uint32_t kRed = 0x0000FF;
// A file that came back only in part: neither the green of success nor the red of failure.
inline constexpr uint32_t kOrange = 0x0066CC;

// Message box flags and the answer the jobs rely on.
inline constexpr unsigned kMbInformation = 64;  // OK button, information icon
inline constexpr unsigned kMbQuestion = 36;     // Yes and No buttons, question icon
inline constexpr unsigned kMbWarning = 0x30;    // OK button, warning icon
// Yes, "Yes to all" and No buttons, question icon (the box's extra button bit 0x08000000).
inline constexpr unsigned kMbReplaceQuestion = kMbQuestion | 0x08000000u;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdYesForAll = 19;  // "Yes to all"

// Preview state codes handed to ShowPreview; the numbers are the pane's hint texts.
enum PreviewCode : int {
  kPreviewNoFiles = 0,
  kPreviewFilesAdded = 1,
  kPreviewRepairRunning = 2,
  kPreviewSelectFile = 3,
  kPreviewNoPicture = 4,
  kPreviewNotRepaired = 5,
  kPreviewBlank = 6,  // nothing, or the picture at the given path
  // As kPreviewBlank (or, without a picture, kPreviewNoPicture's hint), with a note that the
  // file held several documents, each saved as a package of its own.
  kPreviewSeveralDocuments = 7,
};

// File-list item images.
inline constexpr int kImageNotRepaired = 0;
inline constexpr int kImageRepaired = 1;
inline constexpr int kImageAdded = 2;
inline constexpr int kImagePartlyRepaired = 3;

// File-list item data: what the save job may do with the item.
inline constexpr intptr_t kItemNotRepaired = 0;
inline constexpr intptr_t kItemRepaired = 1;  // a package is written for each recovered document
inline constexpr intptr_t kItemLost = 2;      // no sheet data came back: no package, but its
                                              // pictures are still copied out when asked

// What a repair brought back of a document, judged from what was recovered.
enum class Verdict : int {
  kNone = 0,     // not judged (not repaired yet)
  kComplete,     // every part that holds the user's data came back whole
  kPartial,      // sheet data came back, but not all of it
  kLost,         // no sheet data came back: no package is written
  kNotRepaired,  // not a repair at all (not an OpenDocument package, not opened, stopped)
};

// The verdict of a listed file, kept with its list item like the item data: the window shows
// the summary in the item's tip and under its preview, the save job reads the documents'.
struct FileVerdict {
  // The file's, from its documents': complete when all are, partial when one has a package
  // and not all are complete, lost when none has sheet data but one is lost, else not repaired.
  Verdict verdict = Verdict::kNone;
  std::wstring summary;            // one line, e.g. "3 sheets, 1,612 rows; ..."; "" for none
  std::vector<Verdict> documents;  // one per document, in the order of their folders
  bool operator==(const FileVerdict&) const = default;
};

// Controls the jobs act on, by role (both progress labels share one control id in the
// window, so ids cannot name them).
enum class Control {
  kSelectFiles,   // id 2
  kRemoveFiles,   // id 3
  kRepairFiles,   // id 307
  kSaveFiles,     // id 4
  kBrowse,        // id 10
  kStop,          // id 11
  kExtractMedia,  // id 16, check box
  kDestination,   // id 8, edit field
  kFileLabel,     // "File progress:"
  kFileBar,       // id 18
  kTotalLabel,    // "Total files progress:"
  kTotalBar,      // id 57666
};

enum class Bar { kFile, kTotal };

// The view flags that gate the menu commands.
enum class ViewFlag { kSelectAllowed, kRemoveRepairAllowed, kSaveAllowed, kRepairRan };

// Owner of a message box.
enum class BoxOwner {
  // No owner given: the box runs on the thread that asks for it, with that thread's own
  // message loop, and takes that thread's active window (if any) as its owner. A worker has
  // no window, so a box it asks for is owned by nothing and blocks only the worker: the window
  // stays usable meanwhile (Stop can be pressed while a worker's box is open). On the
  // user-interface thread (the Stop question) it is modal to the main window.
  kNone,
  // Owned by the main view, modal to the main window: it runs on the user-interface thread
  // like every other call, and the worker waits for its answer.
  kView,
};

// A bold character range [begin, end) of the instruction box.
struct BoldRange {
  int begin;
  int end;
  bool operator==(const BoldRange&) const = default;
};

class JobWindow {
 public:
  virtual ~JobWindow() = default;

  // A modal message box captioned "Velmora"; returns the id of the button that closed it
  // (kIdYes for Yes; anything else counts as a refusal). The text may hold "<br>" and one
  // link, <a href='target'>label</a>. Where the box runs depends on its owner (BoxOwner):
  // an implementation that carries calls over to the user-interface thread must carry out a
  // kNone box on the calling thread instead, so that it never holds up the window.
  virtual int ShowMessageBox(BoxOwner owner, const std::wstring& text, unsigned flags) = 0;
  // The preview pane lets go of any picture, keeps the code and shows the picture at `path`
  // when a file is there, else the code's hint. ShowPreview("", kPreviewBlank) before deleting
  // files under the working folder, so that the pane holds none of them open.
  virtual void ShowPreview(const std::wstring& path, PreviewCode code) = 0;

  virtual void ResetEstimate(Bar bar) = 0;
  // The lower bound is always 0. The bars hold 16 bits: callers scale larger counts with
  // BarUpper/BarPosition (progress_scale.h).
  virtual void SetBarRange(Bar bar, uint16_t upper) = 0;
  virtual void SetBarPos(Bar bar, int position) = 0;

  virtual void SetLogText(const std::wstring& text) = 0;
  virtual void AppendLog(const std::wstring& text, uint32_t colour) = 0;

  virtual void EnableControl(Control control, bool enable) = 0;
  virtual void ShowControl(Control control, bool show) = 0;
  // BM_GETCHECK of the "Extract Media.." check box: 1 = ticked.
  virtual int MediaChecked() = 0;
  // The destination field's text, or "" while it shows its grey prompt.
  virtual std::wstring Destination() = 0;
  // Empties the destination field as typing nothing would: a field still showing its grey
  // prompt keeps it, one the user has typed in stays empty, without the prompt.
  virtual void ClearDestination() = 0;
  virtual void SetHelpText(const std::wstring& text, const std::vector<BoldRange>& bold) = 0;
  // Sends the view WM_SIZE with its window size so it places its controls again.
  virtual void Relayout() = 0;
  virtual void SetFlag(ViewFlag flag, bool value) = 0;

  // The file list, by position.
  virtual int FileCount() = 0;
  virtual std::wstring FileText(int index) = 0;
  // Item `index` becomes what deleting it and inserting at the same position an item with
  // this text and image would leave: item data 0, not selected, as a fresh item.
  virtual void ReplaceFileItem(int index, const std::wstring& text, int image) = 0;
  virtual intptr_t FileData(int index) = 0;
  virtual void SetFileData(int index, intptr_t data) = 0;
  // The item's verdict; a replaced item (ReplaceFileItem) has none, as has a new one.
  virtual FileVerdict GetFileVerdict(int index) = 0;
  virtual void SetFileVerdict(int index, const FileVerdict& verdict) = 0;

  // The hidden entry list of the file being repaired, in discovery order. The window only
  // shows it; the job keeps its own copy of the entries and never reads them back from here.
  virtual void ClearEntries() = 0;
  virtual void AppendEntry(const RecoveredEntry& entry) = 0;
};

}  // namespace velmora
