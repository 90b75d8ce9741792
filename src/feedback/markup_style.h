#pragma once
// The mark-up renderer's style: the current text and box style, named colours, sizes with
// units, and the style sheet whose rules tags and classes apply.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::markup {

struct HtmlStyle {
  std::wstring group;
  int font_height = 16;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
  bool overline = false;
  std::wstring face = L"Verdana";
  COLORREF text_colour = RGB(0, 0, 0);
  COLORREF background_colour = RGB(255, 255, 255);
  COLORREF border_light = 0;
  COLORREF border_dark = 0;
  COLORREF middle_colour = RGB(255, 255, 255);
  COLORREF end_colour = RGB(255, 255, 255);
  int background_mode = TRANSPARENT;  // TRANSPARENT 1, OPAQUE 2
  int background_effect = -1;
  std::wstring background_image;
  int align = 0;   // 0 left, 1 centre, 2 right, 3 justify
  int valign = 3;  // 0 top, 1 middle, 2 bottom, 3 baseline
  int border_style = 0;
  int border_width = 0;
  int width = 0;
  int height = 0;
  int text_transform = 0;  // 0 none, 1 upper, 2 lower, 3 capitalise
  int cell_padding = 2;
  int cell_spacing = 0;
  int link_kind = 0;  // 0 none, 1 open target, 2 send message
  std::wstring link_target;
};

// What sizes in "ex", "em", "in", "cm", "mm", "pt" and "pc" are measured against.
struct SizeContext {
  int dpi = 96;          // LOGPIXELSY
  int x_height = 8;      // height of "x" in the current font
  int font_height = 16;  // text metric height of the current font
};

// Sizes and counts the mark-up can ask for are held within this, so that sums over a
// hostile text stay far from overflowing.
constexpr int kMaxMarkupSize = 100000;

// A size value; nullopt leaves the current value. `font_size` maps unitless 1 to 7 to the
// HTML font sizes 8, 10, 12, 14, 18, 24, 36.
std::optional<int> ParseSize(std::wstring_view value, int current, const SizeContext& context,
                             bool font_size);

// Named and system colours; the system colours are read when the table is made.
class ColourTable {
 public:
  ColourTable();
  // "#rrggbb", a number (0x00BBGGRR, any base), or a name; nullopt leaves the colour.
  std::optional<COLORREF> Parse(std::wstring_view value) const;
  // Off: every colour reads as the button shadow colour.
  void set_enabled(bool enabled) { enabled_ = enabled; }
  bool enabled() const { return enabled_; }

 private:
  std::map<std::wstring, COLORREF, std::less<>> names_;
  bool enabled_ = true;
};

class StyleSheet {
 public:
  StyleSheet();                       // the default sheet
  void Load(std::wstring_view text);  // adds rules; a later rule replaces one of the same selector
  const std::wstring* Rule(std::wstring_view selector) const;

 private:
  std::map<std::wstring, std::wstring, std::less<>> rules_;
};

// Applies the declarations of a rule ("name: value; ...") to a style.
void ApplyDeclarations(std::wstring_view declarations, HtmlStyle& style, const SizeContext& context,
                       const ColourTable& colours);

int ParseWeight(std::wstring_view value, int current);

}  // namespace velmora::markup
