#include "feedback/markup_style.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>

namespace velmora::markup {

namespace {

struct NamedColour {
  const wchar_t* name;
  COLORREF colour;
};

// The colour keywords of the web's colour list (the "grey" spellings other than lightgrey,
// and lightgray, are not among them).
constexpr NamedColour kNamedColours[] = {
    {L"aliceblue", RGB(0xf0, 0xf8, 0xff)},
    {L"antiquewhite", RGB(0xfa, 0xeb, 0xd7)},
    {L"aqua", RGB(0x00, 0xff, 0xff)},
    {L"aquamarine", RGB(0x7f, 0xff, 0xd4)},
    {L"azure", RGB(0xf0, 0xff, 0xff)},
    {L"beige", RGB(0xf5, 0xf5, 0xdc)},
    {L"bisque", RGB(0xff, 0xe4, 0xc4)},
    {L"black", RGB(0x00, 0x00, 0x00)},
    {L"blanchedalmond", RGB(0xff, 0xeb, 0xcd)},
    {L"blue", RGB(0x00, 0x00, 0xff)},
    {L"blueviolet", RGB(0x8a, 0x2b, 0xe2)},
    {L"brown", RGB(0xa5, 0x2a, 0x2a)},
    {L"burlywood", RGB(0xde, 0xb8, 0x87)},
    {L"cadetblue", RGB(0x5f, 0x9e, 0xa0)},
    {L"chartreuse", RGB(0x7f, 0xff, 0x00)},
    {L"chocolate", RGB(0xd2, 0x69, 0x1e)},
    {L"coral", RGB(0xff, 0x7f, 0x50)},
    {L"cornflowerblue", RGB(0x64, 0x95, 0xed)},
    {L"cornsilk", RGB(0xff, 0xf8, 0xdc)},
    {L"crimson", RGB(0xdc, 0x14, 0x3c)},
    {L"cyan", RGB(0x00, 0xff, 0xff)},
    {L"darkblue", RGB(0x00, 0x00, 0x8b)},
    {L"darkcyan", RGB(0x00, 0x8b, 0x8b)},
    {L"darkgoldenrod", RGB(0xb8, 0x86, 0x0b)},
    {L"darkgray", RGB(0xa9, 0xa9, 0xa9)},
    {L"darkgreen", RGB(0x00, 0x64, 0x00)},
    {L"darkkhaki", RGB(0xbd, 0xb7, 0x6b)},
    {L"darkmagenta", RGB(0x8b, 0x00, 0x8b)},
    {L"darkolivegreen", RGB(0x55, 0x6b, 0x2f)},
    {L"darkorange", RGB(0xff, 0x8c, 0x00)},
    {L"darkorchid", RGB(0x99, 0x32, 0xcc)},
    {L"darkred", RGB(0x8b, 0x00, 0x00)},
    {L"darksalmon", RGB(0xe9, 0x96, 0x7a)},
    {L"darkseagreen", RGB(0x8f, 0xbc, 0x8f)},
    {L"darkslateblue", RGB(0x48, 0x3d, 0x8b)},
    {L"darkslategray", RGB(0x2f, 0x4f, 0x4f)},
    {L"darkturquoise", RGB(0x00, 0xce, 0xd1)},
    {L"darkviolet", RGB(0x94, 0x00, 0xd3)},
    {L"deeppink", RGB(0xff, 0x14, 0x93)},
    {L"deepskyblue", RGB(0x00, 0xbf, 0xff)},
    {L"dimgray", RGB(0x69, 0x69, 0x69)},
    {L"dodgerblue", RGB(0x1e, 0x90, 0xff)},
    {L"firebrick", RGB(0xb2, 0x22, 0x22)},
    {L"floralwhite", RGB(0xff, 0xfa, 0xf0)},
    {L"forestgreen", RGB(0x22, 0x8b, 0x22)},
    {L"fuchsia", RGB(0xff, 0x00, 0xff)},
    {L"gainsboro", RGB(0xdc, 0xdc, 0xdc)},
    {L"ghostwhite", RGB(0xf8, 0xf8, 0xff)},
    {L"gold", RGB(0xff, 0xd7, 0x00)},
    {L"goldenrod", RGB(0xda, 0xa5, 0x20)},
    {L"gray", RGB(0x80, 0x80, 0x80)},
    {L"green", RGB(0x00, 0x80, 0x00)},
    {L"greenyellow", RGB(0xad, 0xff, 0x2f)},
    {L"honeydew", RGB(0xf0, 0xff, 0xf0)},
    {L"hotpink", RGB(0xff, 0x69, 0xb4)},
    {L"indianred", RGB(0xcd, 0x5c, 0x5c)},
    {L"indigo", RGB(0x4b, 0x00, 0x82)},
    {L"ivory", RGB(0xff, 0xff, 0xf0)},
    {L"khaki", RGB(0xf0, 0xe6, 0x8c)},
    {L"lavender", RGB(0xe6, 0xe6, 0xfa)},
    {L"lavenderblush", RGB(0xff, 0xf0, 0xf5)},
    {L"lawngreen", RGB(0x7c, 0xfc, 0x00)},
    {L"lemonchiffon", RGB(0xff, 0xfa, 0xcd)},
    {L"lightblue", RGB(0xad, 0xd8, 0xe6)},
    {L"lightcoral", RGB(0xf0, 0x80, 0x80)},
    {L"lightcyan", RGB(0xe0, 0xff, 0xff)},
    {L"lightgoldenrodyellow", RGB(0xfa, 0xfa, 0xd2)},
    {L"lightgreen", RGB(0x90, 0xee, 0x90)},
    {L"lightgrey", RGB(0xd3, 0xd3, 0xd3)},
    {L"lightpink", RGB(0xff, 0xb6, 0xc1)},
    {L"lightsalmon", RGB(0xff, 0xa0, 0x7a)},
    {L"lightseagreen", RGB(0x20, 0xb2, 0xaa)},
    {L"lightskyblue", RGB(0x87, 0xce, 0xfa)},
    {L"lightslategray", RGB(0x77, 0x88, 0x99)},
    {L"lightsteelblue", RGB(0xb0, 0xc4, 0xde)},
    {L"lightyellow", RGB(0xff, 0xff, 0xe0)},
    {L"lime", RGB(0x00, 0xff, 0x00)},
    {L"limegreen", RGB(0x32, 0xcd, 0x32)},
    {L"linen", RGB(0xfa, 0xf0, 0xe6)},
    {L"magenta", RGB(0xff, 0x00, 0xff)},
    {L"maroon", RGB(0x80, 0x00, 0x00)},
    {L"mediumaquamarine", RGB(0x66, 0xcd, 0xaa)},
    {L"mediumblue", RGB(0x00, 0x00, 0xcd)},
    {L"mediumorchid", RGB(0xba, 0x55, 0xd3)},
    {L"mediumpurple", RGB(0x93, 0x70, 0xdb)},
    {L"mediumseagreen", RGB(0x3c, 0xb3, 0x71)},
    {L"mediumslateblue", RGB(0x7b, 0x68, 0xee)},
    {L"mediumspringgreen", RGB(0x00, 0xfa, 0x9a)},
    {L"mediumturquoise", RGB(0x48, 0xd1, 0xcc)},
    {L"mediumvioletred", RGB(0xc7, 0x15, 0x85)},
    {L"midnightblue", RGB(0x19, 0x19, 0x70)},
    {L"mintcream", RGB(0xf5, 0xff, 0xfa)},
    {L"mistyrose", RGB(0xff, 0xe4, 0xe1)},
    {L"moccasin", RGB(0xff, 0xe4, 0xb5)},
    {L"navajowhite", RGB(0xff, 0xde, 0xad)},
    {L"navy", RGB(0x00, 0x00, 0x80)},
    {L"oldlace", RGB(0xfd, 0xf5, 0xe6)},
    {L"olive", RGB(0x80, 0x80, 0x00)},
    {L"olivedrab", RGB(0x6b, 0x8e, 0x23)},
    {L"orange", RGB(0xff, 0xa5, 0x00)},
    {L"orangered", RGB(0xff, 0x45, 0x00)},
    {L"orchid", RGB(0xda, 0x70, 0xd6)},
    {L"palegoldenrod", RGB(0xee, 0xe8, 0xaa)},
    {L"palegreen", RGB(0x98, 0xfb, 0x98)},
    {L"paleturquoise", RGB(0xaf, 0xee, 0xee)},
    {L"palevioletred", RGB(0xdb, 0x70, 0x93)},
    {L"papayawhip", RGB(0xff, 0xef, 0xd5)},
    {L"peachpuff", RGB(0xff, 0xda, 0xb9)},
    {L"peru", RGB(0xcd, 0x85, 0x3f)},
    {L"pink", RGB(0xff, 0xc0, 0xcb)},
    {L"plum", RGB(0xdd, 0xa0, 0xdd)},
    {L"powderblue", RGB(0xb0, 0xe0, 0xe6)},
    {L"purple", RGB(0x80, 0x00, 0x80)},
    {L"red", RGB(0xff, 0x00, 0x00)},
    {L"rosybrown", RGB(0xbc, 0x8f, 0x8f)},
    {L"royalblue", RGB(0x41, 0x69, 0xe1)},
    {L"saddlebrown", RGB(0x8b, 0x45, 0x13)},
    {L"salmon", RGB(0xfa, 0x80, 0x72)},
    {L"sandybrown", RGB(0xf4, 0xa4, 0x60)},
    {L"seagreen", RGB(0x2e, 0x8b, 0x57)},
    {L"seashell", RGB(0xff, 0xf5, 0xee)},
    {L"sienna", RGB(0xa0, 0x52, 0x2d)},
    {L"silver", RGB(0xc0, 0xc0, 0xc0)},
    {L"skyblue", RGB(0x87, 0xce, 0xeb)},
    {L"slateblue", RGB(0x6a, 0x5a, 0xcd)},
    {L"slategray", RGB(0x70, 0x80, 0x90)},
    {L"snow", RGB(0xff, 0xfa, 0xfa)},
    {L"springgreen", RGB(0x00, 0xff, 0x7f)},
    {L"steelblue", RGB(0x46, 0x82, 0xb4)},
    {L"tan", RGB(0xd2, 0xb4, 0x8c)},
    {L"teal", RGB(0x00, 0x80, 0x80)},
    {L"thistle", RGB(0xd8, 0xbf, 0xd8)},
    {L"tomato", RGB(0xff, 0x63, 0x47)},
    {L"turquoise", RGB(0x40, 0xe0, 0xd0)},
    {L"violet", RGB(0xee, 0x82, 0xee)},
    {L"wheat", RGB(0xf5, 0xde, 0xb3)},
    {L"white", RGB(0xff, 0xff, 0xff)},
    {L"whitesmoke", RGB(0xf5, 0xf5, 0xf5)},
    {L"yellow", RGB(0xff, 0xff, 0x00)},
    {L"yellowgreen", RGB(0x9a, 0xcd, 0x32)},
};

struct SystemColour {
  const wchar_t* name;
  int index;
};

constexpr SystemColour kSystemColours[] = {
    {L"activeborder", COLOR_ACTIVEBORDER},
    {L"activecaption", COLOR_ACTIVECAPTION},
    {L"appworkspace", COLOR_APPWORKSPACE},
    {L"background", COLOR_BACKGROUND},
    {L"buttonface", COLOR_BTNFACE},
    {L"buttonhighlight", COLOR_BTNHIGHLIGHT},
    {L"buttonshadow", COLOR_BTNSHADOW},
    {L"buttontext", COLOR_BTNTEXT},
    {L"captiontext", COLOR_CAPTIONTEXT},
    {L"graytext", COLOR_GRAYTEXT},
    {L"highlight", COLOR_HIGHLIGHT},
    {L"highlighttext", COLOR_HIGHLIGHTTEXT},
    {L"inactiveborder", COLOR_INACTIVEBORDER},
    {L"inactivecaption", COLOR_INACTIVECAPTION},
    {L"inactivecaptiontext", COLOR_INACTIVECAPTIONTEXT},
    {L"infobackground", COLOR_INFOBK},
    {L"infotext", COLOR_INFOTEXT},
    {L"menu", COLOR_MENU},
    {L"menutext", COLOR_MENUTEXT},
    {L"scrollbar", COLOR_SCROLLBAR},
    {L"threeddarkshadow", COLOR_3DDKSHADOW},
    {L"threedface", COLOR_BTNFACE},
    {L"threedhighlight", COLOR_BTNHIGHLIGHT},
    {L"threedlightshadow", COLOR_3DLIGHT},
    {L"threedshadow", COLOR_BTNSHADOW},
    {L"window", COLOR_WINDOW},
    {L"windowframe", COLOR_WINDOWFRAME},
    {L"windowtext", COLOR_WINDOWTEXT},
};

constexpr const wchar_t* kDefaultSheet =
    L"body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
    L"p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    L"h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
    L"h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    L"h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
    L"pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
    L"code {color:#990000; font-family:Arial}\r\n"
    L"a:link {text-decoration:none; color:blue}\r\n"
    L"a:hover {text-decoration:underline; color:blue}\r\n"
    L"sub {font-size:65%; vertical-align:bottom}\r\n"
    L"sup {font-size:65%; vertical-align:top}\r\n"
    L"big {font-size:125%}\r\n"
    L"small {font-size:75%}\r\n"
    L".cpp-comment {color:green; font-style:italic}\r\n";

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && std::iswspace(s.front())) s.remove_prefix(1);
  while (!s.empty() && std::iswspace(s.back())) s.remove_suffix(1);
  return s;
}

int Clamp(long long v) {
  return static_cast<int>(std::clamp<long long>(v, 0, kMaxMarkupSize));
}

// wcstoul with automatic base, without reading past the view.
unsigned long long ReadUnsigned(std::wstring_view s) {
  const std::wstring copy(s.substr(0, 64));
  return std::wcstoull(copy.c_str(), nullptr, 0);
}

}  // namespace

std::optional<int> ParseSize(std::wstring_view value, int current, const SizeContext& context,
                             bool font_size) {
  value = Trim(value);
  if (value.empty()) return std::nullopt;
  if (value.back() == L'%') {
    const std::wstring number(value.substr(0, std::min<size_t>(value.size() - 1, 32)));
    const long long pct = std::wcstoll(number.c_str(), nullptr, 10);
    return Clamp(static_cast<long long>(current) * std::clamp<long long>(pct, 0, 100000) / 100);
  }
  if (value.front() == L'+' || value.front() == L'-') value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  if (value.size() > 2) {
    const std::wstring_view unit = value.substr(value.size() - 2);
    const std::wstring number(value.substr(0, std::min<size_t>(value.size() - 2, 32)));
    const double n = std::wcstod(number.c_str(), nullptr);
    auto scaled = [&](double v) -> int {
      if (!(v >= 0)) return 0;
      return Clamp(v > kMaxMarkupSize ? kMaxMarkupSize : static_cast<long long>(v));
    };
    const long long whole = static_cast<long long>(std::min(n, 1e9));
    if (unit == L"px") return scaled(n);
    if (unit == L"ex") return scaled(n * context.x_height);
    if (unit == L"em") return scaled(n * context.font_height);
    if (unit == L"in") return scaled(n * context.dpi);
    if (unit == L"cm") return scaled(n * context.dpi / 2.54);
    if (unit == L"mm") return scaled(n * context.dpi / 25.4);
    if (unit == L"pt") return Clamp(whole * context.dpi / 72);
    if (unit == L"pc") return Clamp(whole * context.dpi / 6);
  }
  const unsigned long long n = ReadUnsigned(value);
  if (font_size && n >= 1 && n <= 7) {
    static constexpr int kHtmlSizes[] = {8, 10, 12, 14, 18, 24, 36};
    return kHtmlSizes[n - 1];
  }
  return Clamp(static_cast<long long>(std::min<unsigned long long>(n, kMaxMarkupSize)));
}

ColourTable::ColourTable() {
  for (const auto& c : kNamedColours) names_.emplace(c.name, c.colour);
  for (const auto& c : kSystemColours) names_.emplace(c.name, GetSysColor(c.index));
}

std::optional<COLORREF> ColourTable::Parse(std::wstring_view value) const {
  value = Trim(value);
  if (value.empty()) return std::nullopt;
  std::optional<COLORREF> colour;
  if (value.size() == 7 && value[0] == L'#') {
    const std::wstring hex(value.substr(1));
    if (std::all_of(hex.begin(), hex.end(), [](wchar_t c) { return std::iswxdigit(c); })) {
      const unsigned long v = std::wcstoul(hex.c_str(), nullptr, 16);
      colour = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
  } else if (value[0] >= L'0' && value[0] <= L'9') {
    colour = static_cast<COLORREF>(ReadUnsigned(value) & 0xFFFFFF);
  } else if (auto it = names_.find(value); it != names_.end()) {
    colour = it->second;
  }
  if (colour && !enabled_) return GetSysColor(COLOR_BTNSHADOW);
  return colour;
}

StyleSheet::StyleSheet() {
  Load(kDefaultSheet);
}

void StyleSheet::Load(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(L'{', i);
    if (open == std::wstring_view::npos) break;
    const size_t close = text.find(L'}', open + 1);
    const size_t stop = close == std::wstring_view::npos ? text.size() : close;
    std::wstring selector(Trim(text.substr(i, open - i)));
    for (auto& c : selector) c = static_cast<wchar_t>(std::towlower(c));
    if (!selector.empty()) {
      rules_[selector] = std::wstring(Trim(text.substr(open + 1, stop - open - 1)));
    }
    i = stop + 1;
  }
}

const std::wstring* StyleSheet::Rule(std::wstring_view selector) const {
  auto it = rules_.find(selector);
  return it == rules_.end() ? nullptr : &it->second;
}

int ParseWeight(std::wstring_view value, int current) {
  value = Trim(value);
  if (value.empty() || value == L"normal") return 400;
  if (value == L"bold") return 700;
  if (value == L"bolder") return 900;
  if (value == L"lighter") return 100;
  const std::wstring copy(value.substr(0, 32));
  wchar_t* end = nullptr;
  const long n = std::wcstol(copy.c_str(), &end, 10);
  if (end == copy.c_str()) return current;
  return static_cast<int>(std::clamp<long>(n, 0, 1000));
}

namespace {

void ApplyBorderWidth(std::wstring_view value, HtmlStyle& style, const SizeContext& context) {
  if (value == L"thin") {
    style.border_width = style.border_width * 75 / 100;
  } else if (value == L"thick") {
    style.border_width = style.border_width * 125 / 100;
  } else if (value != L"medium") {
    if (auto size = ParseSize(value, style.border_width, context, false)) {
      style.border_width = std::min(*size, 1000);
    }
  }
  if (style.border_width == 0) {
    style.border_style = 0;
  } else if (style.border_style == 0) {
    style.border_style = 1;
  }
}

}  // namespace

void ApplyDeclarations(std::wstring_view declarations, HtmlStyle& style, const SizeContext& context,
                       const ColourTable& colours) {
  size_t i = 0;
  while (i < declarations.size()) {
    size_t semi = declarations.find(L';', i);
    if (semi == std::wstring_view::npos) semi = declarations.size();
    const std::wstring_view decl = declarations.substr(i, semi - i);
    i = semi + 1;
    const size_t colon = decl.find(L':');
    if (colon == std::wstring_view::npos) continue;
    const std::wstring_view name = Trim(decl.substr(0, colon));
    std::wstring_view value = Trim(decl.substr(colon + 1));
    if (name == L"font-size") {
      if (auto size = ParseSize(value, style.font_height, context, true)) {
        style.font_height = std::clamp(*size, 1, 2000);
      }
    } else if (name == L"font-family") {
      if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      if (!value.empty()) style.face.assign(value.substr(0, LF_FACESIZE - 1));
    } else if (name == L"font-style") {
      if (value.empty() || value == L"normal") style.italic = false;
      if (value == L"italic" || value == L"oblique") style.italic = true;
    } else if (name == L"font-weight") {
      style.weight = ParseWeight(value, style.weight);
    } else if (name == L"text-align") {
      if (value.empty() || value == L"left") style.align = 0;
      if (value == L"center") style.align = 1;
      if (value == L"right") style.align = 2;
    } else if (name == L"vertical-align") {
      if (value.empty() || value == L"baseline") style.valign = 3;
      if (value == L"middle" || value == L"vcenter") style.valign = 1;
      if (value == L"top") style.valign = 0;
      if (value == L"bottom") style.valign = 2;
    } else if (name == L"text-transform") {
      if (value.empty() || value == L"none") style.text_transform = 0;
      if (value == L"uppercase") style.text_transform = 1;
      if (value == L"lowercase") style.text_transform = 2;
      if (value == L"capitalize") style.text_transform = 3;
    } else if (name == L"color") {
      if (auto c = colours.Parse(value)) style.text_colour = *c;
    } else if (name == L"background-color") {
      if (value == L"transparent") {
        style.background_mode = TRANSPARENT;
      } else if (auto c = colours.Parse(value)) {
        style.background_mode = OPAQUE;
        style.background_colour = *c;
      }
    } else if (name == L"text-decoration") {
      if (value.empty()) value = L"none";
      size_t k = 0;
      while (k < value.size()) {
        size_t stop = value.find_first_of(L" ,", k);
        if (stop == std::wstring_view::npos) stop = value.size();
        const std::wstring_view word = value.substr(k, stop - k);
        if (word == L"none") style.underline = style.strike_out = style.overline = false;
        if (word == L"underline") style.underline = true;
        if (word == L"line-through") style.strike_out = true;
        if (word == L"overline") style.overline = true;
        k = stop + 1;
      }
    } else if (name == L"border-color") {
      if (auto c = colours.Parse(value)) style.border_light = style.border_dark = *c;
    } else if (name == L"border-width" || name == L"size") {
      ApplyBorderWidth(value, style, context);
    } else if (name == L"border-style") {
      if (value.empty() || value == L"none") style.border_style = 0;
      if (value == L"solid") style.border_style = 1;
      if (value == L"dashed") style.border_style = 2;
      if (value == L"dotted") style.border_style = 3;
      if (value == L"double") style.border_style = 6;
      if (style.border_style != 0 && style.border_width == 0) style.border_width = 1;
    } else if (name == L"margin") {
      if (auto size = ParseSize(value, style.cell_padding, context, false)) {
        style.cell_padding = std::min(*size, 1000);
      }
    } else if (name == L"padding") {
      if (auto size = ParseSize(value, style.cell_spacing, context, false)) {
        style.cell_spacing = std::min(*size, 1000);
      }
    }
  }
}

}  // namespace velmora::markup
