// The layout pass of CMarkupRenderer: one measure or draw pass over the stored tokens, with
// the bounds that keep a hostile text's layout finite. Inline text, images and tags are laid
// out in markup_pass.cpp, tables in markup_table.cpp. Only the renderer's files include this.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "feedback/markup_renderer.h"
#include "winfw/gdi.h"

namespace velmora {
namespace markup_layout {

using markup::Token;

// Bounds that keep a hostile text's layout finite: nesting, repeat counts, table size and
// coordinates.
inline constexpr size_t kMaxStyleDepth = 256;
inline constexpr int kMaxTableDepth = 16;
inline constexpr int kMaxRepeat = 100;
inline constexpr int kMaxColumns = 256;
inline constexpr int kMaxCoordinate = 1 << 24;

inline int Sat(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -kMaxCoordinate, kMaxCoordinate));
}

inline bool IsTag(const Token& t, std::wstring_view name, bool closing) {
  return t.is_tag && t.closing == closing && t.name == name;
}

// An image the mark-up names, loaded for one drawing and freed after it.
struct LoadedImage {
  HBITMAP bitmap = nullptr;
  HICON icon = nullptr;
  bool owned = false;
  int natural_cx = 0;
  int natural_cy = 0;
  ~LoadedImage() {
    if (!owned) return;
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (icon != nullptr) DestroyIcon(icon);
  }
};

// The token after the "/table" that closes the table opened at `open` (nested tables
// counted), or `end` when it is never closed.
size_t TableEnd(const std::vector<Token>& tokens, size_t open, size_t end);

}  // namespace markup_layout

// One measure or draw pass over the stored tokens.
class MarkupPass {
 public:
  using Attribute = markup::Attribute;
  using HtmlStyle = markup::HtmlStyle;
  using Token = markup::Token;
  using LoadedImage = markup_layout::LoadedImage;

  MarkupPass(CMarkupRenderer& r, HDC dc, bool draw) : r_(r), dc_(dc), draw_(draw) {
    saved_dc_ = SaveDC(dc_);
    dpi_ = GetDeviceCaps(dc_, LOGPIXELSY);
    if (dpi_ <= 0) dpi_ = 96;
    ApplyRule(L"body");
    SelectStyle();
  }
  ~MarkupPass() {
    SetTextJustification(dc_, 0, 0);
    RestoreDC(dc_, saved_dc_);
  }

  SIZE Blocks(size_t begin, size_t end, const RECT& area, int wrap, int depth);

 private:
  struct Line {
    int left = 0;  // where the line's pieces start (after the alignment offset)
    int x = 0;
    int y = 0;
    int ascent = 0;
    int descent = 0;
    int blanks = 0;
    int percent = 0;
    int align = 0;
    bool content = false;
    LineInfo record;  // draw pass: what the measure pass found for this line
  };

  markup::SizeContext Context() const { return {dpi_, x_height_, tm_.tmHeight}; }
  void ApplyRule(std::wstring_view selector) {
    if (const std::wstring* rule = r_.sheet_.Rule(selector)) {
      markup::ApplyDeclarations(*rule, style_, Context(), r_.colours_);
    }
  }
  void SelectStyle();
  void StartLine(Line& line, int left, int y, int avail);
  void EndLine(Line& line, int left, int avail, int count, bool wrapped, int* widest);
  SIZE Inline(size_t begin, size_t end, const RECT& area, int wrap);
  void Text(Line& line, std::wstring text, int left, int avail, int wrap, int* widest);
  void Piece(Line& line, const std::wstring& piece, SIZE size);
  void Tag(Line& line, const Token& t, int left, int avail, int wrap, int* widest);
  void Image(Line& line, const Token& t, int kind, int left, int avail, int wrap, int* widest);
  void Rule(Line& line, const Token& t, int avail);
  void RecordLink(const RECT& rect);
  bool LoadPicture(const std::vector<Attribute>& attrs, int kind, LoadedImage* image);
  SIZE Table(size_t begin, size_t end, const RECT& area, int depth);
  void BoxAttributes(const std::vector<Attribute>& attrs, HtmlStyle& style, bool table);

  CMarkupRenderer& r_;
  HDC dc_;
  bool draw_;
  int saved_dc_ = 0;
  int dpi_ = 96;
  HtmlStyle style_;
  std::vector<HtmlStyle> stack_;
  winfw::Font font_;
  TEXTMETRICW tm_{};
  int x_height_ = 8;
  int link_number_ = -1;
  size_t line_index_ = 0;
  size_t table_index_ = 0;
};

}  // namespace velmora
