// The view's controls, created in the order the window has always made them, each with an
// empty rectangle: the layout places them.
#include "ui/view/velmora_view.h"

#include <richedit.h>

#include "engine/job/job_texts.h"
#include "ui/frame/main_frame.h"
#include "ui/resource_ids.h"
#include "ui/view/rich_text.h"
#include "winfw/bitmaps.h"

namespace velmora::ui {

void CVelmoraView::FitLabelFont(HWND label, int width) {
  // The label's row is 290 pixels wide; where the system's Arial is wider than the one the
  // layout was made with, a slightly smaller bold face keeps the text on one line.
  const std::wstring text = winfw::WindowText(label);
  winfw::WindowDc dc(label);
  for (int height = 16; height >= 12; --height) {
    winfw::Font font(CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS,
                                 L"Arial"));
    winfw::SelectObj select(dc.get(), font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    if (size.cx <= width || height == 12) {
      if (height != 16) {
        label_font_ = std::move(font);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(label_font_.get()), FALSE);
      }
      return;
    }
  }
}

HWND CVelmoraView::CreateLog(const std::wstring& text) {
  winfw::ControlArgs args;
  args.parent = hwnd();
  args.id = ID_TARVIK_EDIT_CTRL;
  args.class_name = winfw::kRichEdit20Class;
  args.style = WS_VISIBLE | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | ES_READONLY |
               ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_MULTILINE;
  args.ex_style = WS_EX_CLIENTEDGE;
  const HWND log = winfw::CreateControl(args);
  if (log != nullptr) {
    CHARFORMATW log_format = LogFormat();
    SendMessageW(log, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&log_format));
    // Tens of thousands of lines: lift the rich edit's 32K-character default.
    SendMessageW(log, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    SetWindowTextW(log, text.c_str());
    SendMessageW(log, EM_SETREADONLY, TRUE, 0);
  }
  return log;
}

bool CVelmoraView::CreateControls() {
  const HWND self = hwnd();
  winfw::ControlArgs args;
  args.parent = self;

  // 1. The file list.
  args.id = ID_TARVIK_LIST_CTRL;
  args.class_name = winfw::kListViewClass;
  args.style = WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT;
  if (!list_.Attach(winfw::CreateControl(args))) return false;
  list_.set_status_sink([this](const std::wstring& text) { frame_.SetStatusText(text); });
  SendMessageW(list_.hwnd(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  SendMessageW(list_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(winfw::MessageFont()), FALSE);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.fmt = LVCFMT_LEFT;
  column.cx = 900;
  column.pszText = const_cast<wchar_t*>(L"File Name");
  SendMessageW(list_.hwnd(), LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

  // 2. The buttons, with tooltips and pictures.
  tooltips_.Create(self);
  const HFONT font = winfw::MessageFont();
  struct ButtonSpec {
    ImageButton* button;
    int id;
    const wchar_t* text;
    const wchar_t* tip;
    int image;
  };
  const ButtonSpec buttons[] = {
      {&select_, ID_TARVIK_BTN_SELECT_FILES, L"Select files", L"Select file(s)", IDB_BTN_SELECT},
      {&remove_, ID_TARVIK_BTN_REMOVE_FILES, L"Remove files", L"Remove file(s)", IDB_BTN_REMOVE},
      {&repair_, ID_TARVIK_BTN_RECOVER_FILES, L"Repair files", L"Repair file(s)", IDB_BTN_REPAIR},
      {&save_, ID_TARVIK_BTN_SAVE_FILES, L"Save...", L"Save file(s)", IDB_BTN_SAVE},
      {&stop_, ID_TARVIK_BTN_STOP, L"Stop", L"Stop", IDB_BTN_STOP},
      {&exit_, ID_TARVIK_BTN_EXIT, L"Exit", L"Exit", IDB_BTN_EXIT},
  };
  for (const ButtonSpec& b : buttons) {
    if (!b.button->Create(self, b.id, b.text, font, b.image)) return false;
    tooltips_.Add(b.button->hwnd(), b.tip);
  }

  // 3. Save-location label, preview pane, activity log, instruction box.
  save_label_ =
      StaticLabel(L"Please select location to save repaired file(s):", bold_font_.get(), SS_NOTIFY);
  FitLabelFont(save_label_, 290);
  args.id = IDC_TARVIK_STATIC_PICTURE_CTRL;
  args.class_name = winfw::kStaticClass;
  args.text.clear();
  args.style = WS_VISIBLE | SS_NOTIFY;
  if (!picture_.Attach(winfw::CreateControl(args))) return false;

  winfw::LoadRichEdit20();
  log_ = CreateLog(kLogStart);
  args.id = ID_TARVIK_RICH_EDIT_CTRL;
  args.class_name = winfw::kRichEdit20Class;
  args.style = WS_VISIBLE | ES_MULTILINE;
  args.ex_style = WS_EX_TRANSPARENT;
  help_ = winfw::CreateControl(args);
  args.ex_style = 0;
  if (help_ != nullptr) {
    CHARFORMATW format = InstructionFormat();
    SendMessageW(help_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SetHelpText(kHelpStart, kHelpStartBold);
    SendMessageW(help_, EM_SETREADONLY, TRUE, 0);
  }

  // 4. Destination field, Browse button, the list's pictures.
  args.id = ID_TARVIK_BROWSE_EDIT_CTRL;
  args.class_name = winfw::kEditClass;
  args.style = WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
  args.font = regular_font_.get();
  if (!destination_.Attach(winfw::CreateControl(args))) return false;
  args.font = nullptr;
  destination_.ChangePrompt(L"<Please enter valid path to save repaired calc file(s)> ");
  destination_.SetPromptColour(RGB(158, 158, 158));
  if (!browse_.Create(self, ID_TARVIK_BTN_BROWSE, L"...", font, IDB_BTN_BROWSE)) return false;
  tooltips_.Add(browse_.hwnd(), L"Browse folder");

  winfw::Bitmap icons = winfw::LoadBitmapResource(IDB_LIST_ICONS);
  const bool alpha = winfw::HasAlpha(icons.get());
  images_ = ImageList_Create(20, 20, alpha ? ILC_COLOR32 : (ILC_COLOR24 | ILC_MASK), 4, 0);
  if (icons) {
    if (alpha) {
      ImageList_Add(images_, icons.get(), nullptr);
    } else {
      ImageList_AddMasked(images_, icons.get(), winfw::kKeyColour);
    }
  }
  SendMessageW(list_.hwnd(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_));

  // 5. Preview label, the hidden entry list, the Extract Media check box.
  preview_label_ = StaticLabel(L"File preview:", bold_font_.get(), 0);
  args.id = ID_TARVIK_SCAN_LIST_CTRL;
  args.class_name = winfw::kListViewClass;
  args.style = WS_BORDER | LVS_REPORT;
  entry_list_ = winfw::CreateControl(args);
  if (entry_list_ == nullptr) return false;
  column.cx = 0;
  SendMessageW(entry_list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  // It is never shown: with drawing off an insertion is not followed by scroll-bar updates
  // for nobody to see. (Drawing is never turned on again, which would make it visible.)
  SendMessageW(entry_list_, WM_SETREDRAW, FALSE, 0);
  args.id = ID_CHECK_BTN_EXTRACT_FILE_CONTENT;
  args.class_name = winfw::kButtonClass;
  args.text = L"Extract Media..";
  args.style = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
  args.font = regular_font_.get();
  media_check_ = winfw::CreateControl(args);

  // 10. The progress rows (hidden until a job shows them).
  file_label_ = StaticLabel(L"File progress:", regular_font_.get(), 0);
  total_label_ = StaticLabel(L"Total files progress:", regular_font_.get(), 0);
  const RECT empty{0, 0, 0, 0};
  file_bar_.Create(self, ID_FIRST_PROGRESS_CTRL, WS_VISIBLE | PBS_SMOOTH, empty);
  total_bar_.Create(self, ID_SECOND_PROGRESS_CTRL, WS_VISIBLE | PBS_SMOOTH, empty);
  for (CEstProgressCtrl* bar : {&file_bar_, &total_bar_}) {
    SendMessageW(bar->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(winfw::MessageFont()), FALSE);
  }
  return true;
}

}  // namespace velmora::ui
