#include "winfw/dialog_template.h"

namespace velmora::winfw {
namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsVisible = 0x10000000;

class TemplateBytes {
 public:
  void Word(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void Dword(uint32_t v) {
    Word(static_cast<uint16_t>(v));
    Word(static_cast<uint16_t>(v >> 16));
  }
  void Short(int16_t v) { Word(static_cast<uint16_t>(v)); }
  // A zero-terminated UTF-16 string; "" is the single 0 word that means "none".
  void String(const std::wstring& s) {
    for (wchar_t c : s) Word(static_cast<uint16_t>(c));
    Word(0);
  }
  void AlignDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::vector<uint8_t> BuildDialogTemplate(const DialogSpec& spec) {
  TemplateBytes out;
  const bool has_font = !spec.font_face.empty();
  out.Dword(has_font ? spec.style | kDsSetFont : spec.style & ~kDsSetFont);
  out.Dword(spec.ex_style);
  out.Word(static_cast<uint16_t>(spec.items.size()));
  out.Short(spec.x);
  out.Short(spec.y);
  out.Short(spec.cx);
  out.Short(spec.cy);
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.String(spec.title);
  if (has_font) {
    out.Word(spec.point_size);
    out.String(spec.font_face);
  }
  for (const DialogItem& item : spec.items) {
    out.AlignDword();
    out.Dword(item.style | kWsChild | kWsVisible);
    out.Dword(item.ex_style);
    out.Short(item.x);
    out.Short(item.y);
    out.Short(item.cx);
    out.Short(item.cy);
    out.Word(item.id);
    if (item.class_name.empty()) {
      out.Word(0xFFFF);
      out.Word(static_cast<uint16_t>(item.atom));
    } else {
      out.String(item.class_name);
    }
    out.String(item.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

}  // namespace velmora::winfw
