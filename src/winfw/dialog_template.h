// Dialog templates built in memory, for dialogs that have no resource script: the bytes of
// a DLGTEMPLATE with its font block and DLGITEMTEMPLATE items, in the layout that
// CreateDialogIndirectParamW and DialogBoxIndirectParamW read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::winfw {

// Predefined control classes, by the atom a template may name instead of a class name.
enum class DialogClass : uint16_t {
  kButton = 0x0080,
  kEdit = 0x0081,
  kStatic = 0x0082,
  kListBox = 0x0083,
  kScrollBar = 0x0084,
  kComboBox = 0x0085,
};

struct DialogItem {
  uint32_t style = 0;  // WS_CHILD | WS_VISIBLE are added
  uint32_t ex_style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  uint16_t id = 0;
  DialogClass atom = DialogClass::kStatic;  // used when class_name is empty
  std::wstring class_name;                  // a registered class, e.g. a custom control
  std::wstring text;
};

struct DialogSpec {
  uint32_t style = 0;  // DS_SETFONT is added when a font is named
  uint32_t ex_style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::wstring title;
  std::wstring font_face;  // empty: the system font, no font block
  uint16_t point_size = 8;
  std::vector<DialogItem> items;
};

// The template's bytes. The buffer starts DWORD-aligned (std::vector's storage is), and each
// item is padded to a DWORD boundary from that start, as the dialog manager requires.
std::vector<uint8_t> BuildDialogTemplate(const DialogSpec& spec);

}  // namespace velmora::winfw
