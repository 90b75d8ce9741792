#include "ui/dialogs/app_message_box.h"

#include "feedback/app_message_box.h"

namespace velmora::ui {

std::wstring PlainMessageText(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, 4, L"<br>") == 0) {
      out += L'\n';
      i += 4;
    } else if (text.compare(i, 3, L"<a ") == 0) {
      // Only the label of a link is shown: skip the opening tag and the closing one.
      const size_t open_end = text.find(L'>', i);
      if (open_end == std::wstring::npos) {
        out.append(text, i, std::wstring::npos);
        break;
      }
      i = open_end + 1;
    } else if (text.compare(i, 4, L"</a>") == 0) {
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

int AppMessageBox(HWND parent, const std::wstring& text, unsigned flags) {
  return velmora::AppMessageBox(parent, text, flags);
}

}  // namespace velmora::ui
