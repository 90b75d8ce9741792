// CAboutDlg: the About box. Product name and version, a notice line, the maker's name, three
// links and OK over a full-size background picture. Enter and Escape do nothing in it: only
// OK or the caption's close button close it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "feedback/link_label.h"
#include "ui/about/transparent_static.h"
#include "winfw/dialog.h"
#include "winfw/gdi.h"

namespace velmora::ui {

inline constexpr int kAboutNameLabel = 1003;
inline constexpr int kAboutNoticeLabel = 1004;
inline constexpr int kAboutMakerLabel = 1005;
inline constexpr int kAboutSiteLink = 1000;
inline constexpr int kAboutSupportLink = 1001;
inline constexpr int kAboutSalesLink = 1002;
inline constexpr const wchar_t* kAboutCaption = L"About Velmora v1.0";

class CAboutDlg : public winfw::Dialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;
  // Runs the box modally over `owner`; IDOK or IDCANCEL (the close button).
  INT_PTR DoModal(HWND owner);
  // The dialog's template, in dialog units with "MS Shell Dlg" 8 pt.
  static std::vector<uint8_t> Template();

 protected:
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  bool PreTranslateMessage(MSG& msg) override;

 private:
  void OnInitDialog();

  CTarvikTransparentStatic labels_[3];
  CLinkLabel links_[3];
  winfw::Font bold_;
  winfw::Bitmap background_;
  winfw::Bitmap ok_image_;
  HWND tooltip_ = nullptr;
};

// The ID_APP_ABOUT and "&About Velmora" command.
void ShowAboutBox(HWND owner);

}  // namespace velmora::ui
