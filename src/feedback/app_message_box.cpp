#include "feedback/app_message_box.h"

#include "feedback/draw_manager.h"

namespace velmora {

MessageBoxParams AppMessageBoxParams(HWND parent, const std::wstring& text, unsigned flags) {
  MessageBoxParams params;
  params.parent = parent;
  params.caption = L"Velmora";
  params.text = text;
  params.flags = flags;
  params.message_area.effect = kEffectVBump;
  params.message_area.begin = 0x51ECFD;
  params.message_area.middle = 0xA9F3FE;
  params.message_area.end = 0x51ECFD;
  return params;
}

int AppMessageBox(HWND parent, const std::wstring& text, unsigned flags) {
  return ShowMessageBoxIndirect(AppMessageBoxParams(parent, text, flags));
}

}  // namespace velmora
