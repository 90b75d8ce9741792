#include "feedback/message_box_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "feedback/draw_manager.h"
#include "feedback/markup_text.h"
#include "winfw/window.h"

namespace velmora {

namespace {

// Layout, in pixels at 96 dots per inch.
constexpr int kIconPadding = 5;  // also the gap between a separator line and its caption
constexpr int kMarginX = 14;
constexpr int kMarginY = 14;
constexpr int kCheckLeft = 10;
constexpr int kCheckSize = 13;
constexpr int kButtonGap = 11;
constexpr int kButtonBottom = 11;
constexpr int kButtonMinWidth = 80;
constexpr int kButtonMinHeight = 23;
constexpr int kTextViewId = 0xFFFF;
constexpr UINT_PTR kCountdownTimer = 1;

struct ButtonText {
  int id;
  const wchar_t* caption;
  UINT resource;
};

constexpr ButtonText kButtonTexts[] = {
    {IDOK, L"OK", 9001},
    {IDCANCEL, L"Cancel", 9002},
    {IDABORT, L"Abort", 9005},
    {IDRETRY, L"Retry", 9004},
    {IDIGNORE, L"Ignore", 9003},
    {IDYES, L"Yes", 9007},
    {IDNO, L"No", 9008},
    {9, L"Help", 9006},
    {kIdTryAgain, L"Try again", 9015},
    {kIdContinue, L"Continue", 9009},
    {kIdSkip, L"Skip", 9018},
    {kIdSkipAll, L"Skip all", 9019},
    {kIdIgnoreAll, L"Ignore all", 9017},
    {kIdYesToAll, L"Yes to all", 9013},
    {kIdNoToAll, L"No to all", 9014},
    {kIdReport, L"Report", 9016},
    {kIdLess, L"<< More", 9011},
    {kIdMore, L"More >>", 9010},
};
constexpr UINT kCheckBoxResource = 9012;
constexpr UINT kCountdownResource = 9020;
constexpr int kHelpId = 9;

const wchar_t* const kTextViewClass = L"VelmoraMessageText";

// The child that draws the message: its window text is the message's plain text, so that
// screen readers and automation tools read the message there. Mouse input passes through
// to the dialog, which handles links.
LRESULT CALLBACK TextViewProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_ERASEBKGND:
      return 1;
    case WM_PRINTCLIENT:
    case WM_PAINT: {
      std::unique_ptr<winfw::PaintDc> paint;
      HDC target = reinterpret_cast<HDC>(wp);
      if (message == WM_PAINT) {
        paint = std::make_unique<winfw::PaintDc>(hwnd);
        target = paint->get();
      }
      HWND parent = GetParent(hwnd);
      auto* dialog = reinterpret_cast<CMessageBoxDialog*>(GetWindowLongPtrW(parent, DWLP_USER));
      if (dialog != nullptr) {
        RECT parent_client{};
        GetClientRect(parent, &parent_client);
        RECT mine{};
        GetWindowRect(hwnd, &mine);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&mine), 2);
        winfw::MemoryDc memory(target);
        winfw::Bitmap bitmap(
            CreateCompatibleBitmap(target, parent_client.right, parent_client.bottom));
        if (memory && bitmap) {
          winfw::SelectObj select(memory.get(), bitmap.get());
          dialog->Paint(memory.get());
          BitBlt(target, 0, 0, mine.right - mine.left, mine.bottom - mine.top, memory.get(),
                 mine.left, mine.top, SRCCOPY);
        }
      }
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wp, lp);
  }
}

void RegisterTextView() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TextViewProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kTextViewClass;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  (void)registered;
}

// Fills a "%s ... %d" pattern (the count-down texts, which may come from a string
// resource) by plain replacement: a resource text is never handed to printf as a format.
std::wstring Format(const std::wstring& pattern, const std::wstring& text, int number) {
  const size_t at_text = pattern.find(L"%s"), at_number = pattern.find(L"%d");
  std::wstring out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (i == at_text) {
      out += text;
      ++i;
    } else if (i == at_number) {
      out += std::to_wstring(number);
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::vector<int> ButtonSet(unsigned flags) {
  const bool yes_all = flags & kMbYesToAll, no_all = flags & kMbNoToAll;
  std::vector<int> ids;
  switch (flags & kMbButtonMask) {
    case 0:
      ids = {IDOK};
      break;
    case 1:
      ids = {IDOK, IDCANCEL};
      break;
    case 2:
      ids = {IDABORT, IDRETRY, IDIGNORE};
      break;
    case 3:
    case 4:
      ids.push_back(IDYES);
      if (yes_all) ids.push_back(kIdYesToAll);
      ids.push_back(IDNO);
      if (no_all) ids.push_back(kIdNoToAll);
      if ((flags & kMbButtonMask) == 3) ids.push_back(IDCANCEL);
      break;
    case 5:
      ids = {IDRETRY, IDCANCEL};
      break;
    case 6:
      ids = {IDCANCEL, kIdTryAgain, kIdContinue};
      break;
    case 7:
      ids = {kIdContinue, IDABORT};
      break;
    case 8:
      ids = {kIdSkip, kIdSkipAll, IDCANCEL};
      break;
    case 9:
      ids = {IDIGNORE, kIdIgnoreAll, IDCANCEL};
      break;
    default:
      ids = {IDOK};
      break;
  }
  return ids;
}

bool SetClosable(unsigned flags) {
  switch (flags & kMbButtonMask) {
    case 2:
    case 4:
    case 7:
      return false;
    default:
      return true;
  }
}

}  // namespace

CMessageBoxDialog::CMessageBoxDialog(const MessageBoxParams& params) : params_(params) {
  caption_ = Load(params_.caption);
  message_ = Load(params_.text);
  header_ = Load(params_.header_text);
  footer_ = Load(params_.footer_text);
  header_separator_ = Load(params_.header_area.separator_caption);
  controls_separator_ = Load(params_.controls_area.separator_caption);
  footer_separator_ = Load(params_.footer_area.separator_caption);
  check_text_ = Load(params_.check_box_text);
  if (check_text_.empty()) {
    check_text_ = Load(MessageText::Resource(kCheckBoxResource));
    if (check_text_.empty()) check_text_ = L"Do not show again";
  }
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    font_.Reset(CreateFontIndirectW(&metrics.lfMessageFont));
  }
  if (!font_) font_.Reset(static_cast<HFONT>(nullptr));
  switch (params_.flags & kMbIconMask) {
    case 0x10:
      icon_ = LoadIconW(nullptr, IDI_HAND);
      break;
    case 0x20:
      icon_ = LoadIconW(nullptr, IDI_QUESTION);
      break;
    case 0x30:
      icon_ = LoadIconW(nullptr, IDI_EXCLAMATION);
      break;
    case 0x40:
      icon_ = LoadIconW(nullptr, IDI_ASTERISK);
      break;
    case kMbIconCustom: {
      HINSTANCE instance =
          params_.icon_instance != nullptr ? params_.icon_instance : GetModuleHandleW(nullptr);
      const wchar_t* name = params_.icon_name.resource_id != 0
                                ? MAKEINTRESOURCEW(params_.icon_name.resource_id)
                                : params_.icon_name.text.c_str();
      icon_ = static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
      icon_owned_ = icon_ != nullptr;
      break;
    }
    default:
      break;
  }
  winfw::WindowDc screen(nullptr);
  dpi_ = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  if (dpi_ < 96) dpi_ = 96;
}

CMessageBoxDialog::~CMessageBoxDialog() {
  if (icon_owned_ && icon_ != nullptr) DestroyIcon(icon_);
}

std::wstring CMessageBoxDialog::Load(const MessageText& text, size_t limit) const {
  if (text.resource_id == 0) return text.text;
  if (text.resource_id > 0xFFFF || (params_.flags & kMbNoResources)) return L"";
  HINSTANCE instance =
      params_.strings_instance != nullptr ? params_.strings_instance : GetModuleHandleW(nullptr);
  const wchar_t* resource = nullptr;
  // The text comes with its length; a longer text than the limit is cut, never overrun.
  const int length =
      LoadStringW(instance, text.resource_id, reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || resource == nullptr) return L"";
  return std::wstring(resource, std::min<size_t>(static_cast<size_t>(length), limit));
}

std::wstring CMessageBoxDialog::ButtonCaption(int id) const {
  if (params_.localised != nullptr) {
    auto it = params_.localised->find(id);
    if (it != params_.localised->end()) return it->second;
  }
  for (const ButtonText& b : kButtonTexts) {
    if (b.id != id) continue;
    std::wstring text = Load(MessageText::Resource(b.resource));
    return text.empty() ? b.caption : text;
  }
  return L"";
}

int CMessageBoxDialog::Run() {
  // The template: 36 zeroed bytes holding a DLGTEMPLATE with no controls, no menu, the
  // default class and an empty title; the real size and place are set at initialisation.
  alignas(DWORD) BYTE bytes[36] = {};
  auto* tmpl = reinterpret_cast<DLGTEMPLATE*>(bytes);
  tmpl->style = 0x90C80880;  // popup, visible, caption, system menu, modal frame, centred
  tmpl->cx = 100;
  tmpl->cy = 100;
  const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), tmpl, params_.parent,
                                                 DialogProc, reinterpret_cast<LPARAM>(this));
  return result <= 0 ? IDCANCEL : static_cast<int>(result);
}

INT_PTR CALLBACK CMessageBoxDialog::DialogProc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  CMessageBoxDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CMessageBoxDialog*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<CMessageBoxDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  try {
    const INT_PTR result = self->HandleMessage(message, wp, lp);
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    return result;
  } catch (...) {
    return FALSE;
  }
}

RECT CMessageBoxDialog::HeaderRect() const {
  return RECT{0, 0, ClientWidth(), header_height_};
}

RECT CMessageBoxDialog::MessageRect() const {
  return RECT{0, header_height_, ClientWidth(), header_height_ + message_height_};
}

RECT CMessageBoxDialog::FooterRect() const {
  const int top = header_height_ + message_height_ + strip_height_ + button_h_;
  return RECT{0, top, ClientWidth(), top + footer_height_};
}

int CMessageBoxDialog::WidestMessage() const {
  HWND near_to = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(near_to != nullptr ? near_to : hwnd_, MONITOR_DEFAULTTONEAREST),
                  &monitor);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  const int work = static_cast<int>(monitor.rcWork.right - monitor.rcWork.left);
  return std::max(Scale(200), work - static_cast<int>(frame.right - frame.left));
}

int CMessageBoxDialog::ClientWidth() const {
  RECT client{};
  if (hwnd_ != nullptr) GetClientRect(hwnd_, &client);
  return client.right;
}

BOOL CMessageBoxDialog::OnInitDialog() {
  if (params_.disable_time > 0) {
    countdown_ = params_.disable_time;
    counting_disable_ = true;
  }
  if (params_.timeout > 0) {
    countdown_ = params_.timeout;
    counting_disable_ = false;
  }
  header_renderer_.SetNotify(hwnd_, kMarkupRedrawMessage, 0);
  message_renderer_.SetNotify(hwnd_, kMarkupRedrawMessage, 0);
  footer_renderer_.SetNotify(hwnd_, kMarkupRedrawMessage, 0);

  std::wstring markup = message_;
  if (params_.flags & kMbRight) markup = L"<right>" + markup + L"</right>";
  if (icon_ != nullptr) {
    wchar_t head[160];
    std::swprintf(head, 160,
                  L"<table cellpadding=%d><tr><td width=%d><icon handle=0x%llX></td><td>",
                  kIconPadding, GetSystemMetrics(SM_CXICON),
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(icon_)));
    markup = head + markup + L"</td></tr></table>";
  }
  message_ = markup;

  CreateControls();

  SetWindowTextW(hwnd_, caption_.c_str());
  if (countdown_ > 0 && counting_disable_ && params_.count_in_caption) SetCountdownText();

  const bool default_is_cancel = !buttons_.empty() && buttons_[default_index_].id == IDCANCEL;
  if (!closable_ || (params_.disable_time > 0 && (params_.count_in_caption || default_is_cancel))) {
    EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }

  // Centred on the owner (or the screen), and wholly on the work area.
  winfw::CentreOnOwner(hwnd_, GetWindow(hwnd_, GW_OWNER));

  PlaceControls();
  if (params_.flags & kMbTopmost) {
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  if (params_.flags & kMbForeground) SetForegroundWindow(hwnd_);
  if (countdown_ > 0) SetTimer(hwnd_, kCountdownTimer, 1000, nullptr);
  if (!buttons_.empty() && IsWindowEnabled(buttons_[default_index_].window)) {
    SetFocus(buttons_[default_index_].window);
  }
  return FALSE;  // the focus is set
}

void CMessageBoxDialog::CreateControls() {
  for (const Button& b : buttons_) DestroyWindow(b.window);
  buttons_.clear();
  if (check_ != nullptr) DestroyWindow(check_);
  if (label_ != nullptr) DestroyWindow(label_);
  check_ = label_ = nullptr;

  winfw::WindowDc screen(nullptr);
  HDC dc = screen.get();
  winfw::SelectObj font(
      dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  const int mx = Scale(kMarginX), my = Scale(kMarginY), pad = Scale(kIconPadding);
  int width = 0;

  header_height_ = 0;
  if (params_.header_height != 0) {
    const SIZE s = header_renderer_.Measure(dc, header_);
    header_height_ = std::max(params_.header_height, static_cast<int>(s.cy) + 2 * my);
    width = std::max(width, static_cast<int>(s.cx) + 2 * mx);
    if (!header_separator_.empty()) {
      SIZE c{};
      GetTextExtentPoint32W(dc, header_separator_.c_str(),
                            static_cast<int>(header_separator_.size()), &c);
      width = std::max(width, static_cast<int>(c.cx) + 2 * pad);
    }
  }
  // The box is never wider than the work area: a longer message (a long path) wraps.
  message_renderer_.SetMaxWidth(WidestMessage() - 2 * mx);
  const SIZE message = message_renderer_.Measure(dc, message_);
  message_height_ = message.cy + 2 * my;
  width = std::max(width, static_cast<int>(message.cx) + 2 * mx);
  footer_height_ = 0;
  if (!footer_.empty()) {
    const SIZE s = footer_renderer_.Measure(dc, footer_);
    footer_height_ = s.cy + 2 * my;
    width = std::max(width, static_cast<int>(s.cx) + 2 * mx);
  }
  const bool strip_decorated =
      params_.controls_area.effect != -1 || params_.controls_area.separator != 0;
  strip_height_ = Scale(strip_decorated ? 2 * kButtonGap : kButtonGap);
  if (!controls_separator_.empty()) {
    SIZE c{};
    GetTextExtentPoint32W(dc, controls_separator_.c_str(),
                          static_cast<int>(controls_separator_.size()), &c);
    width = std::max(width, static_cast<int>(c.cx) + 2 * pad);
  }

  HINSTANCE instance = GetModuleHandleW(nullptr);
  HFONT control_font = font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (params_.flags & kMbCheckBox) {
    strip_height_ += Scale(kButtonGap + kCheckSize);
    SIZE c{};
    GetTextExtentPoint32W(dc, check_text_.c_str(), static_cast<int>(check_text_.size()), &c);
    width = std::max(width, static_cast<int>(c.cx) + 2 * Scale(kCheckLeft) + 20);
    check_ = CreateWindowExW(0, L"BUTTON", L"", 0x50010003, 0, 0, Scale(kCheckSize),
                             Scale(kCheckSize), hwnd_, nullptr, instance, nullptr);
    if (params_.flags & kMbChecked) SendMessageW(check_, BM_SETCHECK, BST_CHECKED, 0);
    label_ =
        CreateWindowExW(0, L"STATIC", check_text_.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, c.cx + 2,
                        std::max<int>(c.cy, Scale(kCheckSize)), hwnd_, nullptr, instance, nullptr);
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(control_font), FALSE);
  }

  // The buttons: the set or the caller's own, then Help, Report and More.
  std::vector<int> ids;
  const std::wstring custom = Load(params_.custom_buttons);
  std::vector<std::wstring> custom_captions;
  if (!custom.empty()) {
    std::wstring text = custom;
    std::erase(text, L'\r');
    size_t start = 0;
    int id = kIdCustomFirst;
    while (start <= text.size() && id <= kIdCustomLast) {
      size_t stop = text.find(L'\n', start);
      if (stop == std::wstring::npos) stop = text.size();
      if (stop > start) {
        ids.push_back(id++);
        custom_captions.push_back(text.substr(start, stop - start));
      }
      start = stop + 1;
    }
  }
  if (ids.empty()) {
    ids = ButtonSet(params_.flags);
    closable_ = SetClosable(params_.flags);
  } else {
    closable_ = false;
  }
  if (params_.flags & kMbHelp) ids.push_back(kHelpId);
  if (params_.report_message != 0 && params_.parent != nullptr) ids.push_back(kIdReport);
  if (!footer_.empty()) ids.push_back(footer_shown_ ? kIdLess : kIdMore);

  default_index_ = static_cast<int>((params_.flags & kMbDefaultMask) >> 8);
  if (default_index_ >= static_cast<int>(ids.size())) default_index_ = 0;

  int w = kButtonMinWidth, h = kButtonMinHeight;
  std::vector<std::wstring> captions;
  for (size_t i = 0; i < ids.size(); ++i) {
    const int id = ids[i];
    std::wstring caption = id >= kIdCustomFirst && id <= kIdCustomLast
                               ? custom_captions[id - kIdCustomFirst]
                               : ButtonCaption(id);
    SIZE s{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &s);
    if (id == kIdMore || id == kIdLess) {
      const std::wstring other = ButtonCaption(id == kIdMore ? kIdLess : kIdMore);
      SIZE o{};
      GetTextExtentPoint32W(dc, other.c_str(), static_cast<int>(other.size()), &o);
      s.cx = std::max(s.cx, o.cx);
      s.cy = std::max(s.cy, o.cy);
    }
    w = std::max(w, MulDiv(s.cx, 80, 45));
    h = std::max(h, MulDiv(s.cy, 23, 13));
    captions.push_back(std::move(caption));
  }
  button_w_ = std::max(w, Scale(kButtonMinWidth));
  button_h_ = std::max(h, Scale(kButtonMinHeight));

  const bool disable_in_caption = params_.disable_time > 0 && params_.count_in_caption;
  const bool disable_on_button = params_.disable_time > 0 && !params_.count_in_caption;
  for (size_t i = 0; i < ids.size(); ++i) {
    const bool is_default = static_cast<int>(i) == default_index_;
    DWORD style = 0x50010000;  // child, visible, tab stop
    if (is_default) style |= BS_DEFPUSHBUTTON;
    if (disable_in_caption && ids[i] != kHelpId) style |= WS_DISABLED;
    if (disable_on_button && is_default && ids[i] != kHelpId)
      style = (style & ~BS_DEFPUSHBUTTON) | WS_DISABLED;
    HWND button =
        CreateWindowExW(0, L"BUTTON", captions[i].c_str(), style, 0, 0, button_w_, button_h_, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids[i])), instance, nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(control_font), FALSE);
    buttons_.push_back(Button{ids[i], button, captions[i]});
  }
  if (!buttons_.empty()) {
    SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(buttons_[default_index_].id), 0);
    if (countdown_ > 0 && !(counting_disable_ && params_.count_in_caption)) SetCountdownText();
  }

  const int client_w = std::max(width, 2 * Scale(kButtonGap) + ButtonRowWidth());
  const int client_h = header_height_ + message_height_ + strip_height_ + button_h_ +
                       (footer_shown_ ? footer_height_ : 0);
  RECT frame{0, 0, client_w, client_h};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
  // Never wider than the work area, whatever rounding the layout met.
  const int window_w =
      std::min(static_cast<int>(frame.right - frame.left),
               WidestMessage() + static_cast<int>(frame.right - frame.left) - client_w);
  SetWindowPos(hwnd_, nullptr, 0, 0, window_w, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  RegisterTextView();
  if (text_view_ == nullptr) {
    text_view_ = CreateWindowExW(0, kTextViewClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextViewId)),
                                 instance, nullptr);
  }
  const std::wstring plain = markup::PlainText(Load(params_.text));
  SetWindowTextW(text_view_, plain.c_str());
  background_.Reset();
}

int CMessageBoxDialog::ButtonRowWidth() const {
  const int n = static_cast<int>(buttons_.size());
  return (Scale(kButtonGap) + button_w_) * n - Scale(kButtonGap);
}

void CMessageBoxDialog::PlaceControls() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int gap = Scale(kButtonGap);
  const int strip_bottom = client.bottom - (footer_shown_ ? footer_height_ : 0);
  int y = strip_bottom - Scale(kButtonBottom) - button_h_;
  const bool check_below = (params_.flags & kMbCheckBox) && (params_.flags & kMbCheckBelow);
  if (check_below) y -= gap + Scale(kCheckSize);
  const int total = ButtonRowWidth();
  int x = client.left + gap;
  if (params_.button_alignment == 1) x = client.right - gap - total;
  if (params_.button_alignment == 2) x = client.left + (client.right - client.left - total) / 2;
  for (const Button& b : buttons_) {
    MoveWindow(b.window, x + 10, y, button_w_ - 10, button_h_ - 6, TRUE);
    x += gap + button_w_ - 10;
  }
  if (check_ != nullptr) {
    const int check_y = check_below ? strip_bottom - Scale(kButtonBottom) - Scale(kCheckSize)
                                    : y - gap - Scale(kCheckSize) + 6;
    MoveWindow(check_, client.left + Scale(kCheckLeft), check_y, Scale(kCheckSize),
               Scale(kCheckSize), TRUE);
    RECT label{};
    GetWindowRect(label_, &label);
    MoveWindow(label_, client.left + Scale(kCheckLeft) + Scale(kCheckSize) + Scale(kCheckSize) / 2,
               check_y, label.right - label.left, label.bottom - label.top, TRUE);
  }
  const RECT message = MessageRect();
  MoveWindow(text_view_, message.left, message.top, message.right - message.left,
             message.bottom - message.top, TRUE);
}

void CMessageBoxDialog::DrawSeparator(HDC dc, const RECT& band, const MessageBoxArea& area,
                                      const std::wstring& caption) {
  if (area.separator == 0) return;
  const int pad = Scale(kIconPadding);
  const int y = band.top;
  int left = band.left + pad, right = band.right - pad;
  SIZE text{};
  int text_x = left;
  if (!caption.empty()) {
    winfw::SelectObj font(
        dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    if (area.separator_align == 1) text_x = right - text.cx;
    if (area.separator_align == 2) text_x = left + (right - left - text.cx) / 2;
    DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()),
               static_cast<WPARAM>(caption.size()), text_x, y - text.cy / 2, text.cx, text.cy,
               DST_TEXT | DSS_DISABLED);
  }
  auto line = [&](int from, int to) {
    if (to <= from) return;
    if (area.separator == 1) {
      RECT r{from, y, to, y + 2};
      DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
    } else {
      RECT r{from, y, to, y + 1};
      winfw::Brush brush(CreateSolidBrush(area.separator == 2 ? RGB(0, 0, 0) : RGB(255, 255, 255)));
      FillRect(dc, &r, brush.get());
    }
  };
  if (caption.empty()) {
    line(left, right);
  } else {
    line(left, text_x - pad);
    line(text_x + text.cx + pad, right);
  }
}

void CMessageBoxDialog::BuildBackground(int width, int height) {
  winfw::WindowDc screen(hwnd_);
  background_.Reset(CreateCompatibleBitmap(screen.get(), width, height));
  background_width_ = width;
  background_height_ = height;
  if (!background_) return;
  winfw::MemoryDc dc(screen.get());
  winfw::SelectObj select(dc.get(), background_.get());
  CDrawManager dm;
  const RECT all{0, 0, width, height};
  const MessageBoxArea& m = params_.message_area;
  if (m.effect == -1) {
    FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
  } else {
    dm.FillEffect(all, dc.get(), m.effect, m.begin, m.middle, m.end, 0);
  }
  if (header_height_ > 0) {
    const RECT band = HeaderRect();
    const MessageBoxArea& a = params_.header_area;
    dm.FillEffect(band, dc.get(), a.effect, a.begin, a.middle, a.end, 0);
    DrawSeparator(dc.get(), RECT{band.left, band.bottom - 1, band.right, band.bottom}, a,
                  header_separator_);
  }
  const RECT strip{0, header_height_ + message_height_, width,
                   header_height_ + message_height_ + strip_height_ + button_h_};
  const MessageBoxArea& c = params_.controls_area;
  dm.FillEffect(strip, dc.get(), c.effect, c.begin, c.middle, c.end, 0);
  DrawSeparator(dc.get(),
                RECT{strip.left, strip.top + Scale(kButtonGap) / 2, strip.right, strip.bottom}, c,
                controls_separator_);
  if (footer_height_ > 0) {
    const RECT band{0, strip.bottom, width, strip.bottom + footer_height_};
    const MessageBoxArea& f = params_.footer_area;
    dm.FillEffect(band, dc.get(), f.effect, f.begin, f.middle, f.end, 0);
    DrawSeparator(dc.get(), band, f, footer_separator_);
  }
}

void CMessageBoxDialog::Paint(HDC dc) {
  RECT client{};
  GetClientRect(hwnd_, &client);
  // Built once, tall enough for the footer, and reused until the box closes.
  const int height = header_height_ + message_height_ + strip_height_ + button_h_ + footer_height_;
  if (!background_ || background_width_ != client.right || background_height_ < height) {
    BuildBackground(client.right, std::max<int>(height, client.bottom));
  }
  if (background_) {
    winfw::MemoryDc source(dc);
    winfw::SelectObj select(source.get(), background_.get());
    BitBlt(dc, 0, 0, client.right, client.bottom, source.get(), 0, 0, SRCCOPY);
  }
  const int mx = Scale(kMarginX), my = Scale(kMarginY);
  auto draw = [&](CMarkupRenderer& renderer, RECT band) {
    InflateRect(&band, -mx, -my);
    renderer.Draw(dc, band);
  };
  if (header_height_ > 0) draw(header_renderer_, HeaderRect());
  draw(message_renderer_, MessageRect());
  if (footer_shown_) draw(footer_renderer_, FooterRect());
}

void CMessageBoxDialog::SetCountdownText() {
  if (buttons_.empty()) return;
  if (params_.count_in_caption) {
    const std::wstring pattern_text = Load(MessageText::Resource(kCountdownResource));
    const std::wstring pattern = pattern_text.empty() ? L"%s (%d seconds remaining)" : pattern_text;
    SetWindowTextW(hwnd_, Format(pattern, caption_, countdown_).c_str());
  } else {
    const Button& b = buttons_[default_index_];
    SetWindowTextW(b.window, Format(L"%s = %d", b.caption, countdown_).c_str());
  }
}

void CMessageBoxDialog::SetDefaultButton(int index) {
  if (index < 0 || index >= static_cast<int>(buttons_.size())) return;
  SendMessageW(buttons_[index].window, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(buttons_[index].id), 0);
}

void CMessageBoxDialog::OnTimer() {
  if (countdown_ > 0) --countdown_;
  if (countdown_ > 0) {
    SetCountdownText();
    return;
  }
  KillTimer(hwnd_, kCountdownTimer);
  if (buttons_.empty()) return;
  const Button& b = buttons_[default_index_];
  if (counting_disable_) {
    if (closable_) EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    if (params_.count_in_caption) SetWindowTextW(hwnd_, caption_.c_str());
    SetWindowTextW(b.window, b.caption.c_str());
    for (const Button& each : buttons_) EnableWindow(each.window, TRUE);
    SetDefaultButton(default_index_);
    SetFocus(b.window);
  } else {
    SetWindowTextW(b.window, b.caption.c_str());
    PostMessageW(hwnd_, WM_COMMAND, static_cast<WPARAM>(b.id) | 0x80000000u, 0);
  }
}

void CMessageBoxDialog::End(int id) {
  KillTimer(hwnd_, kCountdownTimer);
  int result = id;
  if (check_ != nullptr && SendMessageW(check_, BM_GETCHECK, 0, 0) == BST_CHECKED) {
    result |= static_cast<int>(params_.flags & kMbChecked);
    if (!params_.remember_prefix.empty()) {
      HKEY key = nullptr;
      const std::wstring path = RememberKeyPath(params_);
      if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, 0x20006, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
        const DWORD value = static_cast<DWORD>(result);
        const std::wstring name = RememberValueName(params_);
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        RegCloseKey(key);
      }
    }
  }
  EndDialog(hwnd_, result);
}

void CMessageBoxDialog::OnCommand(int id) {
  if (id == 0) return;
  if (id == IDCANCEL && !closable_) return;
  if (id == IDCANCEL) {
    // Esc and the close command end the box only through an enabled close command.
    const UINT state = GetMenuState(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND);
    if (state != static_cast<UINT>(-1) && (state & MF_GRAYED)) return;
  }
  if (id == kHelpId) {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring help(path, std::min<DWORD>(n, MAX_PATH * 2));
    const size_t dot = help.rfind(L'.');
    if (dot != std::wstring::npos) help.erase(dot);
    help += L".hlp";
    using WinHelpFn = BOOL(WINAPI*)(HWND, LPCWSTR, UINT, ULONG_PTR);
    if (HMODULE user = GetModuleHandleW(L"user32.dll")) {
      if (auto win_help = reinterpret_cast<WinHelpFn>(
              reinterpret_cast<void*>(GetProcAddress(user, "WinHelpW")))) {
        win_help(hwnd_, help.c_str(), params_.help_context != 0 ? HELP_CONTEXT : HELP_FINDER,
                 static_cast<ULONG_PTR>(params_.help_context));
      }
    }
    return;
  }
  if (id == kIdReport) {
    if (params_.parent != nullptr) SendMessageW(params_.parent, params_.report_message, 0, 0);
    return;
  }
  if (id == kIdMore || id == kIdLess) {
    footer_shown_ = !footer_shown_;
    RECT window{};
    GetWindowRect(hwnd_, &window);
    const int delta = footer_shown_ ? footer_height_ : -footer_height_;
    SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + delta, SWP_NOMOVE | SWP_NOZORDER);
    for (Button& b : buttons_) {
      if (b.id != kIdMore && b.id != kIdLess) continue;
      b.id = footer_shown_ ? kIdLess : kIdMore;
      b.caption = ButtonCaption(b.id);
      SetWindowTextW(b.window, b.caption.c_str());
      SetWindowLongPtrW(b.window, GWLP_ID, b.id);
    }
    PlaceControls();
    InvalidateRect(hwnd_, nullptr, FALSE);
    return;
  }
  End(id);
}

INT_PTR CMessageBoxDialog::HandleMessage(UINT message, WPARAM wp, LPARAM lp) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_ERASEBKGND:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_PAINT: {
      winfw::PaintDc paint(hwnd_);
      RECT client{};
      GetClientRect(hwnd_, &client);
      winfw::MemoryDc memory(paint.get());
      winfw::Bitmap bitmap(CreateCompatibleBitmap(paint.get(), client.right, client.bottom));
      if (memory && bitmap) {
        winfw::SelectObj select(memory.get(), bitmap.get());
        Paint(memory.get());
        BitBlt(paint.get(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
      }
      return TRUE;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return TRUE;
    case kMarkupRedrawMessage: {
      RECT bands = HeaderRect();
      const RECT message_band = MessageRect();
      UnionRect(&bands, &bands, &message_band);
      if (footer_shown_) {
        const RECT footer = FooterRect();
        InvalidateRect(hwnd_, &footer, FALSE);
      }
      InvalidateRect(hwnd_, &bands, FALSE);
      if (text_view_ != nullptr) InvalidateRect(text_view_, nullptr, FALSE);
      return TRUE;
    }
    case WM_LBUTTONDOWN: {
      const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      CMarkupRenderer* renderers[] = {header_height_ > 0 ? &header_renderer_ : nullptr,
                                      &message_renderer_,
                                      footer_shown_ ? &footer_renderer_ : nullptr};
      for (CMarkupRenderer* r : renderers) {
        if (r == nullptr) continue;
        const int link = r->LinkAt(p);
        if (link >= 0) {
          r->FollowLink(link);
          break;
        }
      }
      return TRUE;
    }
    case WM_MOUSEMOVE:
    case WM_SETCURSOR: {
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd_, &p);
      bool hand = false;
      if (header_height_ > 0) hand = header_renderer_.UpdateHover(p) || hand;
      hand = message_renderer_.UpdateHover(p) || hand;
      if (footer_shown_) hand = footer_renderer_.UpdateHover(p) || hand;
      if (message == WM_SETCURSOR && hand) {
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_TIMER:
      if (wp == kCountdownTimer) OnTimer();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wp));
      return TRUE;
    case WM_DESTROY:
      KillTimer(hwnd_, kCountdownTimer);
      for (const Button& b : buttons_) DestroyWindow(b.window);
      buttons_.clear();
      if (check_ != nullptr) DestroyWindow(check_);
      if (label_ != nullptr) DestroyWindow(label_);
      check_ = label_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace velmora
