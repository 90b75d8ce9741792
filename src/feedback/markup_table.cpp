// The table layout of the mark-up renderer: rows, cells, column widths and spans of a
// "<table>", nested tables included up to kMaxTableDepth.
#include <climits>

#include "feedback/markup_pass.h"

namespace velmora {

using markup::HtmlStyle;
using markup::Token;
using markup_layout::IsTag;
using markup_layout::kMaxColumns;
using markup_layout::kMaxTableDepth;
using markup_layout::Sat;

namespace markup_layout {

// The token after the "/table" that closes the table opened at `open` (nested tables
// counted), or `end` when it is never closed.
size_t TableEnd(const std::vector<Token>& tokens, size_t open, size_t end) {
  int depth = 0;
  for (size_t i = open; i < end; ++i) {
    const Token& t = tokens[i];
    if (IsTag(t, L"table", false)) ++depth;
    if (IsTag(t, L"table", true) && --depth == 0) return i + 1;
  }
  return end;
}

}  // namespace markup_layout

using markup_layout::TableEnd;

namespace {

struct CellSpan {
  size_t tr = 0;  // the row's "tr" token
  size_t td = 0;  // the cell's "td" token
  size_t begin = 0;
  size_t end = 0;
  int row = 0;
};

// The cells of a table in order: rows at "tr", cells at "td", content up to the next cell,
// row or table end of the same table.
std::vector<CellSpan> FindCells(const std::vector<Token>& tokens, size_t open, size_t close,
                                int* rows) {
  std::vector<CellSpan> cells;
  int row = -1;
  size_t tr = open;
  CellSpan* current = nullptr;
  auto finish = [&](size_t at) {
    if (current != nullptr) current->end = at;
    current = nullptr;
  };
  for (size_t i = open + 1; i < close; ++i) {
    const Token& t = tokens[i];
    if (IsTag(t, L"table", false)) {
      i = TableEnd(tokens, i, close) - 1;
      continue;
    }
    if (!t.is_tag) continue;
    if (t.name == L"table" && t.closing) {
      finish(i);
      break;
    }
    if (t.name == L"tr") {
      finish(i);
      if (!t.closing) {
        ++row;
        tr = i;
      }
    } else if (t.name == L"td") {
      finish(i);
      if (!t.closing && row >= 0) {
        cells.push_back(CellSpan{tr, i, i + 1, close, row});
        current = &cells.back();
      }
    }
  }
  finish(close);
  for (auto& c : cells) c.end = std::min(c.end, close);
  *rows = row + 1;
  return cells;
}

}  // namespace

SIZE MarkupPass::Table(size_t open, size_t close, const RECT& area, int depth) {
  const size_t index = table_index_++;
  if (!draw_ && r_.tables_.size() <= index) r_.tables_.resize(index + 1);
  if (index >= r_.tables_.size()) return SIZE{0, 0};
  TableRecord& record = r_.tables_[index];
  const size_t stack_depth = stack_.size();
  const HtmlStyle outer = style_;

  HtmlStyle table = style_;
  table.background_effect = -1;
  table.border_style = 0;
  table.border_width = 0;
  table.width = table.height = 0;
  BoxAttributes(markup::ParseAttributes(r_.tokens_[open].attributes), table, true);
  if (const std::wstring* rule = r_.sheet_.Rule(L"table")) {
    markup::ApplyDeclarations(*rule, table, Context(), r_.colours_);
  }
  table.group = L"table";

  int rows = 0;
  const std::vector<CellSpan> spans = FindCells(r_.tokens_, open, close, &rows);
  // Each cell's style: the table's, then its row's attributes, then its own.
  std::vector<HtmlStyle> styles;
  styles.reserve(spans.size());
  for (const CellSpan& span : spans) {
    HtmlStyle cell = table;
    cell.background_effect = -1;
    cell.background_image.clear();
    cell.width = cell.height = 0;
    BoxAttributes(markup::ParseAttributes(r_.tokens_[span.tr].attributes), cell, false);
    cell.width = cell.height = 0;
    BoxAttributes(markup::ParseAttributes(r_.tokens_[span.td].attributes), cell, false);
    cell.border_width = std::min(cell.border_width, 1);
    if (cell.border_width == 0) cell.border_style = 0;
    cell.group = L"td";
    styles.push_back(std::move(cell));
  }
  const int bw = table.border_width;
  const int frame = table.border_style == kBorderDouble ? 3 * bw : bw;
  const int spacing = table.cell_spacing;

  if (!draw_) {
    record = TableRecord{};
    record.rows = rows;
    std::vector<int> busy_until;  // per column: the first row no longer covered by a span
    int row = -1, column = 0;
    for (size_t k = 0; k < spans.size(); ++k) {
      const CellSpan& span = spans[k];
      if (span.row != row) {
        row = span.row;
        column = 0;
      }
      while (column < static_cast<int>(busy_until.size()) && busy_until[column] > row) ++column;
      TableCell cell;
      cell.row = row;
      cell.column = column;
      const auto attrs = markup::ParseAttributes(r_.tokens_[span.td].attributes);
      std::wstring value;
      // Spans are held to the table: a huge or negative span covers what is there, no more.
      auto span_of = [&](const wchar_t* name) {
        if (!markup::FindAttribute(attrs, name, &value)) return 1;
        return std::clamp(markup::ParseSize(value, 1, Context(), false).value_or(1), 1,
                          kMaxColumns);
      };
      cell.column_span = std::min(span_of(L"colspan"), std::max(1, kMaxColumns - column));
      cell.row_span = std::min(span_of(L"rowspan"), std::max(1, rows - row));
      cell.width = styles[k].width;
      cell.height = styles[k].height;
      cell.fixed_width = markup::FindAttribute(attrs, L"width", &value);
      if (column >= kMaxColumns) {
        cell.column_span = 0;  // beyond the table's last column: left out
      } else {
        if (static_cast<int>(busy_until.size()) < column + cell.column_span) {
          busy_until.resize(column + cell.column_span, 0);
        }
        for (int c = column; c < column + cell.column_span; ++c)
          busy_until[c] = row + cell.row_span;
        column += cell.column_span;
      }
      record.cells.push_back(cell);
    }
    record.columns = static_cast<int>(busy_until.size());
  }
  if (record.cells.size() != spans.size()) return SIZE{0, 0};

  // Cell contents, measured on their own in the measure pass and drawn in the draw pass in
  // the same order, so their lines and nested tables line up between the passes.
  auto lay_out_cell = [&](size_t k, const RECT& box) {
    stack_.resize(stack_depth);
    stack_.push_back(outer);
    style_ = styles[k];
    SelectStyle();
    const SIZE size = Blocks(spans[k].begin, spans[k].end, box, 0, depth + 1);
    stack_.resize(stack_depth);
    return size;
  };

  if (!draw_) {
    for (size_t k = 0; k < spans.size(); ++k) {
      TableCell& cell = record.cells[k];
      const SIZE content = lay_out_cell(k, RECT{0, 0, 0, 0});
      if (cell.column_span == 0) continue;
      cell.content_width = content.cx;
      cell.content_height = content.cy;
      const int pad = 2 * (styles[k].cell_padding + styles[k].border_width);
      cell.outer_width =
          Sat(static_cast<long long>(std::max(static_cast<int>(content.cx), cell.width)) + pad);
      cell.outer_height =
          Sat(static_cast<long long>(std::max(static_cast<int>(content.cy), cell.height)) + pad);
    }
    record.column_widths.assign(record.columns, 0);
    record.fixed_columns.assign(record.columns, false);
    record.row_heights.assign(std::max(0, rows), 0);
    auto spread = [](std::vector<int>& sizes, int first, int span, int need, int gap) {
      long long have = 0;
      for (int c = first; c < first + span; ++c) have += sizes[c];
      have += static_cast<long long>(span - 1) * gap;
      if (have >= need) return;
      const long long more = need - have;
      for (int c = first; c < first + span; ++c) sizes[c] = Sat(sizes[c] + more / span);
      sizes[first] = Sat(sizes[first] + more % span);
    };
    for (int span = 1; span <= kMaxColumns; ++span) {
      bool any = false;
      for (const TableCell& cell : record.cells) {
        if (cell.column_span < span) continue;
        any = true;
        if (cell.column_span != span) continue;
        if (span == 1 && cell.fixed_width) record.fixed_columns[cell.column] = true;
        spread(record.column_widths, cell.column, span, cell.outer_width, 0);
      }
      if (!any) break;
    }
    for (int span = 1; span <= rows; ++span) {
      bool any = false;
      for (const TableCell& cell : record.cells) {
        if (cell.column_span == 0 || cell.row_span < span) continue;
        any = true;
        if (cell.row_span == span) spread(record.row_heights, cell.row, span, cell.outer_height, 0);
      }
      if (!any) break;
    }
    long long w = 0, h = 0;
    for (int c : record.column_widths) w += c;
    for (int r : record.row_heights) h += r;
    const int cols = record.columns;
    w += static_cast<long long>(spacing) * (cols + 1) + std::max(0, cols - 1) + 2LL * frame;
    h += static_cast<long long>(spacing) * (rows + 1) + std::max(0, rows - 1) + 2LL * frame;
    record.width = Sat(w);
    record.height = Sat(h);
    style_ = outer;
    stack_.resize(stack_depth);
    SelectStyle();
    return SIZE{record.width, record.height};
  }

  // Draw pass: stretch the columns without a fixed width to the available width.
  std::vector<int> widths = record.column_widths;
  int table_width = record.width;
  const int avail = std::max(0, static_cast<int>(area.right - area.left));
  int x0 = area.left;
  if (table_width < avail) {
    int autos = static_cast<int>(
        std::count(record.fixed_columns.begin(), record.fixed_columns.end(), false));
    if (autos > 0) {
      int rest = avail - table_width;
      for (int c = 0; c < record.columns; ++c) {
        if (record.fixed_columns[c]) continue;
        const int add = rest / autos;
        widths[c] += add;
        rest -= add;
        --autos;
      }
      table_width = avail;
    } else if (table.align == 1) {
      x0 += (avail - table_width) / 2;
    } else if (table.align == 2) {
      x0 += avail - table_width;
    }
  }
  const RECT box{x0, area.top, Sat(static_cast<long long>(x0) + table_width),
                 Sat(static_cast<long long>(area.top) + record.height)};
  CDrawManager& dm = r_.draw_manager_;
  const bool colours = r_.colours_.enabled();
  if (table.background_effect != -1) {
    dm.FillEffect(box, dc_, table.background_effect, table.background_colour, table.middle_colour,
                  table.end_colour, 5);
  } else if (!table.background_image.empty()) {
    // "key:value;" with the key idres, iddll (a bitmap of the program) or file.
    const std::wstring& spec = table.background_image;
    const size_t colon = spec.find(L':');
    if (colon != std::wstring::npos) {
      const std::wstring key = spec.substr(0, colon);
      std::wstring value = spec.substr(colon + 1);
      value = value.substr(0, value.find(L';'));
      winfw::Bitmap tile;
      if (key == L"idres" || key == L"iddll") {
        const unsigned long long id = std::wcstoull(value.substr(0, 32).c_str(), nullptr, 0);
        if (id <= 0xFFFF) {
          tile.Reset(static_cast<HBITMAP>(::LoadImageW(
              GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0)));
        }
      } else if (key == L"file") {
        tile.Reset(static_cast<HBITMAP>(
            ::LoadImageW(nullptr, value.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
      }
      BITMAP info{};
      if (tile && GetObjectW(tile.get(), sizeof(info), &info) && info.bmWidth > 0 &&
          info.bmHeight > 0) {
        winfw::Brush brush(CreatePatternBrush(tile.get()));
        SetBrushOrgEx(dc_, box.left, box.top, nullptr);
        FillRect(dc_, &box, brush.get());
      }
    }
  }
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  dm.DrawBorder(box, dc_, colours ? table.border_light : shadow,
                colours ? table.border_dark : shadow, table.border_style, table.border_width);
  const RECT inside{box.left + frame, box.top + frame, box.right - frame, box.bottom - frame};
  std::vector<long long> column_left(record.columns + 1), row_top(std::max(0, rows) + 1);
  column_left[0] = inside.left + spacing;
  for (int c = 0; c < record.columns; ++c)
    column_left[c + 1] = column_left[c] + widths[c] + spacing + 1;
  row_top[0] = inside.top + spacing;
  for (int r = 0; r < rows; ++r) row_top[r + 1] = row_top[r] + record.row_heights[r] + spacing + 1;
  for (size_t k = 0; k < spans.size(); ++k) {
    const TableCell& cell = record.cells[k];
    if (cell.column_span == 0 || cell.row >= rows) {
      lay_out_cell(k, RECT{0, 0, 0, 0});  // keeps the line order of the measure pass
      continue;
    }
    const int last_col = std::min(record.columns, cell.column + cell.column_span);
    const int last_row = std::min(rows, cell.row + cell.row_span);
    const RECT rect{Sat(column_left[cell.column]), Sat(row_top[cell.row]),
                    Sat(column_left[last_col] - spacing - 1), Sat(row_top[last_row] - spacing - 1)};
    const HtmlStyle& cs = styles[k];
    if (cs.background_effect != -1) {
      dm.FillEffect(rect, dc_, cs.background_effect, cs.background_colour, cs.middle_colour,
                    cs.end_colour, 5);
    }
    dm.DrawBorder(rect, dc_, colours ? cs.border_light : shadow, colours ? cs.border_dark : shadow,
                  cs.border_style, cs.border_width);
    const int inset = cs.cell_padding + cs.border_width;
    RECT content{rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset};
    const int room = content.bottom - content.top;
    if (cs.valign == 1) content.top += (room - cell.content_height) / 2;
    if (cs.valign == 2) content.top = content.bottom - cell.content_height;
    lay_out_cell(k, content);
  }
  style_ = outer;
  stack_.resize(stack_depth);
  SelectStyle();
  return SIZE{Sat(box.right - area.left), record.height};
}

}  // namespace velmora
