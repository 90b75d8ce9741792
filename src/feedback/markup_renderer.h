#pragma once
// Lays out and draws the message mark-up: text runs in several fonts and colours, breaks
// and tabs, alignment, rules, icons and bitmaps, nested tables with borders and background
// effects, and links that react to the mouse. No window of its own: the owner measures
// once, draws on every paint and hands over mouse positions and clicks.

#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <string>
#include <vector>

#include "feedback/draw_manager.h"
#include "feedback/markup_style.h"
#include "feedback/markup_text.h"

namespace velmora {

struct LineInfo {
  int width = 0;
  int ascent = 0;
  int height = 0;  // ascent + descent
  int descent = 0;
  int percent = 0;
  int align = 0;
  int blanks = 0;
  bool wrapped = false;
};

struct LinkArea {
  RECT rect{};
  int kind = 0;    // 1 open the target, 2 send it to the link-notification window
  int number = 0;  // which "a" of the text, from 0
  std::wstring target;
};

struct TableCell {
  int row = 0;
  int column = 0;
  int row_span = 1;
  int column_span = 1;
  int width = 0;  // minimum content size from the attributes
  int height = 0;
  int content_width = 0;
  int content_height = 0;
  int outer_width = 0;
  int outer_height = 0;
  bool fixed_width = false;
};

struct TableRecord {
  int rows = 0;
  int columns = 0;
  std::vector<TableCell> cells;
  std::vector<int> column_widths;
  std::vector<int> row_heights;
  std::vector<bool> fixed_columns;
  int width = 0;
  int height = 0;
};

class CMarkupRenderer {
 public:
  CMarkupRenderer();
  CMarkupRenderer(const CMarkupRenderer&) = delete;
  CMarkupRenderer& operator=(const CMarkupRenderer&) = delete;
  ~CMarkupRenderer();

  // Stores the text and measures it; the size has 1 added in each direction. An empty text
  // or an empty result gives 0 x 0 and leaves nothing to draw.
  SIZE Measure(HDC dc, const std::wstring& text);
  void Draw(HDC dc, const RECT& rect);

  void SetNotify(HWND window, UINT message, LPARAM param);
  void SetLinkNotify(HWND window, UINT message, LPARAM param);
  int LinkAt(POINT point) const;
  bool UpdateHover(POINT point);
  void FollowLink(int index);

  void SetMaxWidth(int width) { max_width_ = width < 0 ? 0 : width; }
  void SetImageList(HIMAGELIST list) { image_list_ = list; }
  void SetColoursEnabled(bool enabled) { colours_.set_enabled(enabled); }
  void LoadStyleSheet(const std::wstring& text) { sheet_.Load(text); }
  void SetTabWidth(int width) { tab_width_ = width > 0 ? width : 1; }

  const std::vector<LineInfo>& lines() const { return lines_; }
  const std::vector<LinkArea>& link_areas() const { return links_; }
  const std::vector<TableRecord>& tables() const { return tables_; }
  int hover_link() const { return hover_link_; }
  bool empty() const { return tokens_.empty(); }

 private:
  friend class MarkupPass;

  std::wstring text_;
  std::vector<markup::Token> tokens_;
  bool has_result_ = false;
  std::vector<LineInfo> lines_;
  std::vector<LinkArea> links_;
  std::vector<TableRecord> tables_;

  int max_width_ = 0;
  int tab_width_ = 32;
  bool convert_breaks_ = true;
  int shadow_x_ = 4;
  int shadow_y_ = 4;
  int blur_x_ = 7;
  int blur_y_ = 7;
  int darkness_ = 50;
  HIMAGELIST image_list_ = nullptr;
  markup::ColourTable colours_;
  markup::StyleSheet sheet_;
  CDrawManager draw_manager_;
  HCURSOR hand_ = nullptr;
  bool hand_owned_ = false;
  HWND notify_window_ = nullptr;
  UINT notify_message_ = 0;
  LPARAM notify_param_ = 0;
  HWND link_window_ = nullptr;
  UINT link_message_ = 0;
  LPARAM link_param_ = 0;
  int hover_link_ = -2;
};

}  // namespace velmora
