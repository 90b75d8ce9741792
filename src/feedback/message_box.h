#pragma once
// The program's message box: a modal dialog whose message is rendered mark-up over a
// background effect, with the system's icon, its own buttons, and the less used parts
// (header, footer with "More >>", separators, custom and localised buttons, "Yes to all"/
// "No to all", "Do not show again" remembered in the registry, count-downs, Help and
// Report).

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "engine/job/markup_escape.h"

namespace velmora {

// A text of the box: the text itself, or the id of a string resource (at most 0xFFFF) that
// is loaded from the strings instance.
struct MessageText {
  MessageText() = default;
  MessageText(std::wstring t) : text(std::move(t)) {}
  MessageText(const wchar_t* t) : text(t != nullptr ? t : L"") {}
  static MessageText Resource(UINT id) {
    MessageText m;
    m.resource_id = id;
    return m;
  }
  bool empty() const { return text.empty() && resource_id == 0; }
  std::wstring text;
  UINT resource_id = 0;
};

// Separator and background of one band of the box.
struct MessageBoxArea {
  int separator = 0;        // 0 none, 1 etched line, 2 black line, 3 white line
  int separator_align = 0;  // 0 left, 1 right, 2 centred
  MessageText separator_caption;
  int effect = -1;
  COLORREF begin = GetSysColor(COLOR_BTNFACE);
  COLORREF middle = GetSysColor(COLOR_BTNFACE);
  COLORREF end = GetSysColor(COLOR_BTNFACE);
};

// Flag bits; the low ones are the system message box's.
enum MessageBoxFlag : unsigned {
  kMbButtonMask = 0x0000000F,
  kMbIconMask = 0x000000F0,
  kMbIconCustom = 0x00000080,
  kMbDefaultMask = 0x00000F00,
  kMbHelp = 0x00004000,
  kMbForeground = 0x00010000,
  kMbTopmost = 0x00040000,
  kMbRight = 0x00080000,
  kMbCheckBox = 0x01000000,
  kMbChecked = 0x02000000,
  kMbCheckBelow = 0x04000000,
  kMbYesToAll = 0x08000000,
  kMbNoToAll = 0x10000000,
  kMbNoResources = 0x20000000,
  kMbNoBeep = 0x40000000,
};

// Button ids beyond the system's.
enum MessageBoxButtonId : int {
  kIdTryAgain = 10,
  kIdContinue = 11,
  kIdSkip = 14,
  kIdSkipAll = 15,
  kIdIgnoreAll = 16,
  kIdYesToAll = 19,
  kIdNoToAll = 20,
  kIdReport = 21,
  kIdCustomFirst = 23,
  kIdCustomLast = 26,
  kIdLess = 30,
  kIdMore = 31,
};

// The renderer's request for a repaint.
constexpr UINT kMarkupRedrawMessage = 32868;

struct MessageBoxParams {
  HWND parent = nullptr;
  HINSTANCE strings_instance = nullptr;
  HINSTANCE icon_instance = nullptr;
  MessageText caption;
  std::wstring remember_prefix;
  std::wstring remember_company;
  int remember_number = 0;
  UINT report_message = 0;
  MessageBoxArea message_area;
  int header_height = 0;
  MessageText header_text;
  MessageBoxArea header_area;
  MessageText text;
  int button_alignment = 2;  // 0 left, 1 right, 2 centred
  unsigned flags = 0x30;
  MessageBoxArea controls_area;
  MessageText footer_text;
  MessageBoxArea footer_area;
  int timeout = 0;
  int disable_time = 0;
  int count_in_caption = 0;
  int help_context = 0;
  MessageText icon_name;
  MessageText custom_buttons;
  MessageText check_box_text;
  const std::map<int, std::wstring>* localised = nullptr;
};

// Shows the box and returns the id of the button that ended it (with kMbChecked OR-ed in
// when the ticked check box ended it), a remembered answer, or 2 when the box could not be
// made.
int ShowMessageBoxIndirect(const MessageBoxParams& params);

// Tests answer boxes without showing them: while a hook is set, every box returns what
// the hook returns. An empty function shows the real box again.
void SetMessageBoxHookForTest(std::function<int(const MessageBoxParams&)> hook);

// The registry key and value name under which "Do not show again" keeps an answer.
std::wstring RememberKeyPath(const MessageBoxParams& params);
std::wstring RememberValueName(const MessageBoxParams& params);

}  // namespace velmora
