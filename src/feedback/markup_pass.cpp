#include "feedback/markup_pass.h"

#include <climits>
#include <cwctype>

#include "feedback/link_target.h"

namespace velmora {

using markup::Attribute;
using markup::HtmlStyle;
using markup::Token;
using markup_layout::IsTag;
using markup_layout::kMaxRepeat;
using markup_layout::kMaxStyleDepth;
using markup_layout::kMaxTableDepth;
using markup_layout::LoadedImage;
using markup_layout::Sat;
using markup_layout::TableEnd;

namespace {

enum TagId {
  kTagBold = 1,
  kTagItalic,
  kTagUnderline,
  kTagStrike,
  kTagFont,
  kTagRule,
  kTagBreak,
  kTagTab,
  kTagLeft,
  kTagCenter,
  kTagRight,
  kTagJustify,
  kTagBaseline,
  kTagTop,
  kTagMiddle,
  kTagBottom,
  kTagBitmap,
  kTagIcon,
  kTagImageList,
  kTagString,
  kTagSheet,
  kTagSpan,
  kTagLink,
};

struct TagInfo {
  const wchar_t* name;
  const wchar_t* group;  // empty: acts at once, opening or closing alike
  int id;
};

constexpr TagInfo kTags[] = {
    {L"b", L"bold", kTagBold},
    {L"i", L"italic", kTagItalic},
    {L"em", L"italic", kTagItalic},
    {L"u", L"underline", kTagUnderline},
    {L"s", L"strikeout", kTagStrike},
    {L"strike", L"strikeout", kTagStrike},
    {L"font", L"font", kTagFont},
    {L"hr", L"", kTagRule},
    {L"br", L"", kTagBreak},
    {L"t", L"", kTagTab},
    {L"left", L"left", kTagLeft},
    {L"center", L"center", kTagCenter},
    {L"right", L"right", kTagRight},
    {L"justify", L"justify", kTagJustify},
    {L"baseline", L"baseline", kTagBaseline},
    {L"top", L"top", kTagTop},
    {L"vcenter", L"vcenter", kTagMiddle},
    {L"middle", L"vcenter", kTagMiddle},
    {L"bottom", L"vcenter", kTagBottom},
    {L"bmp", L"", kTagBitmap},
    {L"icon", L"", kTagIcon},
    {L"ilst", L"", kTagImageList},
    {L"string", L"", kTagString},
    {L"body", L"body", kTagSheet},
    {L"h1", L"h1", kTagSheet},
    {L"h2", L"h2", kTagSheet},
    {L"h3", L"h3", kTagSheet},
    {L"h4", L"h4", kTagSheet},
    {L"h5", L"h5", kTagSheet},
    {L"h6", L"h6", kTagSheet},
    {L"code", L"code", kTagSheet},
    {L"pre", L"pre", kTagSheet},
    {L"big", L"big", kTagSheet},
    {L"small", L"small", kTagSheet},
    {L"sub", L"sub", kTagSheet},
    {L"sup", L"sup", kTagSheet},
    {L"span", L"span", kTagSpan},
    {L"a", L"link", kTagLink},
};

const TagInfo* FindTag(std::wstring_view name) {
  for (const TagInfo& t : kTags) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

// A count given as "=n" after a tag name ("<br=2>", "<t=3>"): at least 1, at most
// kMaxRepeat, so that a huge count cannot push the layout out of range.
int RepeatCount(const Token& t, const markup::SizeContext& context) {
  if (t.attributes.size() < 2) return 1;
  const auto n = markup::ParseSize(std::wstring_view(t.attributes).substr(1), 1, context, false);
  return std::clamp(n.value_or(1), 1, kMaxRepeat);
}

std::wstring Transform(std::wstring text, int transform) {
  switch (transform) {
    case 1:
      for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
      break;
    case 2:
      for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
      break;
    case 3:
      for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(std::towlower(text[i]));
        if ((i == 0 || text[i - 1] == L' ') && text[i] >= L'a' && text[i] <= L'z') {
          text[i] = static_cast<wchar_t>(text[i] - L'a' + L'A');
        }
      }
      break;
    default:
      break;
  }
  return text;
}

unsigned ImageFlags(std::wstring_view letters, bool* shadow) {
  unsigned flags = 0;
  for (wchar_t c : letters) {
    if (c == L'g') flags |= kImageGrey;
    if (c == L'd') flags |= kImageDarker;
    if (c == L'l') flags |= kImageLighter;
    if (c == L's') *shadow = true;
  }
  return flags;
}

}  // namespace

void MarkupPass::SelectStyle() {
  LOGFONTW lf{};
  lf.lfHeight = std::clamp(style_.font_height, 1, 2000);
  lf.lfWeight = std::clamp(style_.weight, 0, 1000);
  lf.lfItalic = style_.italic;
  lf.lfUnderline = style_.underline;
  lf.lfStrikeOut = style_.strike_out;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  style_.face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  winfw::Font font(CreateFontIndirectW(&lf));
  if (font) {
    SelectObject(dc_, font.get());
    font_ = std::move(font);  // the previous font is no longer selected, so it may go
  }
  SetBkMode(dc_, style_.background_mode == OPAQUE ? OPAQUE : TRANSPARENT);
  SetTextColor(dc_, style_.text_colour);
  SetBkColor(dc_, style_.background_colour);
  GetTextMetricsW(dc_, &tm_);
  SIZE x{};
  x_height_ = GetTextExtentPoint32W(dc_, L"x", 1, &x) ? x.cy : tm_.tmHeight;
}

void MarkupPass::StartLine(Line& line, int left, int y, int avail) {
  line = Line{};
  line.y = y;
  line.align = style_.align;
  int offset = 0;
  if (draw_) {
    if (line_index_ < r_.lines_.size()) line.record = r_.lines_[line_index_];
    const int width =
        Sat(line.record.width + static_cast<long long>(avail) * line.record.percent / 100);
    if (line.record.align == 1) offset = (avail - width) / 2;
    if (line.record.align == 2) offset = avail - width;
    if (offset < 0) offset = 0;
    if (line.record.align == 3 && line.record.wrapped && line.record.blanks > 0) {
      SetTextJustification(dc_, std::max(0, avail - line.record.width), line.record.blanks);
    } else {
      SetTextJustification(dc_, 0, 0);
    }
  }
  line.left = left + offset;
  line.x = line.left;
}

void MarkupPass::EndLine(Line& line, int left, int avail, int count, bool wrapped, int* widest) {
  int height = 0;
  if (draw_) {
    height = line.record.height;
  } else {
    LineInfo info;
    const bool sized = line.content && line.ascent + line.descent > 0;
    info.ascent = sized ? line.ascent : tm_.tmHeight;
    info.descent = sized ? line.descent : 0;
    info.height = Sat(static_cast<long long>(info.ascent) + info.descent);
    info.width = line.x - line.left;
    info.percent = line.percent;
    info.align = line.align;
    info.blanks = line.blanks;
    info.wrapped = wrapped;
    height = info.height;
    *widest = std::max(*widest, info.width);
    r_.lines_.push_back(info);
  }
  ++line_index_;
  const int y = Sat(line.y + static_cast<long long>(std::max(1, count)) * height);
  StartLine(line, left, y, avail);
}

void MarkupPass::RecordLink(const RECT& rect) {
  if (!draw_ || style_.link_kind == 0) return;
  LinkArea area;
  area.rect = rect;
  area.kind = style_.link_kind;
  area.number = link_number_;
  area.target = style_.link_target;
  r_.links_.push_back(std::move(area));
}

void MarkupPass::Piece(Line& line, const std::wstring& piece, SIZE size) {
  line.content = true;
  if (!draw_) {
    line.align = style_.align;
    line.ascent = std::max(line.ascent, static_cast<int>(tm_.tmAscent));
    line.descent = std::max(line.descent, static_cast<int>(tm_.tmHeight - tm_.tmAscent));
    line.blanks += static_cast<int>(std::count(piece.begin(), piece.end(), L' '));
  } else {
    const int H = line.record.height, D = line.record.descent;
    int y = line.y;
    switch (style_.valign) {
      case 0:
        break;
      case 1:
        y += (H - tm_.tmHeight) / 2;
        break;
      case 2:
        y += H - tm_.tmAscent;
        break;
      default:
        y += H - tm_.tmAscent - D;
        break;
    }
    RecordLink(RECT{line.x, y, line.x + size.cx, y + size.cy});
    TextOutW(dc_, line.x, y, piece.c_str(), static_cast<int>(piece.size()));
    if (style_.overline) {
      RECT bar{line.x, y, line.x + size.cx, y + (style_.weight >= 700 ? 2 : 1)};
      winfw::Brush brush(CreateSolidBrush(style_.text_colour));
      FillRect(dc_, &bar, brush.get());
    }
  }
  line.x = Sat(static_cast<long long>(line.x) + size.cx);
}

void MarkupPass::Text(Line& line, std::wstring text, int left, int avail, int wrap, int* widest) {
  text = Transform(std::move(text), style_.text_transform);
  std::wstring_view rest(text);
  while (!rest.empty()) {
    SIZE size{};
    GetTextExtentPoint32W(dc_, rest.data(), static_cast<int>(rest.size()), &size);
    const int room = wrap > 0 ? left + wrap - line.x : INT_MAX;
    if (wrap <= 0 || size.cx <= room) {
      Piece(line, std::wstring(rest), size);
      return;
    }
    // Cut after the last break character that still fits; within a word only when the
    // line is empty (and then at least one character, so the loop always moves on).
    static constexpr std::wstring_view kBreaks = L" -.,!:;)}]?";
    size_t take = 0;
    for (size_t i = 0; i < rest.size(); ++i) {
      if (kBreaks.find(rest[i]) == std::wstring_view::npos) continue;
      SIZE s{};
      GetTextExtentPoint32W(dc_, rest.data(), static_cast<int>(i + 1), &s);
      if (s.cx > room) break;
      take = i + 1;
    }
    const bool line_empty = line.x == line.left;
    if (take == 0 && line_empty) {
      int fit = 0;
      GetTextExtentExPointW(dc_, rest.data(), static_cast<int>(rest.size()), std::max(0, room),
                            &fit, nullptr, &size);
      take = std::max(1, fit);
    }
    if (take == 0) {
      EndLine(line, left, avail, 1, true, widest);
      continue;
    }
    std::wstring_view piece = rest.substr(0, take);
    while (piece.size() > 1 && piece.back() == L' ') piece.remove_suffix(1);
    rest.remove_prefix(take);
    while (!rest.empty() && rest.front() == L' ') rest.remove_prefix(1);
    GetTextExtentPoint32W(dc_, piece.data(), static_cast<int>(piece.size()), &size);
    Piece(line, std::wstring(piece), size);
    if (!rest.empty()) EndLine(line, left, avail, 1, true, widest);
  }
}

void MarkupPass::Rule(Line& line, const Token& t, int avail) {
  const auto attrs = markup::ParseAttributes(t.attributes);
  HtmlStyle rule_style = style_;
  if (const std::wstring* rule = r_.sheet_.Rule(L"hr")) {
    markup::ApplyDeclarations(*rule, rule_style, Context(), r_.colours_);
  }
  COLORREF colour = rule_style.text_colour;
  std::wstring value;
  if (markup::FindAttribute(attrs, L"color", &value)) {
    if (auto c = r_.colours_.Parse(value)) colour = *c;
  }
  int thickness = 1;
  if (markup::FindAttribute(attrs, L"size", &value)) {
    thickness = std::clamp(markup::ParseSize(value, 1, Context(), false).value_or(1), 1, 1000);
  }
  int percent = 100;
  int pixels = -1;
  if (markup::FindAttribute(attrs, L"width", &value) && !value.empty()) {
    if (value.back() == L'%') {
      percent = std::clamp(markup::ParseSize(value, 100, Context(), false).value_or(100), 0, 100);
    } else {
      pixels = markup::ParseSize(value, 0, Context(), false).value_or(0);
      percent = 0;
    }
  }
  line.content = true;
  if (!draw_) {
    line.percent = std::min(line.percent + percent, 1000);
    line.ascent = std::max(line.ascent, thickness + 8);
    line.x = Sat(static_cast<long long>(line.x) + (pixels >= 0 ? pixels : 1));
    return;
  }
  const int width =
      pixels >= 0 ? pixels : static_cast<int>(static_cast<long long>(avail) * percent / 100);
  const int y = line.y + (line.record.height - thickness) / 2;
  RECT bar{line.x, y, Sat(static_cast<long long>(line.x) + width), y + thickness};
  winfw::Brush brush(CreateSolidBrush(colour));
  FillRect(dc_, &bar, brush.get());
  line.x = Sat(static_cast<long long>(line.x) + (pixels >= 0 ? pixels : 1));
}

bool MarkupPass::LoadPicture(const std::vector<Attribute>& attrs, int kind, LoadedImage* image) {
  std::wstring value;
  const markup::SizeContext context = Context();
  auto number = [&](const wchar_t* name, unsigned long long* out) {
    if (!markup::FindAttribute(attrs, name, &value) || value.empty()) return false;
    *out = std::wcstoull(value.substr(0, 64).c_str(), nullptr, 0);
    return true;
  };
  (void)context;
  unsigned long long id = 0;
  const UINT type = kind == kTagIcon ? IMAGE_ICON : IMAGE_BITMAP;
  const int icon_cx = GetSystemMetrics(SM_CXICON), icon_cy = GetSystemMetrics(SM_CYICON);
  HANDLE handle = nullptr;
  if (number(L"idres", &id) && id <= 0xFFFF) {
    handle = ::LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), type, 0, 0, 0);
  } else if (markup::FindAttribute(attrs, L"file", &value) && !value.empty()) {
    handle = ::LoadImageW(nullptr, value.c_str(), type, 0, 0, LR_LOADFROMFILE);
  } else if (number(L"iddll", &id) && id <= 0xFFFF &&
             markup::FindAttribute(attrs, L"srcdll", &value) && !value.empty()) {
    // Loaded as data only: a library named by the text never runs any of its code here.
    HMODULE module = LoadLibraryExW(value.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | 0x20 /*AS_IMAGE_RESOURCE*/);
    if (module != nullptr) {
      handle = ::LoadImageW(module, MAKEINTRESOURCEW(id), type, 0, 0, 0);
      FreeLibrary(module);
    }
  } else if (number(L"handle", &id)) {
    if (type == IMAGE_ICON) {
      image->icon = reinterpret_cast<HICON>(static_cast<uintptr_t>(id));
    } else {
      image->bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(id));
    }
    image->owned = false;
  }
  if (handle != nullptr) {
    image->owned = true;
    if (type == IMAGE_ICON) {
      image->icon = static_cast<HICON>(handle);
    } else {
      image->bitmap = static_cast<HBITMAP>(handle);
    }
  }
  if (image->icon != nullptr) {
    ICONINFO ii{};
    if (!GetIconInfo(image->icon, &ii)) return false;
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
    image->natural_cx = icon_cx;
    image->natural_cy = icon_cy;
    return true;
  }
  if (image->bitmap != nullptr) {
    BITMAP info{};
    if (GetObjectType(image->bitmap) != OBJ_BITMAP ||
        GetObjectW(image->bitmap, sizeof(info), &info) == 0) {
      return false;
    }
    image->natural_cx = info.bmWidth;
    image->natural_cy = info.bmHeight;
    return true;
  }
  return false;
}

void MarkupPass::Image(Line& line, const Token& t, int kind, int left, int avail, int wrap,
                       int* widest) {
  const auto attrs = markup::ParseAttributes(t.attributes);
  LoadedImage image;
  std::wstring value;
  int frame_cx = 0, frame_cy = 0, index = 0;
  bool from_list = false;
  bool loaded = LoadPicture(attrs, kind, &image);
  if (kind == kTagImageList) {
    if (markup::FindAttribute(attrs, L"index", &value)) {
      index = static_cast<int>(std::min<unsigned long long>(
          std::wcstoull(value.substr(0, 32).c_str(), nullptr, 0), INT_MAX));
    }
    if (loaded && image.bitmap != nullptr) {
      const int side = std::min(image.natural_cx, image.natural_cy);
      if (markup::FindAttribute(attrs, L"cx", &value))
        frame_cx = markup::ParseSize(value, 0, Context(), false).value_or(0);
      if (markup::FindAttribute(attrs, L"cy", &value))
        frame_cy = markup::ParseSize(value, 0, Context(), false).value_or(0);
      if (frame_cx == 0 && frame_cy == 0) frame_cx = frame_cy = side;
      if (frame_cx == 0) frame_cx = frame_cy;
      if (frame_cy == 0) frame_cy = frame_cx;
      const int across = frame_cx > 0 ? image.natural_cx / frame_cx : 0;
      const int down = frame_cy > 0 ? image.natural_cy / frame_cy : 0;
      // A frame beyond the strip draws nothing and takes no space.
      if (across <= 0 || down <= 0 || index >= across * down) return;
      image.natural_cx = frame_cx;
      image.natural_cy = frame_cy;
    } else if (!loaded && r_.image_list_ != nullptr &&
               index < ImageList_GetImageCount(r_.image_list_)) {
      int cx = 0, cy = 0;
      ImageList_GetIconSize(r_.image_list_, &cx, &cy);
      image.natural_cx = cx;
      image.natural_cy = cy;
      from_list = loaded = true;
    }
  }
  if (!loaded || image.natural_cx <= 0 || image.natural_cy <= 0) return;
  auto dimension = [&](const wchar_t* name, int natural) {
    if (!markup::FindAttribute(attrs, name, &value) || value.empty()) return natural;
    return std::clamp(markup::ParseSize(value, natural, Context(), false).value_or(natural), 0,
                      8192);
  };
  const int w = dimension(L"width", image.natural_cx), h = dimension(L"height", image.natural_cy);
  if (w <= 0 || h <= 0) return;
  bool shadow = false;
  unsigned style = 0;
  if (markup::FindAttribute(attrs, L"style", &value)) style = ImageFlags(value, &shadow);
  if (style_.link_kind != 0 && link_number_ == r_.hover_link_ &&
      markup::FindAttribute(attrs, L"hotstyle", &value)) {
    shadow = false;
    style = ImageFlags(value, &shadow);
  }
  if (shadow && (r_.shadow_x_ != 0 || r_.shadow_y_ != 0)) style |= kImageSoftShadow;
  const int taken = w + ((style & kImageSoftShadow) ? r_.shadow_x_ : 0);
  if (wrap > 0 && line.x != line.left && line.x + taken > left + wrap) {
    EndLine(line, left, avail, 1, true, widest);
  }
  line.content = true;
  if (!draw_) {
    line.align = style_.align;
    line.ascent = std::max(line.ascent, h);
    line.x = Sat(static_cast<long long>(line.x) + taken);
    return;
  }
  const int H = line.record.height, D = line.record.descent;
  int y = line.y;
  switch (style_.valign) {
    case 0:
      break;
    case 1:
      y += (H - h) / 2;
      break;
    case 2:
      y += H - h;
      break;
    default:
      y += H - D - h;
      break;
  }
  RecordLink(RECT{line.x, y, line.x + w, y + h});
  ImageDrawParams params;
  params.style = style;
  if (!r_.colours_.enabled()) params.style |= kImageDisabled;
  params.disabled_colour = GetSysColor(COLOR_BTNSHADOW);
  if (markup::FindAttribute(attrs, L"mask", &value)) {
    params.use_mask = true;
    params.mask_colour = r_.colours_.Parse(value).value_or(RGB(255, 0, 255));
  }
  params.shadow_x = r_.shadow_x_;
  params.shadow_y = r_.shadow_y_;
  params.blur_x = r_.blur_x_;
  params.blur_y = r_.blur_y_;
  const int grey = MulDiv(255, r_.darkness_, 100);
  params.shadow_colour = RGB(grey, grey, grey);
  if (from_list) {
    winfw::Icon icon(ImageList_GetIcon(r_.image_list_, index, ILD_NORMAL));
    r_.draw_manager_.DrawIcon(dc_, line.x, y, w, h, icon.get(), params);
  } else if (image.icon != nullptr) {
    r_.draw_manager_.DrawIcon(dc_, line.x, y, w, h, image.icon, params);
  } else if (kind == kTagImageList) {
    r_.draw_manager_.DrawStripFrame(dc_, line.x, y, w, h, image.bitmap, frame_cx, frame_cy, index,
                                    params);
  } else {
    r_.draw_manager_.DrawBitmap(dc_, line.x, y, w, h, image.bitmap, params);
  }
  line.x = Sat(static_cast<long long>(line.x) + taken);
}

void MarkupPass::Tag(Line& line, const Token& t, int left, int avail, int wrap, int* widest) {
  const TagInfo* info = FindTag(t.name);
  if (info == nullptr) return;
  const std::wstring_view group = info->group;
  if (group.empty()) {
    switch (info->id) {
      case kTagBreak:
        EndLine(line, left, avail, RepeatCount(t, Context()), false, widest);
        break;
      case kTagTab: {
        const int w = r_.tab_width_;
        int n = RepeatCount(t, Context());
        const int offset = line.x - left;
        if (offset % w != 0) {
          line.x = left + (offset / w + 1) * w;
          --n;
        }
        line.x = Sat(static_cast<long long>(line.x) + static_cast<long long>(n) * w);
        line.content = true;
        break;
      }
      case kTagRule:
        Rule(line, t, avail);
        break;
      case kTagString: {
        const auto attrs = markup::ParseAttributes(t.attributes);
        std::wstring value;
        if (!markup::FindAttribute(attrs, L"idres", &value) &&
            !markup::FindAttribute(attrs, L"iddll", &value)) {
          break;
        }
        const unsigned long long id = std::wcstoull(value.substr(0, 32).c_str(), nullptr, 0);
        const wchar_t* resource = nullptr;
        // The length comes with the text, so a text of any length is copied whole and no
        // fixed buffer can be overrun.
        const int length = id <= 0xFFFF
                               ? LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                             reinterpret_cast<LPWSTR>(&resource), 0)
                               : 0;
        if (length <= 0 || resource == nullptr) break;
        const std::wstring text = Transform(std::wstring(resource, length), style_.text_transform);
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        Piece(line, text, size);
        break;
      }
      default:
        Image(line, t, info->id, left, avail, wrap, widest);
        break;
    }
    return;
  }
  if (t.closing) {
    if (!stack_.empty() && stack_.back().group == group) {
      style_ = std::move(stack_.back());
      stack_.pop_back();
      SelectStyle();
    }
    return;
  }
  if (stack_.size() >= kMaxStyleDepth) return;
  stack_.push_back(style_);
  stack_.back().group.assign(group);
  style_.group.assign(group);
  const auto attrs = markup::ParseAttributes(t.attributes);
  std::wstring value;
  switch (info->id) {
    case kTagBold:
      style_.weight = std::min(style_.weight * 2, 900);
      break;
    case kTagItalic:
      style_.italic = !style_.italic;
      break;
    case kTagUnderline:
      style_.underline = !style_.underline;
      break;
    case kTagStrike:
      style_.strike_out = !style_.strike_out;
      break;
    case kTagFont:
      if (markup::FindAttribute(attrs, L"face", &value) && !value.empty()) {
        style_.face.assign(value.substr(0, LF_FACESIZE - 1));
      }
      if (markup::FindAttribute(attrs, L"size", &value)) {
        if (auto size = markup::ParseSize(value, style_.font_height, Context(), true)) {
          style_.font_height = std::clamp(*size, 1, 2000);
        }
      }
      if (markup::FindAttribute(attrs, L"color", &value)) {
        if (auto c = r_.colours_.Parse(value)) style_.text_colour = *c;
      }
      if (markup::FindAttribute(attrs, L"weight", &value)) {
        style_.weight = markup::ParseWeight(value, style_.weight);
      }
      if (markup::FindAttribute(attrs, L"bkgnd", &value)) {
        if (value == L"transparent") {
          style_.background_mode = TRANSPARENT;
        } else if (auto c = r_.colours_.Parse(value)) {
          style_.background_mode = OPAQUE;
          style_.background_colour = *c;
        }
      }
      if (markup::FindAttribute(attrs, L"style", &value)) {
        bool on = true;
        for (const wchar_t c : value) {
          switch (c) {
            case L'+':
              on = true;
              continue;
            case L'-':
              on = false;
              continue;
            case L'b':
              style_.weight = on ? 700 : 400;
              break;
            case L'i':
              style_.italic = on;
              break;
            case L'u':
              style_.underline = on;
              break;
            case L's':
              style_.strike_out = on;
              break;
            case L'o':
              style_.overline = on;
              break;
            default:
              break;
          }
          on = true;
        }
      }
      break;
    case kTagLeft:
      style_.align = 0;
      break;
    case kTagCenter:
      style_.align = 1;
      break;
    case kTagRight:
      style_.align = 2;
      break;
    case kTagJustify:
      style_.align = 3;
      break;
    case kTagBaseline:
      style_.valign = 3;
      break;
    case kTagTop:
      style_.valign = 0;
      break;
    case kTagMiddle:
      style_.valign = 1;
      break;
    case kTagBottom:
      style_.valign = 2;
      break;
    case kTagSheet:
      ApplyRule(t.name);
      break;
    case kTagSpan:
      if (markup::FindAttribute(attrs, L"class", &value)) {
        std::wstring selector = L"." + value;
        for (auto& c : selector) c = static_cast<wchar_t>(std::towlower(c));
        ApplyRule(selector);
      }
      break;
    case kTagLink:
      style_.link_kind = 2;
      style_.link_target.clear();
      if (markup::FindAttribute(attrs, L"href", &value)) {
        style_.link_kind = 1;
        style_.link_target = value;
      }
      if (markup::FindAttribute(attrs, L"msg", &value)) {
        style_.link_kind = 2;
        style_.link_target = value;
      }
      ++link_number_;
      ApplyRule(link_number_ == r_.hover_link_ ? L"a:hover" : L"a:link");
      break;
    default:
      break;
  }
  SelectStyle();
}

SIZE MarkupPass::Inline(size_t begin, size_t end, const RECT& area, int wrap) {
  const int left = area.left;
  const int avail = std::max(0, static_cast<int>(area.right - area.left));
  int widest = 0;
  Line line;
  StartLine(line, left, area.top, avail);
  for (size_t i = begin; i < end; ++i) {
    const Token& t = r_.tokens_[i];
    if (t.is_tag) {
      Tag(line, t, left, avail, wrap, &widest);
    } else {
      Text(line, t.text, left, avail, wrap, &widest);
    }
  }
  // The last line counts when it holds something; a block of tags alone takes no room.
  if (line.content) EndLine(line, left, avail, 1, false, &widest);
  return SIZE{widest, line.y - area.top};
}

void MarkupPass::BoxAttributes(const std::vector<Attribute>& attrs, HtmlStyle& style, bool table) {
  const markup::SizeContext context = Context();
  auto size = [&](const std::wstring& v, int current) {
    return std::clamp(markup::ParseSize(v, current, context, false).value_or(current), 0, 10000);
  };
  for (const auto& [name, value] : attrs) {
    if (table && name == L"cellpadding") {
      style.cell_padding = std::min(size(value, style.cell_padding), 1000);
    } else if (table && name == L"cellspacing") {
      style.cell_spacing = std::min(size(value, style.cell_spacing), 1000);
    } else if (table && name == L"background") {
      if (!value.empty()) style.background_image = value;
    } else if (name == L"border") {
      style.border_width = std::min(size(value, style.border_width), 1000);
      if (style.border_width > 0 && style.border_style == 0) style.border_style = 1;
    } else if (name == L"borderstyle") {
      if (value == L"none") style.border_style = 0;
      if (value == L"solid") style.border_style = 1;
      if (value == L"dashed") style.border_style = 2;
      if (value == L"dotted") style.border_style = 3;
      if (value == L"double") style.border_style = 6;
    } else if (name == L"bordercolor") {
      if (auto c = r_.colours_.Parse(value)) style.border_light = style.border_dark = *c;
    } else if (name == L"bordercolorlight") {
      if (auto c = r_.colours_.Parse(value)) style.border_light = *c;
    } else if (name == L"bordercolordark") {
      if (auto c = r_.colours_.Parse(value)) style.border_dark = *c;
    } else if (name == L"bgcolor") {
      if (auto c = r_.colours_.Parse(value)) style.background_colour = *c;
      if (style.background_effect == -1) style.background_effect = kEffectSolid;
    } else if (name == L"bgmidcolor") {
      if (auto c = r_.colours_.Parse(value)) style.middle_colour = *c;
    } else if (name == L"bgendcolor") {
      if (auto c = r_.colours_.Parse(value)) style.end_colour = *c;
    } else if (name == L"bgeffect") {
      const int effect = EffectFromName(value);
      if (effect >= -1) {
        style.background_effect = effect;
      } else if (!value.empty() && value[0] >= L'0' && value[0] <= L'9') {
        style.background_effect = static_cast<int>(std::min<unsigned long long>(
            std::wcstoull(value.substr(0, 32).c_str(), nullptr, 0), 1000));
      }
    } else if (name == L"align") {
      if (value.empty() || value == L"left") style.align = 0;
      if (value == L"center") style.align = 1;
      if (value == L"right") style.align = 2;
    } else if (name == L"valign") {
      if (value.empty() || value == L"baseline") style.valign = 3;
      if (value == L"middle" || value == L"vcenter") style.valign = 1;
      if (value == L"top") style.valign = 0;
      if (value == L"bottom") style.valign = 2;
    } else if (name == L"width") {
      style.width = size(value, 0);
    } else if (name == L"height") {
      style.height = size(value, 0);
    }
  }
  if (style.border_width == 0) style.border_style = 0;
  if (style.border_style != 0 && style.border_style != 1) style.border_width = 1;
}

SIZE MarkupPass::Blocks(size_t begin, size_t end, const RECT& area, int wrap, int depth) {
  int y = area.top;
  int width = 0;
  size_t i = begin;
  while (i < end) {
    size_t j = i;
    // Tables nested deeper than the limit are read as inline text (their tags dropped).
    while (j < end && !(depth < kMaxTableDepth && IsTag(r_.tokens_[j], L"table", false))) ++j;
    if (j > i) {
      const SIZE s = Inline(i, j, RECT{area.left, y, area.right, y}, wrap);
      y = Sat(static_cast<long long>(y) + s.cy);
      width = std::max(width, static_cast<int>(s.cx));
    }
    if (j >= end) break;
    const size_t close = TableEnd(r_.tokens_, j, end);
    const SIZE s = Table(j, close, RECT{area.left, y, area.right, y}, depth);
    y = Sat(static_cast<long long>(y) + s.cy);
    width = std::max(width, static_cast<int>(s.cx));
    i = close;
  }
  return SIZE{width, y - area.top};
}

}  // namespace velmora
