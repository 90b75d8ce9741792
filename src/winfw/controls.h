// Child controls made from an argument struct with defaults, so that a creation call names
// only what differs from a plain visible child.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::winfw {

struct ControlArgs {
  HWND parent = nullptr;
  int id = 0;
  const wchar_t* class_name = L"STATIC";
  std::wstring text;
  DWORD style = WS_VISIBLE;  // WS_CHILD is always added
  DWORD ex_style = 0;
  HFONT font = nullptr;   // the parent's font is not inherited: null keeps the class default
  RECT rect{0, 0, 0, 0};  // left, top, right, bottom; controls are placed by their owner's layout
};

HWND CreateControl(const ControlArgs& args);

// The classes of the controls we make, as the system names them.
inline constexpr const wchar_t* kButtonClass = L"BUTTON";
inline constexpr const wchar_t* kStaticClass = L"STATIC";
inline constexpr const wchar_t* kEditClass = L"EDIT";
inline constexpr const wchar_t* kListViewClass = L"SysListView32";
inline constexpr const wchar_t* kProgressClass = L"msctls_progress32";
inline constexpr const wchar_t* kRichEdit20Class = L"RichEdit20W";
inline constexpr const wchar_t* kToolbarClass = L"ToolbarWindow32";
inline constexpr const wchar_t* kStatusBarClass = L"msctls_statusbar32";
inline constexpr const wchar_t* kTooltipClass = L"tooltips_class32";

// Loads the rich edit 2.0 library once per process (the class RichEdit20W lives there).
bool LoadRichEdit20();

// The window text as a string.
std::wstring WindowText(HWND hwnd);

// A control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);

// The dialog font of the system (the message font of the non-client metrics), made once.
HFONT MessageFont();

// One tooltip window serving several controls of one parent.
class Tooltips {
 public:
  Tooltips() = default;
  Tooltips(const Tooltips&) = delete;
  Tooltips& operator=(const Tooltips&) = delete;
  ~Tooltips();
  bool Create(HWND parent);
  void Add(HWND control, const std::wstring& text);
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace velmora::winfw
