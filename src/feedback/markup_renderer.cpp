// The mark-up renderer's own object: it keeps the parsed text and what the last pass found
// (lines, links, tables), measures and draws through a MarkupPass, and follows its links.
#include "feedback/markup_renderer.h"

#include <algorithm>

#include "feedback/link_target.h"
#include "feedback/markup_pass.h"

namespace velmora {

CMarkupRenderer::CMarkupRenderer() {
  hand_ = LoadLinkCursor(&hand_owned_);
}

CMarkupRenderer::~CMarkupRenderer() {
  if (hand_owned_ && hand_ != nullptr) DestroyCursor(hand_);
}

SIZE CMarkupRenderer::Measure(HDC dc, const std::wstring& text) {
  text_ = text;
  tokens_.clear();
  lines_.clear();
  links_.clear();
  tables_.clear();
  has_result_ = false;
  if (text.empty() || dc == nullptr) return SIZE{0, 0};
  tokens_ = markup::Tokenize(markup::Preprocess(L"<body>" + text + L"</body>", convert_breaks_));
  MarkupPass pass(*this, dc, false);
  SIZE size = pass.Blocks(0, tokens_.size(), RECT{0, 0, max_width_, 0}, max_width_, 0);
  if (max_width_ > 0) size.cx = std::min(size.cx, static_cast<LONG>(max_width_));
  if (size.cx <= 0 && size.cy <= 0) {
    tokens_.clear();
    return SIZE{0, 0};
  }
  has_result_ = true;
  return SIZE{size.cx + 1, size.cy + 1};
}

void CMarkupRenderer::Draw(HDC dc, const RECT& rect) {
  if (!has_result_ || tokens_.empty() || dc == nullptr) return;
  links_.clear();
  MarkupPass pass(*this, dc, true);
  pass.Blocks(0, tokens_.size(), rect, max_width_, 0);
}

void CMarkupRenderer::SetNotify(HWND window, UINT message, LPARAM param) {
  notify_window_ = window;
  notify_message_ = message;
  notify_param_ = param;
}

void CMarkupRenderer::SetLinkNotify(HWND window, UINT message, LPARAM param) {
  link_window_ = window;
  link_message_ = message;
  link_param_ = param;
}

int CMarkupRenderer::LinkAt(POINT point) const {
  for (size_t i = 0; i < links_.size(); ++i) {
    const RECT& r = links_[i].rect;
    if (point.x >= r.left && point.x <= r.right && point.y >= r.top && point.y <= r.bottom) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool CMarkupRenderer::UpdateHover(POINT point) {
  const int index = LinkAt(point);
  const int number = index >= 0 ? links_[index].number : -2;
  if (number != hover_link_) {
    hover_link_ = number;
    if (notify_window_ != nullptr && notify_message_ != 0) {
      SendMessageW(notify_window_, notify_message_, static_cast<WPARAM>(number), notify_param_);
    }
  }
  if (index >= 0 && !links_[index].target.empty() && hand_ != nullptr) {
    SetCursor(hand_);
    return true;
  }
  return false;
}

void CMarkupRenderer::FollowLink(int index) {
  if (index < 0 || static_cast<size_t>(index) >= links_.size()) return;
  const LinkArea link = links_[index];  // a copy: the handler below may repaint
  if (link.target.empty()) return;
  if (link.kind == 1) {
    if (hand_ != nullptr) SetCursor(hand_);
    OpenLinkTarget(link.target);
  } else if (link.kind == 2 && link_window_ != nullptr && link_message_ != 0) {
    SendMessageW(link_window_, link_message_, reinterpret_cast<WPARAM>(link.target.c_str()),
                 link_param_);
  }
}

}  // namespace velmora
