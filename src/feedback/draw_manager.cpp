#include "feedback/draw_manager.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "winfw/gdi.h"

namespace velmora {

namespace {

struct NamedEffect {
  const wchar_t* name;
  int number;
};

constexpr std::array<NamedEffect, 17> kEffectNames{{
    {L"transparent", kEffectTransparent},
    {L"solid", kEffectSolid},
    {L"hgradient", kEffectHGradient},
    {L"vgradient", kEffectVGradient},
    {L"hcgradient", kEffectHCGradient},
    {L"vcgradient", kEffectVCGradient},
    {L"3hgradient", kEffect3HGradient},
    {L"3vgradient", kEffect3VGradient},
    {L"noise", kEffectNoise},
    {L"diagshade", kEffectDiagShade},
    {L"hshade", kEffectHShade},
    {L"vshade", kEffectVShade},
    {L"hbump", kEffectHBump},
    {L"vbump", kEffectVBump},
    {L"softbump", kEffectSoftBump},
    {L"hardbump", kEffectHardBump},
    {L"metal", kEffectMetal},
}};

COLORREF Mix(COLORREF a, int wa, COLORREF b, int wb, int total) {
  return RGB((GetRValue(a) * wa + GetRValue(b) * wb) / total,
             (GetGValue(a) * wa + GetGValue(b) * wb) / total,
             (GetBValue(a) * wa + GetBValue(b) * wb) / total);
}

void SolidFill(HDC dc, const RECT& rect, COLORREF colour) {
  winfw::Brush brush(CreateSolidBrush(colour));
  if (brush) FillRect(dc, &rect, brush.get());
}

// The cubic bump: flat in the middle, steep near both ends.
int Bump(long long t, int g) {
  const long long c = t - 127;
  return static_cast<int>(128 + ((c * c * c / 16384) * (128 - g)) / 128);
}

int PenStyle(int style) {
  switch (style) {
    case kBorderDashed:
      return PS_DASH;
    case kBorderDotted:
      return PS_DOT;
    case kBorderDashDot:
      return PS_DASHDOT;
    case kBorderDashDotDot:
      return PS_DASHDOTDOT;
    default:
      return PS_SOLID;
  }
}

// An image made ready for drawing: 0x00RRGGBB colours with a separate alpha per pixel.
struct Picture {
  int cx = 0;
  int cy = 0;
  std::vector<uint32_t> colour;
  std::vector<uint8_t> alpha;
  bool has_alpha = false;
};

// Reads cx x cy pixels (top-down) of a source bitmap's rectangle stretched to that size.
bool StretchInto(HBITMAP source, int sx, int sy, int sw, int sh, int cx, int cy,
                 std::vector<uint32_t>& out) {
  winfw::DibSurface surface(cx, cy);
  if (surface.bits() == nullptr) return false;
  winfw::MemoryDc src;
  if (!src) return false;
  winfw::SelectObj select(src.get(), source);
  SetStretchBltMode(surface.dc(), COLORONCOLOR);
  if (!StretchBlt(surface.dc(), 0, 0, cx, cy, src.get(), sx, sy, sw, sh, SRCCOPY)) return false;
  GdiFlush();
  out.assign(surface.bits(), surface.bits() + static_cast<size_t>(cx) * cy);
  return true;
}

// Alpha from the colour pixels' own alpha bytes when any is set, else opaque.
void TakeAlpha(Picture& picture) {
  const size_t n = picture.colour.size();
  picture.alpha.assign(n, 255);
  picture.has_alpha = std::any_of(picture.colour.begin(), picture.colour.end(),
                                  [](uint32_t p) { return (p >> 24) != 0; });
  if (picture.has_alpha) {
    for (size_t i = 0; i < n; ++i) picture.alpha[i] = static_cast<uint8_t>(picture.colour[i] >> 24);
  }
  for (auto& p : picture.colour) p &= 0xFFFFFF;
}

void ApplyStyle(Picture& picture, const ImageDrawParams& params) {
  const uint32_t mask = (GetRValue(params.mask_colour) << 16) |
                        (GetGValue(params.mask_colour) << 8) | GetBValue(params.mask_colour);
  for (size_t i = 0; i < picture.colour.size(); ++i) {
    uint32_t& p = picture.colour[i];
    if (params.use_mask && p == mask) {
      picture.alpha[i] = 0;
      continue;
    }
    int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (params.style & kImageGrey) {
      r = g = b = static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b);
    }
    if (params.style & kImageDarker) {
      r = static_cast<int>(r * 0.75);
      g = static_cast<int>(g * 0.75);
      b = static_cast<int>(b * 0.75);
    }
    if (params.style & kImageLighter) {
      r = std::min(255, static_cast<int>(r * 1.25));
      g = std::min(255, static_cast<int>(g * 1.25));
      b = std::min(255, static_cast<int>(b * 1.25));
    }
    if (params.style & kImageDisabled) {
      r = GetRValue(params.disabled_colour);
      g = GetGValue(params.disabled_colour);
      b = GetBValue(params.disabled_colour);
    }
    p = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
        static_cast<uint32_t>(b);
    if (params.style & kImageInvert) p = ~p & 0xFFFFFF;
  }
}

// Box blur with running sums along the rows, then the columns.
void BoxBlur(std::vector<int>& plane, int w, int h, int bx, int by) {
  std::vector<int> tmp(plane.size());
  const int rx = bx / 2, ry = by / 2;
  for (int y = 0; y < h; ++y) {
    long long sum = 0;
    for (int x = -rx; x < w + rx; ++x) {
      if (x + rx < w && x + rx >= 0) sum += plane[static_cast<size_t>(y) * w + x + rx];
      if (x - rx - 1 >= 0 && x - rx - 1 < w) sum -= plane[static_cast<size_t>(y) * w + x - rx - 1];
      if (x >= 0 && x < w) tmp[static_cast<size_t>(y) * w + x] = static_cast<int>(sum);
    }
  }
  for (int x = 0; x < w; ++x) {
    long long sum = 0;
    for (int y = -ry; y < h + ry; ++y) {
      if (y + ry < h && y + ry >= 0) sum += tmp[static_cast<size_t>(y + ry) * w + x];
      if (y - ry - 1 >= 0 && y - ry - 1 < h) sum -= tmp[static_cast<size_t>(y - ry - 1) * w + x];
      if (y >= 0 && y < h)
        plane[static_cast<size_t>(y) * w + x] = static_cast<int>(sum / (bx * by));
    }
  }
}

// Draws a prepared picture over what the DC holds: the shadow first, then the picture
// blended by its alpha.
void Compose(HDC dc, int x, int y, const Picture& picture, const ImageDrawParams& params) {
  const bool shadow = (params.style & (kImageShadow | kImageSoftShadow)) != 0;
  const int sx = shadow ? params.shadow_x : 0, sy = shadow ? params.shadow_y : 0;
  const int left = std::min(0, sx), top = std::min(0, sy);
  const int w = std::max(picture.cx, picture.cx + sx) - left;
  const int h = std::max(picture.cy, picture.cy + sy) - top;
  winfw::DibSurface back(w, h);
  if (back.bits() == nullptr) return;
  BitBlt(back.dc(), 0, 0, w, h, dc, x + left, y + top, SRCCOPY);
  GdiFlush();
  DWORD* bits = back.bits();
  if (shadow) {
    std::vector<int> plane(static_cast<size_t>(picture.cx) * picture.cy, 0);
    if (params.style & kImageSoftShadow) {
      // The silhouette shrunk by half the blur on each side, so the blur fades it out
      // within the picture's own size.
      const int bx = std::max(1, params.blur_x | 1), by = std::max(1, params.blur_y | 1);
      const int ix = bx / 2, iy = by / 2;
      const int iw = picture.cx - 2 * ix, ih = picture.cy - 2 * iy;
      if (iw > 0 && ih > 0) {
        for (int j = 0; j < ih; ++j) {
          for (int i = 0; i < iw; ++i) {
            const int srcx = i * picture.cx / iw, srcy = j * picture.cy / ih;
            plane[static_cast<size_t>(j + iy) * picture.cx + i + ix] =
                picture.alpha[static_cast<size_t>(srcy) * picture.cx + srcx];
          }
        }
      }
      BoxBlur(plane, picture.cx, picture.cy, bx, by);
    } else {
      for (size_t i = 0; i < plane.size(); ++i) plane[i] = picture.alpha[i];
    }
    const int shade[3] = {GetRValue(params.shadow_colour), GetGValue(params.shadow_colour),
                          GetBValue(params.shadow_colour)};
    for (int j = 0; j < picture.cy; ++j) {
      for (int i = 0; i < picture.cx; ++i) {
        const int s = std::clamp(plane[static_cast<size_t>(j) * picture.cx + i], 0, 255);
        if (s == 0) continue;
        DWORD& p = bits[static_cast<size_t>(j + sy - top) * w + i + sx - left];
        int c[3] = {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                    static_cast<int>(p & 0xFF)};
        for (int k = 0; k < 3; ++k) c[k] = c[k] * (255 - s * (255 - shade[k]) / 255) / 255;
        p = (c[0] << 16) | (c[1] << 8) | c[2];
      }
    }
  }
  for (int j = 0; j < picture.cy; ++j) {
    for (int i = 0; i < picture.cx; ++i) {
      const size_t k = static_cast<size_t>(j) * picture.cx + i;
      const int a = picture.alpha[k];
      if (a == 0) continue;
      DWORD& p = bits[static_cast<size_t>(j - top) * w + i - left];
      const uint32_t src = picture.colour[k];
      if (a == 255) {
        p = src;
        continue;
      }
      int out = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        const int fg = (src >> shift) & 0xFF, bg = (p >> shift) & 0xFF;
        out |= ((fg * a + bg * (255 - a)) / 255) << shift;
      }
      p = out;
    }
  }
  BitBlt(dc, x + left, y + top, w, h, back.dc(), 0, 0, SRCCOPY);
}

// Images larger than this on a side are refused rather than allocated.
constexpr int kMaxImageSide = 8192;

bool SizeOk(int cx, int cy) {
  return cx > 0 && cy > 0 && cx <= kMaxImageSide && cy <= kMaxImageSide;
}

}  // namespace

int EffectFromName(std::wstring_view name) {
  for (const auto& e : kEffectNames) {
    if (name == e.name) return e.number;
  }
  return -2;
}

void CDrawManager::Gradient(HDC dc, const RECT& rect, bool horizontal, COLORREF from, COLORREF to,
                            int start, int length) {
  for (int k = 0; k < 64; ++k) {
    const int a = start + static_cast<int>(static_cast<long long>(k) * length / 64);
    const int b = start + static_cast<int>(static_cast<long long>(k + 1) * length / 64);
    if (a == b) continue;
    RECT band = rect;
    if (horizontal) {
      band.left = a;
      band.right = b;
    } else {
      band.top = a;
      band.bottom = b;
    }
    SolidFill(dc, band, Mix(to, k, from, 64 - k, 64));
  }
}

void CDrawManager::FillEffect(const RECT& rect, HDC dc, int effect, COLORREF begin, COLORREF middle,
                              COLORREF end, int granularity) {
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (dc == nullptr || w <= 0 || h <= 0 || effect == kEffectTransparent) return;
  switch (effect) {
    case kEffectHGradient:
      Gradient(dc, rect, true, begin, end, rect.left, w);
      break;
    case kEffectVGradient:
      Gradient(dc, rect, false, begin, end, rect.top, h);
      break;
    case kEffectHCGradient:
      Gradient(dc, rect, true, begin, end, rect.left, w / 2);
      Gradient(dc, rect, true, end, begin, rect.left + w / 2, w - w / 2);
      break;
    case kEffectVCGradient:
      Gradient(dc, rect, false, begin, end, rect.top, h / 2);
      Gradient(dc, rect, false, end, begin, rect.top + h / 2, h - h / 2);
      break;
    case kEffect3HGradient:
      Gradient(dc, rect, true, begin, middle, rect.left, w / 2);
      Gradient(dc, rect, true, middle, end, rect.left + w / 2, w - w / 2);
      break;
    case kEffect3VGradient:
      Gradient(dc, rect, false, begin, middle, rect.top, h / 2);
      Gradient(dc, rect, false, middle, end, rect.top + h / 2, h - h / 2);
      break;
    case kEffectNoise:
    case kEffectDiagShade:
    case kEffectHShade:
    case kEffectVShade:
    case kEffectHBump:
    case kEffectVBump:
    case kEffectSoftBump:
    case kEffectHardBump:
    case kEffectMetal:
      Texture(dc, rect, effect, begin, middle, end, granularity);
      break;
    default:
      SolidFill(dc, rect, begin);
      break;
  }
}

void CDrawManager::Texture(HDC dc, const RECT& rect, int effect, COLORREF begin, COLORREF middle,
                           COLORREF end, int granularity) {
  const long long W = rect.right - rect.left, H = rect.bottom - rect.top;
  const int g = std::clamp(granularity, 0, 127);
  // Only the part the DC can show is computed, so a huge rectangle costs no more than the
  // visible area; the formulas still run over the whole rectangle's size.
  RECT clip{};
  RECT part{};
  if (GetClipBox(dc, &clip) == ERROR || !IntersectRect(&part, &rect, &clip)) return;
  const int pw = part.right - part.left, ph = part.bottom - part.top;
  if (!dib_.Resize(pw, ph)) return;
  for (int i = 0; i <= 128; ++i) dib_.SetEntry(i, Mix(end, 128 - i, middle, i, 128));
  for (int e = 1; e < 128; ++e) dib_.SetEntry(128 + e, Mix(middle, 128 - e, begin, e, 128));

  const int o = 255 - 2 * g;
  const int spread = g == 0 ? 1 : 2 * g;
  // Granularity 0 asks for no noise at all; the plain formula would still add 1 whenever
  // rand() returns its maximum and leave stray specks in an otherwise even fill.
  auto noise = [&]() -> int { return g == 0 ? 0 : std::rand() / (32767 / spread) - g; };
  const int x0 = part.left - rect.left;  // first column of the part within the rectangle
  const int row_bottom = static_cast<int>(rect.bottom - part.bottom);  // first row, from below

  if (effect == kEffectMetal) {
    std::vector<int> level(static_cast<size_t>(pw) * ph, 0);
    const long long reach = std::max<long long>(1, std::min(W, H) / 2);
    for (int s = 0; s < 200; ++s) {
      const long long cx = std::rand() % W, cy = std::rand() % H;
      const long long len = std::rand() % reach;
      const int bright = std::rand() / 819;
      for (long long d = -len; d <= len; ++d) {
        for (int dir = -1; dir <= 1; dir += 2) {
          const long long px = cx + d - x0, py = cy + dir * d - row_bottom;
          if (px >= 0 && px < pw && py >= 0 && py < ph) level[py * pw + px] += bright;
        }
      }
    }
    for (int r = 0; r < ph; ++r) {
      const long long rr = r + row_bottom;
      uint8_t* row = dib_.Row(r);
      for (int j = 0; j < pw; ++j) {
        const long long jj = j + x0;
        const long long shade = ((o - 40) / 2) * (rr * 255 / H + (W - jj) * 255 / W) / 510;
        row[j] =
            static_cast<uint8_t>((g + 20 + shade + level[r * pw + j] + std::rand() % 2) & 0xFF);
      }
    }
    dib_.Draw(dc, part.left, part.top);
    return;
  }

  for (int r = 0; r < ph; ++r) {
    const long long rr = r + row_bottom;
    uint8_t* row = dib_.Row(r);
    const long long rt = rr * 255 / H;
    for (int j = 0; j < pw; ++j) {
      const long long jj = j + x0;
      const long long ct = (W - jj) * 255 / W;
      long long v = 0;
      switch (effect) {
        case kEffectNoise:
          v = 128 + noise();
          break;
        case kEffectDiagShade:
          v = rr * (o / 2) / H + (W - jj) * (o / 2) / W + noise() + g;
          break;
        case kEffectHShade:
          v = g + rr * o / H + noise();
          break;
        case kEffectVShade:
          v = g + (W - jj) * o / W + noise();
          break;
        case kEffectHBump:
          v = Bump(rt, g) + noise();
          break;
        case kEffectVBump:
          v = Bump(ct, g) + noise();
          break;
        case kEffectSoftBump: {
          const long long a = (rt - 127) * (rt - 127) * (rt - 127) / 16384;
          const long long b = (ct - 127) * (ct - 127) * (ct - 127) / 16384;
          v = std::clamp<long long>(128 + (a + b) * (128 - g) / 128, g, 255 - g) + noise();
          break;
        }
        case kEffectHardBump: {
          const long long a = (rt - 127) * (rt - 127) * (rt - 127) / 16384;
          v = 128 + a * (64 - g) * 2 / 128 + noise();
          // The bevelled oval inscribed in the rectangle: within `edge` inside its left
          // end a row is raised, within `edge` inside its right end lowered.
          const long long edge = std::max<long long>(1, std::min<long long>(W / 6, 16));
          const double dy = (2.0 * rr - H) / H;
          if (dy * dy < 1.0) {
            const double half = W / 2.0 * std::sqrt(1.0 - dy * dy);
            const long long from = static_cast<long long>(W / 2.0 - half);
            const long long to = static_cast<long long>(W / 2.0 + half);
            if (jj >= from && jj < from + edge) v += 128 * (from + edge - jj) / edge + noise();
            if (jj < to && jj >= to - edge) v -= 128 * (jj - (to - edge)) / edge + noise();
          }
          break;
        }
        default:
          break;
      }
      row[j] = static_cast<uint8_t>(v & 0xFF);
    }
  }
  dib_.Draw(dc, part.left, part.top);
}

void CDrawManager::DrawBorder(const RECT& rect, HDC dc, COLORREF light, COLORREF dark, int style,
                              int width) {
  if (dc == nullptr || width <= 0 || style == kBorderNone) return;
  winfw::Pen light_pen(CreatePen(PenStyle(style), width, light));
  winfw::Pen dark_pen(CreatePen(PenStyle(style), width, dark));
  const int outlines = style == kBorderDouble ? 2 : 1;
  for (int n = 0; n < outlines; ++n) {
    const int inset = width / 2 + n * 2 * width;
    const int l = rect.left + inset, t = rect.top + inset;
    const int r = rect.right - 1 - inset, b = rect.bottom - 1 - inset;
    if (r < l || b < t) break;
    {
      winfw::SelectObj pen(dc, light_pen.get());
      MoveToEx(dc, l, b, nullptr);
      LineTo(dc, l, t);
      LineTo(dc, r, t);
    }
    winfw::SelectObj pen(dc, dark_pen.get());
    MoveToEx(dc, r, t, nullptr);
    LineTo(dc, r, b);
    LineTo(dc, l, b);
  }
}

void CDrawManager::DrawLine(int width, POINT from, POINT to, HDC dc, COLORREF colour, int style) {
  if (dc == nullptr || width <= 0 || style == kBorderNone) return;
  winfw::Pen pen(CreatePen(PenStyle(style), width, colour));
  winfw::SelectObj select(dc, pen.get());
  MoveToEx(dc, from.x, from.y, nullptr);
  LineTo(dc, to.x, to.y);
  if (style == kBorderDouble) {
    const bool horizontal = from.y == to.y;
    const int dx = horizontal ? 0 : 2 * width, dy = horizontal ? 2 * width : 0;
    MoveToEx(dc, from.x + dx, from.y + dy, nullptr);
    LineTo(dc, to.x + dx, to.y + dy);
  }
}

bool CDrawManager::DrawStripFrame(HDC dc, int x, int y, int cx, int cy, HBITMAP strip, int frame_cx,
                                  int frame_cy, int index, const ImageDrawParams& params) {
  BITMAP info{};
  if (strip == nullptr || frame_cx <= 0 || frame_cy <= 0 || index < 0 ||
      GetObjectW(strip, sizeof(info), &info) == 0) {
    return false;
  }
  const int across = info.bmWidth / frame_cx, down = info.bmHeight / frame_cy;
  if (across <= 0 || down <= 0 || index >= across * down) return false;
  if (cx == 0) cx = frame_cx;
  if (cy == 0) cy = frame_cy;
  if (dc == nullptr || !SizeOk(cx, cy)) return false;
  Picture picture{cx, cy, {}, {}, false};
  if (!StretchInto(strip, (index % across) * frame_cx, (index / across) * frame_cy, frame_cx,
                   frame_cy, cx, cy, picture.colour)) {
    return false;
  }
  TakeAlpha(picture);
  last_alpha_ = picture.has_alpha;
  ApplyStyle(picture, params);
  Compose(dc, x, y, picture, params);
  return true;
}

bool CDrawManager::DrawBitmap(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap,
                              const ImageDrawParams& params) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) return false;
  return DrawStripFrame(dc, x, y, cx, cy, bitmap, info.bmWidth, info.bmHeight, 0, params);
}

bool CDrawManager::DrawIcon(HDC dc, int x, int y, int cx, int cy, HICON icon,
                            const ImageDrawParams& params) {
  ICONINFO ii{};
  if (dc == nullptr || icon == nullptr || !GetIconInfo(icon, &ii)) return false;
  winfw::Bitmap colour_bitmap(ii.hbmColor);
  winfw::Bitmap mask_bitmap(ii.hbmMask);
  BITMAP mask_info{};
  if (!mask_bitmap || GetObjectW(mask_bitmap.get(), sizeof(mask_info), &mask_info) == 0) {
    return false;
  }
  // A monochrome icon keeps its AND mask and its XOR image stacked in one bitmap.
  const int own_w = mask_info.bmWidth;
  const int own_h = colour_bitmap ? mask_info.bmHeight : mask_info.bmHeight / 2;
  if (cx == 0) cx = ii.xHotspot > 0 ? 2 * static_cast<int>(ii.xHotspot) : own_w;
  if (cy == 0) cy = ii.yHotspot > 0 ? 2 * static_cast<int>(ii.yHotspot) : own_h;
  if (!SizeOk(cx, cy) || own_w <= 0 || own_h <= 0) return false;
  Picture picture{cx, cy, {}, {}, false};
  std::vector<uint32_t> mask;
  if (!StretchInto(mask_bitmap.get(), 0, 0, own_w, own_h, cx, cy, mask)) return false;
  if (colour_bitmap) {
    if (!StretchInto(colour_bitmap.get(), 0, 0, own_w, own_h, cx, cy, picture.colour)) {
      return false;
    }
  } else if (!StretchInto(mask_bitmap.get(), 0, own_h, own_w, own_h, cx, cy, picture.colour)) {
    return false;
  }
  TakeAlpha(picture);
  if (!picture.has_alpha) {
    for (size_t i = 0; i < mask.size(); ++i) picture.alpha[i] = (mask[i] & 0xFFFFFF) ? 0 : 255;
  }
  last_alpha_ = picture.has_alpha;
  ApplyStyle(picture, params);
  Compose(dc, x, y, picture, params);
  return true;
}

}  // namespace velmora
