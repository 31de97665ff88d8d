#include "core/view/ViewTransform.h"

#include <algorithm>
#include <cmath>

namespace kivra {

namespace {
constexpr int64_t kMinFramedTwips = 16;

// 16.16 times a value, rounded to nearest.
int64_t mulFixed(int64_t fixed, int64_t v) { return (fixed * v + 0x8000) >> 16; }

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Rounds to the nearest multiple of f.
int64_t snap(int64_t v, int f) {
  const int64_t half = f / 2;
  return (v >= 0 ? (v + half) / f : -((-v + half) / f)) * f;
}
}  // namespace

MATRIX concat(const MATRIX& c, const MATRIX& p) {
  MATRIX m;
  m.a = clamp32(mulFixed(p.a, c.a) + mulFixed(p.c, c.b));
  m.b = clamp32(mulFixed(p.b, c.a) + mulFixed(p.d, c.b));
  m.c = clamp32(mulFixed(p.a, c.c) + mulFixed(p.c, c.d));
  m.d = clamp32(mulFixed(p.b, c.c) + mulFixed(p.d, c.d));
  m.tx = clamp32(mulFixed(p.a, c.tx) + mulFixed(p.c, c.ty) + p.tx);
  m.ty = clamp32(mulFixed(p.b, c.tx) + mulFixed(p.d, c.ty) + p.ty);
  return m;
}

CXFORM concat(const CXFORM& c, const CXFORM& p) {
  auto mul = [](int32_t a, int32_t b) { return static_cast<Fixed8>(std::clamp((a * b) >> 8, -32768, 32767)); };
  auto add = [](int32_t childAdd, int32_t parentMul, int32_t parentAdd) {
    return static_cast<int16_t>(std::clamp(((childAdd * parentMul) >> 8) + parentAdd, -32768, 32767));
  };
  CXFORM r;
  r.flags = c.flags | p.flags;
  r.rMul = mul(c.rMul, p.rMul);
  r.gMul = mul(c.gMul, p.gMul);
  r.bMul = mul(c.bMul, p.bMul);
  r.aMul = mul(c.aMul, p.aMul);
  r.rAdd = add(c.rAdd, p.rMul, p.rAdd);
  r.gAdd = add(c.gAdd, p.gMul, p.gAdd);
  r.bAdd = add(c.bAdd, p.bMul, p.bAdd);
  r.aAdd = add(c.aAdd, p.aMul, p.aAdd);
  return r;
}

RECT transformRect(const MATRIX& m, const RECT& r) {
  const int64_t xs[2] = {r.xmin, r.xmax};
  const int64_t ys[2] = {r.ymin, r.ymax};
  int64_t x0 = INT64_MAX, x1 = INT64_MIN, y0 = INT64_MAX, y1 = INT64_MIN;
  for (int64_t x : xs) {
    for (int64_t y : ys) {
      const int64_t px = mulFixed(m.a, x) + mulFixed(m.c, y) + m.tx;
      const int64_t py = mulFixed(m.b, x) + mulFixed(m.d, y) + m.ty;
      x0 = std::min(x0, px);
      x1 = std::max(x1, px);
      y0 = std::min(y0, py);
      y1 = std::max(y1, py);
    }
  }
  return RECT{clamp32(x0), clamp32(x1), clamp32(y0), clamp32(y1)};
}

void ViewTransform::map(Twips x, Twips y, int32_t& dx, int32_t& dy) const {
  dx = clamp32(mulFixed(matrix.a, x) + mulFixed(matrix.c, y) + matrix.tx);
  dy = clamp32(mulFixed(matrix.b, x) + mulFixed(matrix.d, y) + matrix.ty);
}

bool inverseMap(const MATRIX& m, double x, double y, double& ox, double& oy) {
  const double a = m.a / 65536.0, b = m.b / 65536.0, c = m.c / 65536.0, d = m.d / 65536.0;
  const double det = a * d - b * c;
  if (std::fabs(det) < 1e-12) return false;
  const double px = x - m.tx, py = y - m.ty;
  ox = (d * px - c * py) / det;
  oy = (-b * px + a * py) / det;
  return true;
}

void forwardMap(const MATRIX& m, double x, double y, double& ox, double& oy) {
  ox = m.a / 65536.0 * x + m.c / 65536.0 * y + m.tx;
  oy = m.b / 65536.0 * x + m.d / 65536.0 * y + m.ty;
}

bool ViewTransform::clientToStage(double px, double py, double& sx, double& sy) const {
  const int f = std::max(1, aaFactor);
  return inverseMap(matrix, px * f, py * f, sx, sy);
}

void ViewTransform::stageToClient(double sx, double sy, double& px, double& py) const {
  const double f = std::max(1, aaFactor);
  forwardMap(matrix, sx, sy, px, py);
  px /= f;
  py /= f;
}

ViewTransform ViewTransform::compute(const ViewRequest& req) {
  ViewTransform v;
  const int quality = std::clamp(req.quality, 0, 2);
  const int f = 1 << quality;
  v.aaFactor = f;

  const ScaleMode mode = static_cast<ScaleMode>(req.modeAndAlign & 0x0F);
  const RECT framed = (req.zoom && mode != ScaleMode::NoScale) ? *req.zoom : req.frame;
  DeviceRect client = req.client;
  if (client.empty()) client = DeviceRect{0, 0, (framed.xmax - framed.xmin) / 20, (framed.ymax - framed.ymin) / 20};
  v.view = DeviceRect{clamp32(int64_t(client.left) * f), clamp32(int64_t(client.top) * f),
                      clamp32(int64_t(client.right) * f), clamp32(int64_t(client.bottom) * f)};

  const int64_t framedW = std::max<int64_t>(kMinFramedTwips, int64_t(framed.xmax) - framed.xmin);
  const int64_t framedH = std::max<int64_t>(kMinFramedTwips, int64_t(framed.ymax) - framed.ymin);
  const int64_t clientW = std::max<int64_t>(kMinFramedTwips, int64_t(v.view.right) - v.view.left);
  const int64_t clientH = std::max<int64_t>(kMinFramedTwips, int64_t(v.view.bottom) - v.view.top);
  int64_t sx = (clientW << 16) / framedW;
  int64_t sy = (clientH << 16) / framedH;
  switch (mode) {
    case ScaleMode::ShowAll:
      sx = sy = std::min(sx, sy);
      break;
    case ScaleMode::NoBorder:
      sx = sy = std::max(sx, sy);
      break;
    case ScaleMode::ExactFit:
      break;
    case ScaleMode::NoScale:
    default:
      // One pixel per 20 twips.
      sx = sy = (int64_t(f) << 16) / 20;
      break;
  }
  sx = std::clamp<int64_t>(sx, 1, INT32_MAX);
  sy = std::clamp<int64_t>(sy, 1, INT32_MAX);

  // Put the chosen edge (or the centre) of the framed rectangle on the same
  // edge (or centre) of the view; work in doubled units so centres are exact.
  const uint8_t align = req.modeAndAlign & 0xF0;
  auto place = [&](int64_t viewLo, int64_t viewHi, int64_t lo, int64_t hi, int64_t scale, bool first,
                   bool second) {
    const int64_t mappedLo = lo * scale;
    const int64_t mappedHi = hi * scale;
    int64_t doubled;  // 2 * translation, in sub-pixels << 16
    if (first) {
      doubled = 2 * ((viewLo << 16) - mappedLo);
    } else if (second) {
      doubled = 2 * ((viewHi << 16) - mappedHi);
    } else {
      doubled = ((viewLo + viewHi) << 16) - (mappedLo + mappedHi);
    }
    const int64_t t = doubled >= 0 ? (doubled + 0x10000) >> 17 : -((-doubled + 0x10000) >> 17);
    return snap(t, f);
  };
  v.matrix.a = static_cast<Fixed16>(sx);
  v.matrix.d = static_cast<Fixed16>(sy);
  v.matrix.tx = clamp32(place(v.view.left, v.view.right, framed.xmin, framed.xmax, sx, align & kAlignLeft,
                              align & kAlignRight));
  v.matrix.ty = clamp32(place(v.view.top, v.view.bottom, framed.ymin, framed.ymax, sy, align & kAlignTop,
                              align & kAlignBottom));
  return v;
}

}  // namespace kivra
