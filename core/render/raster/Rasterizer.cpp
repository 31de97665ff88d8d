#include "core/render/raster/Rasterizer.h"

#include <algorithm>
#include <cstring>

#include "core/render/BitmapSampler.h"
#include "core/render/FillPainter.h"

namespace kivra {

namespace {

// Eight 16-bit lanes: a coverage cell's area (lanes 0-3) and cover (4-7),
// each B, G, R, A. Sums wrap modulo 2^16, which is exact because every
// finished pixel sum lies in 0..4080.
typedef uint16_t Lanes8 __attribute__((vector_size(16)));

inline Lanes8 loadCell(const CoverCell& c) {
  Lanes8 v;
  std::memcpy(&v, &c, sizeof v);
  return v;
}
inline void storeCell(CoverCell& c, Lanes8 v) { std::memcpy(&c, &v, sizeof v); }
inline Lanes8 twice(ExpandedPixel p) {
  const uint64_t pair[2] = {p, p};
  Lanes8 v;
  std::memcpy(&v, pair, sizeof v);
  return v;
}
// packArgb for lanes of at most 255, in fewer steps.
inline uint32_t pack(ExpandedPixel v) {
  const uint64_t x = v | (v >> 8);
  return static_cast<uint32_t>(x & 0xFFFF) | static_cast<uint32_t>((x >> 16) & 0xFFFF0000u);
}
inline ExpandedPixel lowHalf(Lanes8 v) {
  uint64_t pair[2];
  std::memcpy(pair, &v, sizeof v);
  return pair[0];
}

void addColorsPortable(ExpandedPixel* acc, const ExpandedPixel* c, int n, uint32_t w) {
  for (int i = 0; i < n; ++i) acc[i] += c[i] * w;
}
void overPortable(ExpandedPixel* dst, const ExpandedPixel* src, int n) {
  for (int i = 0; i < n; ++i) dst[i] = compositeOver(src[i], dst[i]);
}
void overSolidPortable(ExpandedPixel* dst, ExpandedPixel src, int n) {
  for (int i = 0; i < n; ++i) dst[i] = compositeOver(src, dst[i]);
}
void resolve32Portable(ExpandedPixel* acc, uint32_t* dst, int n, int shift) {
  for (int i = 0; i < n; ++i) {
    const ExpandedPixel a = acc[i];
    if (!a) continue;
    acc[i] = 0;
    const ExpandedPixel v = (a >> shift) & kLaneMask;
    dst[i] = packArgb(expandedAlpha(v) == 255 ? v : compositeOver(v, unpackArgb(dst[i])));
  }
}
void fill32Portable(uint32_t* dst, int n, uint32_t v) { std::fill_n(dst, n, v); }

constexpr RasterKernels kPortable{"portable",        addColorsPortable, overPortable,
                                  overSolidPortable, resolve32Portable, fill32Portable};

}  // namespace

const RasterKernels& portableKernels() { return kPortable; }

Rasterizer::Rasterizer() : kernels_(&fastKernels()) {}

bool Rasterizer::beginFrame(RenderTarget& target, int factor, const ClipRect& clip) {
  target_ = &target;
  factor_ = factor >= 4 ? 4 : (factor >= 2 ? 2 : 1);
  shift_ = factor_ == 4 ? 2 : (factor_ == 2 ? 1 : 0);
  clip_.left = std::max(0, clip.left);
  clip_.top = std::max(0, clip.top);
  clip_.right = std::min(target.width(), clip.right);
  clip_.bottom = std::min(target.height(), clip.bottom);
  layer_ = 0;
  rowSafe_ = true;
  stackFills_ = false;
  entries_.clear();
  laidOut_ = false;
  top_ = nullptr;
  if (target.empty() || clip_.right <= clip_.left || clip_.bottom <= clip_.top) {
    sy0_ = sy1_ = 0;
    buckets_.clear();
    return false;
  }
  sx0_ = clip_.left * factor_;
  sx1_ = clip_.right * factor_;
  sy0_ = clip_.top * factor_;
  sy1_ = clip_.bottom * factor_;
  buckets_.assign(static_cast<size_t>(sy1_ - sy0_) + 1, 0);
  const size_t width = static_cast<size_t>(clip_.right - clip_.left);
  acc_.assign(width + 1, 0);
  cells_.assign(width + 1, CoverCell{});
  touched_.assign((width + 1 + 63) / 64, 0);
  for (int o = 0; o < 4; ++o)
    for (int i = 0; i < 4; ++i) {
      weights_[o][i] = static_cast<uint16_t>(factor_ - std::min(o, factor_));
      weights_[o][i + 4] = static_cast<uint16_t>(factor_);
    }
  return true;
}

void Rasterizer::addObject(ShapeBuild& build, const FillStyle* mask, FillStyle* shared) {
  FillStyle* fills = build.fills().data();
  const size_t nFills = build.fills().size();
  for (size_t i = 0; i < nFills; ++i) {
    fills[i].orderKey = (layer_ << 16) | (fills[i].styleNumber & 0xFFFF);
    fills[i].maskLink = mask;
    fills[i].plainOpaque = fills[i].kind != FillKind::Mask && !fills[i].transparent &&
                           fills[i].span == SpanKind::Solid && !mask;
    stackFills_ = stackFills_ || !fills[i].plainOpaque;
    fills[i].active = false;
    fills[i].counter = 0;
    fills[i].nextActive = nullptr;
    fills[i].rowBalance = 0;
    fills[i].probeStamp = 0;
  }
  // Stacking keys are unique while layers last and style numbers rise.
  rowSafe_ = rowSafe_ && layer_ < 0xFFFF;
  for (size_t i = 1; i < nFills; ++i) rowSafe_ = rowSafe_ && fills[i].styleNumber > fills[i - 1].styleNumber;
  layer_ = std::min<uint32_t>(layer_ + 1, 0xFFFF);
  if (buckets_.empty() || laidOut_) return;
  for (const EdgeRecord& e : build.edges()) {
    if (e.y0 >= sy1_ || e.y1 <= sy0_ || e.y1 <= e.y0) continue;
    FillStyle* f0 = e.fill0 < nFills ? (shared ? shared : &fills[e.fill0]) : nullptr;
    FillStyle* f1 = e.fill1 < nFills ? (shared ? shared : &fills[e.fill1]) : nullptr;
    if (!f0 && !f1) continue;
    const int b = std::max<int>(e.y0, sy0_) - sy0_;
    entries_.push_back(BucketEntry{e.x0, e.y0, e.cx, e.cy, e.x1, e.y1, e.straight, e.rule, e.direction, f0, f1});
    ++buckets_[static_cast<size_t>(b)];
  }
}

void Rasterizer::insertEdge(const BucketEntry& b, int y) {
  int32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    if (active_.size() >= kMaxActiveEdges) return;
    active_.emplace_back();
    index = static_cast<int32_t>(active_.size() - 1);
  }
  ActiveEdge& a = active_[static_cast<size_t>(index)];
  const BucketEntry& e = b;
  a.fill0 = b.fill0;
  a.fill1 = b.fill1;
  a.rule = e.rule;
  a.direction = e.direction;
  a.yEnd = e.y1;
  a.curve = !e.straight;
  const int64_t x0 = e.x0, y0 = e.y0, x1 = e.x1, y1 = e.y1;
  if (!a.curve) {
    a.dx = ((x1 - x0) << 32) / (y1 - y0);  // slope, 32.32
    a.x = (x0 << 32) + (y - y0) * a.dx;
  } else {
    // Forward differences of the quadratic over n = 2 (y1 - y0) steps, in
    // 32.32: first difference 2h(C - P0) + h^2 (P0 - 2C + P1), second
    // 2h^2 (P0 - 2C + P1), h = 1/n.
    const int64_t n = 2 * (y1 - y0);
    const int64_t cx = e.cx, cy = e.cy;
    const int64_t qx = x0 - 2 * cx + x1, qy = y0 - 2 * cy + y1;
    const int64_t nn = n * n;
    // Numerators below 2^31 shift into 64 bits; only curves far taller than
    // the edge builder makes need 128.
    auto div = [nn](int64_t num) {
      if (num > -(int64_t{1} << 31) && num < (int64_t{1} << 31)) return (num * (int64_t{1} << 32)) / nn;
      return static_cast<int64_t>(static_cast<__int128>(num) * (static_cast<__int128>(1) << 32) / nn);
    };
    a.dx = div(2 * (cx - x0) * n + qx);
    a.dy = div(2 * (cy - y0) * n + qy);
    a.ddx = div(2 * qx);
    a.ddy = div(2 * qy);
    a.x = x0 << 32;
    a.y = y0 << 32;
    a.px = a.x;
    a.py = a.y;
    a.steps = static_cast<int32_t>(n);
    a.shortCurve = n <= kShortSteps;
    stepTo(a, y);
  }
  a.xi = static_cast<int32_t>((a.x + (int64_t{1} << 31)) >> 32);
  if (a.curve && factor_ == 1 && a.y != a.py && a.y > (static_cast<int64_t>(y) << 32)) {
    const __int128 t = (static_cast<__int128>(y) << 32) - a.py;
    const int64_t xi = a.px + static_cast<int64_t>(((a.x - a.px) * t) / (a.y - a.py));
    a.xi = static_cast<int32_t>((xi + (int64_t{1} << 31)) >> 32);
  }
  countEdge(a, 1);
  incoming_.push_back(Ordered{a.xi, index});
}

// Keeps each fill's balance of active edges as edges start (sign 1) and end
// (-1), and the number of fills out of balance, the way cross() applies the
// rules: toggles count modulo 2, windings by direction.
inline void Rasterizer::countEdge(const ActiveEdge& a, int sign) {
  switch (a.rule) {
    case FillRule::TwoFills:
      if (a.fill0) countToggle(a.fill0);
      if (a.fill1) countToggle(a.fill1);
      break;
    case FillRule::EvenOdd:
      if (a.fill0) countToggle(a.fill0);
      break;
    case FillRule::NonZero:
      if (a.fill0) countWinding(a.fill0, sign * a.direction);
      break;
  }
}

inline void Rasterizer::countToggle(FillStyle* f) {
  const int32_t before = f->rowBalance, after = before ^ 1;
  f->rowBalance = after;
  openFills_ += int{after != 0} - int{before != 0};
}

inline void Rasterizer::countWinding(FillStyle* f, int delta) {
  const int32_t before = f->rowBalance, after = before + 2 * delta;
  f->rowBalance = after;
  openFills_ += int{after != 0} - int{before != 0};
}

void Rasterizer::stepTo(ActiveEdge& a, int row) {
  const int64_t target = static_cast<int64_t>(row) << 32;
  while (a.y < target && a.steps > 0) {
    a.px = a.x;
    a.py = a.y;
    a.y += a.dy;
    a.dy += a.ddy;
    a.x += a.dx;
    a.dx += a.ddx;
    --a.steps;
  }
}

// stepTo without keeping the previous point (factors 2 and 4 use the last
// point as is).
//
// A curve of at most kShortSteps steps is stepped without counting them
// (kCounted false): the count never stops the stepping there. Each
// difference is truncated by less than 2^-32 of a sub-row, so after all n
// steps y is within n (n + 1) / 2 such units (under one sub-row) of the end
// row yEnd, at or past every row the edge is stepped to (at most yEnd - 1);
// the stepping stops at the first y at or past the row before the count
// would. The count left is then not kept (factor 1 uses stepTo).
template <bool kCounted>
[[gnu::always_inline]] inline void Rasterizer::stepCurve(ActiveEdge& a, int row) {
  const int64_t target = static_cast<int64_t>(row) << 32;
  int64_t x = a.x, y = a.y, dx = a.dx, dy = a.dy;
  const int64_t ddx = a.ddx, ddy = a.ddy;
  int32_t steps = kCounted ? a.steps : 0;
  // Up to four steps without branches: which of them the loop below would
  // take is known from the first four y values, and k steps of forward
  // differences add k first differences and k (k - 1) / 2 second ones.
  const int64_t y1 = y + dy, y2 = y1 + dy + ddy, y3 = y2 + dy + 2 * ddy;
  const bool e0 = (y < target) & (!kCounted || steps > 0);
  const bool e1 = e0 & (y1 < target) & (!kCounted || steps > 1);
  const bool e2 = e1 & (y2 < target) & (!kCounted || steps > 2);
  const bool e3 = e2 & (y3 < target) & (!kCounted || steps > 3);
  const int64_t k = int64_t{e0} + int64_t{e1} + int64_t{e2} + int64_t{e3};
  const int64_t t = (k * (k - 1)) >> 1;
  y += k * dy + t * ddy;
  x += k * dx + t * ddx;
  dy += k * ddy;
  dx += k * ddx;
  if constexpr (kCounted) steps -= static_cast<int32_t>(k);
  while (e3 && y < target && (!kCounted || steps > 0)) {
    y += dy;
    dy += ddy;
    x += dx;
    dx += ddx;
    if constexpr (kCounted) --steps;
  }
  a.x = x;
  a.y = y;
  a.dx = dx;
  a.dy = dy;
  if constexpr (kCounted) a.steps = steps;
}

bool Rasterizer::maskVisible(const FillStyle* f) {
  int guard = 64;
  for (const FillStyle* m = f->maskLink; m && guard > 0; m = m->maskLink, --guard)
    if (!m->active) return false;
  return true;
}

inline bool Rasterizer::occludes(const FillStyle* f) const {
  return f->kind != FillKind::Mask && !f->transparent && (!f->maskLink || maskVisible(f));
}

inline void Rasterizer::addDelta(int x, ExpandedPixel to, ExpandedPixel from) {
  const int px = (x >> shift_) - clip_.left;
  Lanes8 w;
  std::memcpy(&w, weights_[x & (factor_ - 1)], sizeof w);
  CoverCell& cell = cells_[static_cast<size_t>(px)];
  storeCell(cell, loadCell(cell) + (twice(to) - twice(from)) * w);
  touched_[static_cast<size_t>(px) >> 6] |= uint64_t{1} << (px & 63);
}

void Rasterizer::closeRun() {
  if (runColor_) addDelta(runEnd_, 0, runColor_);
  runColor_ = 0;
}

[[gnu::always_inline]] inline void Rasterizer::emitSolid(int x0, int x1, ExpandedPixel c) {
  // A solid span is a colour change at x0 and one at x1: coverage cells
  // take the difference to the colour before, so abutting spans cost one
  // cell each and nothing is written per pixel in between.
  if (x0 != runEnd_) closeRun();
  if (c != runColor_) addDelta(x0, c, runColor_);
  runColor_ = c;
  runEnd_ = x1;
}

template <bool kRow>
[[gnu::always_inline]] inline void Rasterizer::toggle(FillStyle* f, int x) {
  FillStyle* const t = top_;
  const bool on = f->active;
  if (t == f || (!on && (!t || t->orderKey <= f->orderKey))) {
    // The change is at the top, so it shows. Unlinking and linking there
    // differ only in selected values: no branch on the direction.
    flush<kRow>(x);
    FillStyle* const next = f->nextActive;
    top_ = on ? next : f;
    f->nextActive = on ? nullptr : t;
    f->counter = on ? 0 : f->counter;
    f->active = !on;
    return;
  }
  FillStyle** link = &top_;
  bool covered = false;
  if (f->active) {
    while (*link && *link != f) {
      covered = covered || occludes(*link);
      link = &(*link)->nextActive;
    }
    if (!covered || f->kind == FillKind::Mask) flush<kRow>(x);
    if (*link) *link = f->nextActive;
    f->nextActive = nullptr;
    f->active = false;
    f->counter = 0;
  } else {
    while (*link && (*link)->orderKey > f->orderKey) {
      covered = covered || occludes(*link);
      link = &(*link)->nextActive;
    }
    if (!covered || f->kind == FillKind::Mask) flush<kRow>(x);
    f->nextActive = *link;
    *link = f;
    f->active = true;
  }
}

template <bool kRow>
[[gnu::always_inline]] inline void Rasterizer::windingAdd(FillStyle* f, int direction, int x) {
  if (!f->active) {
    toggle<kRow>(f, x);
    f->counter = direction;
    return;
  }
  if (f->counter == -direction) {
    toggle<kRow>(f, x);
    return;
  }
  f->counter += direction;
}

template <bool kRow>
[[gnu::always_inline]] inline void Rasterizer::flush(int x) {
  if constexpr (kRow) {
    rowFlush();
  } else if (x > lastX_) {
    const FillStyle* t = top_;
    if (t && t->plainOpaque && factor_ > 1) emitSolid(lastX_, x, t->color);  // the usual case
    else emitSpan(lastX_, x);
    lastX_ = x;
  }
}

// The whole-row form of a span's end: the colour up to here is known now,
// so the change into it is recorded where the span began on each sub-row.
// Spans of zero width on some sub-rows are recorded too; their changes
// cancel in the cells.
[[gnu::always_inline]] inline void Rasterizer::rowFlush() {
  const FillStyle* t = top_;
  ExpandedPixel c = 0;
  if (t && t->plainOpaque) {
    c = t->color;
  } else if (t) {
    ++rowStacks_;
    if (!solidColor(c)) {
      // Per-pixel colours: painted after the row when they cover whole
      // pixels, else the row is swept by sub-rows.
      if (!wholePixelSpan()) {
        rowFailed_ = true;
        return;
      }
      c = 0;
    }
  }
  if (c != rowColor_) {
    RowChange& r = changes_.emplace_back();
    r.to = c;
    r.from = rowColor_;
    std::memcpy(r.x, changeX_, sizeof r.x);
    rowColor_ = c;
  }
  std::memcpy(changeX_, crossX_, sizeof changeX_);
}

// The span from changeX_ to crossX_ as a PixelSpan: false unless it starts
// and ends on the same pixel boundaries on every sub-row.
bool Rasterizer::wholePixelSpan() {
  const int x0 = changeX_[0], x1 = crossX_[0];
  if ((x0 | x1) & (factor_ - 1)) return false;
  for (int k = 1; k < factor_; ++k)
    if (changeX_[k] != x0 || crossX_[k] != x1) return false;
  if (x1 <= x0) return true;
  PixelSpan& s = pixelSpans_.emplace_back();
  s.px0 = x0 >> shift_;
  s.px1 = x1 >> shift_;
  s.count = 0;
  for (FillStyle* f = top_; f; f = f->nextActive) {
    if (f->kind == FillKind::Mask || (f->maskLink && !maskVisible(f))) continue;
    if (s.count < kMaxStack) s.stack[s.count++] = f;
    else s.stack[kMaxStack - 1] = f;
    if (!f->transparent) break;
  }
  if (s.count == 0) pixelSpans_.pop_back();
  return true;
}

// The colours of a stack for `len` pixels from x of pixel row y: the bottom
// fill's, with each fill above composited over them.
void Rasterizer::stackChunk(FillStyle* const* stack, int n, int x, int y, int len, ExpandedPixel* out) {
  ExpandedPixel tmp[kMaxChunk];
  fetchSpan(*stack[n - 1], x, y, len, out);
  for (int i = n - 2; i >= 0; --i) {
    if (stack[i]->span == SpanKind::Solid) {
      kernels_->overSolid(out, stack[i]->color, len);
    } else {
      fetchSpan(*stack[i], x, y, len, tmp);
      kernels_->over(out, tmp, len);
    }
  }
}

void Rasterizer::paintPixelSpans(int py) {
  const bool wide = target_->format() == PixelFormat::Bgra32 || target_->format() == PixelFormat::Bgra32Alt;
  ExpandedPixel buf[kMaxChunk], tmp[kMaxChunk];
  for (const PixelSpan& s : pixelSpans_) {
    FillStyle* const* stack = s.stack;
    const int n = s.count;
    if (wide && n == 2 && stack[0]->span == SpanKind::Coverage && stack[1]->span == SpanKind::Solid &&
        !stack[1]->transparent) {
      // The usual text: one table lookup per pixel.
      if (!lutValid_ || lutFg_ != stack[0]->color || lutBg_ != stack[1]->color) {
        lutFg_ = stack[0]->color;
        lutBg_ = stack[1]->color;
        for (uint32_t v = 0; v < 256; ++v) lut_[v] = packArgb(compositeOver(scaleCoverage(lutFg_, v), lutBg_));
        lutValid_ = true;
      }
      const CoverageImage& c = *stack[0]->coveragePtr;
      uint32_t* row = target_->row(py);
      const int iy = py - c.top;
      int x = s.px0;
      if (iy >= 0 && iy < c.height) {
        // Indexed by pixel: the row's first byte is pixel c.left.
        const uint8_t* const rowStart = c.coverage.data() + static_cast<size_t>(iy) * static_cast<size_t>(c.width);
        const int from = std::clamp(c.left, s.px0, s.px1), to = std::clamp(c.left + c.width, s.px0, s.px1);
        const int count = to - from;
        const uint8_t* cov = count > 0 ? rowStart + (from - c.left) : rowStart;
        uint32_t* out = row + from;
        const uint32_t none = lut_[0];
        for (; x < from; ++x) row[x] = none;
        // Text rows are mostly gaps: eight pixels without ink at a time.
        int k = 0;
        for (; k + 8 <= count; k += 8) {
          uint64_t eight;
          std::memcpy(&eight, cov + k, 8);
          if (!eight) {
            for (int i = 0; i < 8; ++i) out[k + i] = none;
            continue;
          }
          for (int i = 0; i < 8; ++i) out[k + i] = lut_[cov[k + i]];
        }
        for (; k < count; ++k) out[k] = lut_[cov[k]];
        x = to;
      }
      for (; x < s.px1; ++x) row[x] = lut_[0];
      continue;
    }
    for (int x = s.px0; x < s.px1; x += kMaxChunk) {
      const int len = std::min(kMaxChunk, s.px1 - x);
      stackChunk(stack, n, x, py, len, buf);
      if (wide) {
        // The stack's colour over what the target holds (all of it when the
        // bottom fill is opaque).
        kernels_->resolve32(buf, target_->row(py) + x, len, 0);
      } else {
        target_->readChunk(x, py, len, tmp);
        for (int i = 0; i < len; ++i) tmp[i] = compositeOver(buf[i], tmp[i]);
        target_->writeChunk(x, py, len, tmp);
      }
    }
  }
  pixelSpans_.clear();
}

// The colour of the current stack when it is solid; false when some fill
// in it paints per pixel.
bool Rasterizer::solidColor(ExpandedPixel& c) const {
  const FillStyle* stack[kMaxStack];
  int n = 0;
  for (const FillStyle* f = top_; f; f = f->nextActive) {
    if (f->kind == FillKind::Mask || (f->maskLink && !maskVisible(f))) continue;
    if (f->span != SpanKind::Solid) return false;
    if (n < kMaxStack) stack[n++] = f;
    else stack[kMaxStack - 1] = f;
    if (!f->transparent) break;
  }
  c = 0;
  if (n == 0) return true;
  c = stack[n - 1]->color;
  for (int i = n - 2; i >= 0; --i) c = compositeOver(stack[i]->color, c);
  return true;
}

void Rasterizer::emitSpan(int x0, int x1) {
  FillStyle* stack[kMaxStack];
  int n = 0;
  bool perPixel = false;
  for (FillStyle* f = top_; f; f = f->nextActive) {
    if (f->kind == FillKind::Mask || (f->maskLink && !maskVisible(f))) continue;
    if (n < kMaxStack) stack[n++] = f;
    else stack[kMaxStack - 1] = f;
    perPixel = perPixel || f->span != SpanKind::Solid;
    if (!f->transparent) break;
  }
  if (n == 0) return;
  if (factor_ == 1) {
    paintDirect(x0, x1, stack, n);
  } else if (perPixel) {
    accumulate(x0, x1, stack, n);
  } else {
    ExpandedPixel c = stack[n - 1]->color;
    for (int i = n - 2; i >= 0; --i) c = compositeOver(stack[i]->color, c);
    emitSolid(x0, x1, c);
  }
}

void Rasterizer::paintDirect(int x0, int x1, FillStyle* const* stack, int n) {
  const int y = row_;
  const bool wide = target_->format() == PixelFormat::Bgra32 || target_->format() == PixelFormat::Bgra32Alt;
  if (wide && !stack[0]->transparent && stack[0]->span == SpanKind::Solid) {
    kernels_->fill32(target_->row(y) + x0, x1 - x0, packArgb(stack[0]->color));
    return;
  }
  if (wide && n == 1 && stack[0]->directCopy) {
    copyBitmapSpan(*stack[0], x0, y, x1 - x0, target_->row(y) + x0);
    return;
  }
  ExpandedPixel buf[kMaxChunk], tmp[kMaxChunk];
  for (int x = x0; x < x1; x += kMaxChunk) {
    const int len = std::min(kMaxChunk, x1 - x);
    const FillStyle* bottom = stack[n - 1];
    if (!bottom->transparent) {
      fetchSpan(*bottom, x, y, len, buf);
    } else {
      target_->readChunk(x, y, len, buf);
      if (bottom->span == SpanKind::Solid) {
        kernels_->overSolid(buf, bottom->color, len);
      } else {
        fetchSpan(*bottom, x, y, len, tmp);
        kernels_->over(buf, tmp, len);
      }
    }
    for (int i = n - 2; i >= 0; --i) {
      if (stack[i]->span == SpanKind::Solid) {
        kernels_->overSolid(buf, stack[i]->color, len);
      } else {
        fetchSpan(*stack[i], x, y, len, tmp);
        kernels_->over(buf, tmp, len);
      }
    }
    target_->writeChunk(x, y, len, buf);
  }
}

void Rasterizer::markTouched(int p0, int p1) {
  for (int p = p0; p <= p1;) {
    const int bit = p & 63;
    const int n = std::min(64 - bit, p1 - p + 1);
    touched_[static_cast<size_t>(p) >> 6] |= (n == 64 ? ~uint64_t{0} : ((uint64_t{1} << n) - 1)) << bit;
    p += n;
  }
}

// The colours of a per-pixel stack for pixels [px0, last] of pixel row py.
// Sub-rows of a pixel row that start such a span at the same pixel with the
// same stack get the same colours (a fill's colour depends on the pixel and
// on where its chunk of at most 256 pixels starts), so they are computed
// once per pixel row and kept; a longer span later computes on from the
// start of the last chunk.
const ExpandedPixel* Rasterizer::stackColors(FillStyle* const* stack, int n, int px0, int last, int py) {
  StackColors* hit = nullptr;
  for (StackColors& c : stackColors_) {
    if (c.row != py || c.px0 != px0 || c.count != n) continue;
    if (std::equal(stack, stack + n, c.stack)) {
      hit = &c;
      break;
    }
  }
  if (!hit) {
    hit = &stackColors_[nextStackColors_];
    nextStackColors_ = (nextStackColors_ + 1) % stackColors_.size();
    hit->row = py;
    hit->px0 = px0;
    hit->count = n;
    std::copy(stack, stack + n, hit->stack);
    hit->length = 0;
  }
  const int needed = last - px0 + 1;
  if (hit->length < needed) {
    // A few pixels more, within the last chunk and the clip, for the next
    // sub-rows' slightly longer spans.
    const int chunkEnd = px0 + ((needed - 1) / kMaxChunk + 1) * kMaxChunk - 1;
    const int end = std::min({last + 4, chunkEnd, clip_.right - 1});
    const int length = end - px0 + 1;
    if (hit->colors.size() < static_cast<size_t>(length)) hit->colors.resize(static_cast<size_t>(length));
    for (int x = px0 + hit->length / kMaxChunk * kMaxChunk; x <= end; x += kMaxChunk) {
      const int len = std::min(kMaxChunk, end - x + 1);
      stackChunk(stack, n, x, py, len, hit->colors.data() + (x - px0));
    }
    hit->length = length;
  }
  return hit->colors.data();
}

// A span with gradient or bitmap fills: colours for every pixel it touches.
void Rasterizer::accumulate(int x0, int x1, FillStyle* const* stack, int n) {
  const int a = factor_, s = shift_;
  const int left = clip_.left;
  const int px0 = x0 >> s;
  const int o0 = x0 & (a - 1);
  const int px1 = x1 >> s, o1 = x1 & (a - 1);
  ExpandedPixel* acc = acc_.data() - left;
  const int last = o1 ? px1 : px1 - 1;
  markTouched(px0 - left, last - left);
  accUsed_ = true;
  const ExpandedPixel* buf = stackColors(stack, n, px0, last, row_ >> s);
  int p0 = px0, p1 = last + 1;  // the full pixels
  if (o0 || px0 == px1) {
    acc[px0] += buf[0] * static_cast<uint32_t>(px0 == px1 ? o1 - o0 : a - o0);
    p0 = px0 + 1;
  }
  if (o1 && px1 != px0) {
    acc[px1] += buf[px1 - px0] * static_cast<uint32_t>(o1);
    p1 = px1;
  }
  for (int x = p0; x < p1; x += kMaxChunk)
    kernels_->addColors(acc + x, buf + (x - px0), std::min(kMaxChunk, p1 - x), static_cast<uint32_t>(a));
}

void Rasterizer::resolveRow(int py) {
  const int left = clip_.left;
  const int width = clip_.right - left;
  const int shift = 2 * shift_;
  const bool wide = target_->format() == PixelFormat::Bgra32 || target_->format() == PixelFormat::Bgra32Alt;
  uint32_t* row = wide ? target_->row(py) + left : nullptr;
  ExpandedPixel* acc = acc_.data();
  // A run of pixels without cells all have the running cover as their sum.
  auto run = [&](int p0, int p1, ExpandedPixel sum) {
    if (!sum || p1 <= p0) return;
    if (!wide) {
      std::fill(acc + p0, acc + p1, sum);
      return;
    }
    const ExpandedPixel v = (sum >> shift) & kLaneMask;
    if (expandedAlpha(v) != 255) {
      for (int p = p0; p < p1; ++p) row[p] = pack(compositeOver(v, unpackArgb(row[p])));
    } else if (p1 - p0 >= 16) {
      kernels_->fill32(row + p0, p1 - p0, pack(v));
    } else {
      const uint32_t packed = pack(v);
      for (int p = p0; p < p1; ++p) row[p] = packed;
    }
  };
  const bool withAcc = accUsed_;
  accUsed_ = false;
  // Word by word of the touched bits: a word without cells is one run of
  // the running cover; a word with some is summed cell by cell (untouched
  // cells are zero) from its first touched cell to its last, resolved
  // without a branch per pixel.
  Lanes8 cover = Lanes8{};
  ExpandedPixel sums[64];
  const int words = static_cast<int>(touched_.size());
  for (int wi = 0; wi < words; ++wi) {
    const int p0 = wi * 64;
    const int n = std::min(64, width - p0);  // pixels of this word
    if (!touched_[static_cast<size_t>(wi)]) {
      run(p0, p0 + n, lowHalf(cover));
      continue;
    }
    // Only the cells from the first touched one to the last are summed;
    // the pixels before and after them are runs of the running cover.
    const uint64_t bits = touched_[static_cast<size_t>(wi)];
    touched_[static_cast<size_t>(wi)] = 0;
    const int lo = __builtin_ctzll(bits);
    const int hi = 63 - __builtin_clzll(bits);  // below the word's cell count
    run(p0, p0 + std::min(lo, n), lowHalf(cover));
    CoverCell* cells = cells_.data() + p0;
    for (int i = lo; i <= hi; ++i) {
      const Lanes8 c = loadCell(cells[i]);
      sums[i] = lowHalf(cover + c);
      cover += __builtin_shufflevector(c, c, 4, 5, 6, 7, 4, 5, 6, 7);
      cells[i] = CoverCell{};
    }
    if (withAcc) {
      for (int i = lo; i <= hi; ++i) {
        sums[i] += acc[p0 + i];
        acc[p0 + i] = 0;
      }
    }
    const int last = std::min(hi + 1, n);  // end of the summed pixels
    if (last > lo) {
      if (wide) kernels_->resolve32(sums + lo, row + p0 + lo, last - lo, shift);
      else std::copy(sums + lo, sums + last, acc + p0 + lo);
    }
    run(p0 + hi + 1, p0 + n, lowHalf(cover));
  }
  std::fill(touched_.begin(), touched_.end(), 0);
  if (wide) return;
  // Other formats: read back, composite and write in chunks.
  ExpandedPixel buf[kMaxChunk];
  int x = 0;
  while (x < width) {
    if (!acc[x]) {
      ++x;
      continue;
    }
    int end = x;
    while (end < width && acc[end] && end - x < kMaxChunk) ++end;
    const int len = end - x;
    target_->readChunk(left + x, py, len, buf);
    for (int i = 0; i < len; ++i) {
      const ExpandedPixel v = (acc[x + i] >> shift) & kLaneMask;
      buf[i] = compositeOver(v, buf[i]);
      acc[x + i] = 0;
    }
    target_->writeChunk(left + x, py, len, buf);
    x = end;
  }
}

// Re-sorts the active edges for sub-row y and merges in the edges that
// start on it.
[[gnu::always_inline]] inline void Rasterizer::orderRow(int y) {
  // The edges already active keep their order from the last row up to a
  // few swaps: insertion sort.
  for (size_t i = 1; i < order_.size(); ++i) {
    const Ordered v = order_[i];
    if (order_[i - 1].x <= v.x) continue;
    size_t j = i;
    while (j > 0 && order_[j - 1].x > v.x) {
      order_[j] = order_[j - 1];
      --j;
    }
    order_[j] = v;
  }
  // The row's new edges, sorted among themselves, are merged in after the
  // active ones at equal x.
  incoming_.clear();
  {
    const size_t b0 = static_cast<size_t>(buckets_[static_cast<size_t>(y - sy0_)]);
    const size_t b1 = static_cast<size_t>(buckets_[static_cast<size_t>(y - sy0_) + 1]);
    for (size_t b = b0; b < b1; ++b) insertEdge(sorted_[b], y);
  }
  if (incoming_.size() > 32) {
    std::stable_sort(incoming_.begin(), incoming_.end(), [](const Ordered& p, const Ordered& q) { return p.x < q.x; });
  } else {
    for (size_t i = 1; i < incoming_.size(); ++i) {
      const Ordered v = incoming_[i];
      size_t j = i;
      for (; j > 0 && incoming_[j - 1].x > v.x; --j) incoming_[j] = incoming_[j - 1];
      incoming_[j] = v;
    }
  }
  if (!incoming_.empty()) {
    // Merged in place from the back: the active edges left of the first
    // new one stay where they are.
    size_t i = order_.size(), j = incoming_.size();
    order_.resize(i + j);
    Ordered* const out = order_.data();
    const Ordered* const in = incoming_.data();
    size_t k = i + j;
    while (j > 0) {
      if (i > 0 && out[i - 1].x > in[j - 1].x) out[--k] = out[--i];
      else out[--k] = in[--j];
    }
  }
}

// Steps an edge that goes on below sub-row y to the next sub-row.
[[gnu::always_inline]] inline void Rasterizer::advanceEdge(ActiveEdge& a, int y) {
  if (!a.curve) {
    a.x += a.dx;
    a.xi = static_cast<int32_t>((a.x + (int64_t{1} << 31)) >> 32);
  } else if (factor_ > 1) {
    if (a.shortCurve) stepCurve<false>(a, y + 1);
    else stepCurve<true>(a, y + 1);
    a.xi = static_cast<int32_t>((a.x + (int64_t{1} << 31)) >> 32);
  } else {
    stepTo(a, y + 1);
    int64_t xv = a.x;
    if (a.y != a.py && a.y > (static_cast<int64_t>(y + 1) << 32)) {
      const __int128 t = (static_cast<__int128>(y + 1) << 32) - a.py;
      xv = a.px + static_cast<int64_t>(((a.x - a.px) * t) / (a.y - a.py));
    }
    a.xi = static_cast<int32_t>((xv + (int64_t{1} << 31)) >> 32);
  }
}

// One edge crossing at x: the edge's rule routine.
// In the whole-row sweep a fill that is both toggled and wound (never made
// by the shape parser) stops the row, so that every crossing there has an
// exact inverse.
template <bool kRow>
[[gnu::always_inline]] inline void Rasterizer::cross(const ActiveEdge& a, int x) {
  switch (a.rule) {
    case FillRule::TwoFills:
      if (kRow && ((a.fill0 && a.fill0->counter) || (a.fill1 && a.fill1->counter))) rowFailed_ = true;
      if (a.fill0) toggle<kRow>(a.fill0, x);
      if (a.fill1) toggle<kRow>(a.fill1, x);
      break;
    case FillRule::EvenOdd:
      if (kRow && a.fill0 && a.fill0->counter) rowFailed_ = true;
      if (a.fill0) toggle<kRow>(a.fill0, x);
      break;
    case FillRule::NonZero:
      if (kRow && a.fill0 && a.fill0->active && !a.fill0->counter) rowFailed_ = true;
      if (a.fill0) windingAdd<kRow>(a.fill0, a.direction, x);
      break;
  }
}

// Fills left open by malformed edges do not leak into the next row.
void Rasterizer::clearFills() {
  while (top_) {
    FillStyle* f = top_;
    top_ = f->nextActive;
    f->nextActive = nullptr;
    f->active = false;
    f->counter = 0;
  }
}

// The recorded crossings of pixel row py, one sub-row after the other.
void Rasterizer::sweepSubRows(int py) {
  const ActiveEdge* const active = active_.data();
  for (int k = 0; k < factor_; ++k) {
    row_ = (py << shift_) + k;
    lastX_ = sx0_;
    const Ordered* const c = crossings_[k].data();
    const size_t count = crossings_[k].size();
    if (openRow_[k]) [[unlikely]] {
      findOpenFills(c, count);
      for (size_t i = 0; i < count; ++i) crossOpen(active[c[i].index], c[i].x, static_cast<int32_t>(i));
    } else {
      for (size_t i = 0; i < count; ++i) {
        // Active edges and their fills lie scattered in memory: fetch ahead.
        if (i + 4 < count) __builtin_prefetch(active[c[i + 4].index].fill0);
        cross<false>(active[c[i].index], c[i].x);
      }
    }
    endRow();
    closeRun();
    runEnd_ = INT32_MIN;
  }
}

// Two crossings that do the same to the fills (the direction counts only
// for winding).
inline bool Rasterizer::sameEffect(const ActiveEdge& a, const ActiveEdge& b) {
  return a.fill0 == b.fill0 && a.fill1 == b.fill1 && a.rule == b.rule &&
         (a.rule != FillRule::NonZero || a.direction == b.direction);
}

// Undoes cross<true>: toggles are their own inverse, a winding step is
// undone by the opposite one.
inline void Rasterizer::uncross(const ActiveEdge& a) {
  switch (a.rule) {
    case FillRule::TwoFills:
      if (a.fill1) toggle<true>(a.fill1, 0);
      if (a.fill0) toggle<true>(a.fill0, 0);
      break;
    case FillRule::EvenOdd:
      if (a.fill0) toggle<true>(a.fill0, 0);
      break;
    case FillRule::NonZero:
      if (a.fill0) windingAdd<true>(a.fill0, static_cast<int>(-a.direction), 0);
      break;
  }
}

// The fills on at the moment with their counts, in list order; false when
// there are more than fit.
bool Rasterizer::captureFills(FillState* out, int& count) const {
  count = 0;
  for (const FillStyle* f = top_; f; f = f->nextActive) {
    if (count == kMaxCapture) return false;
    out[count++] = FillState{f, f->counter};
  }
  return true;
}

// Crossings on which the sub-rows differ (edges that swap places, a contour
// that starts or ends on some of them): the crossings up to the first x at
// which all sub-rows have done the same to the fills are applied sub-row
// by sub-row, each from the fills as they were before them, the others'
// positions held, and undone again; the fills after each sub-row's part
// must be the same. Stacking keys are then unique, so the fill list is a
// function of which fills are on and their counts.
bool Rasterizer::sweepWindow(const Ordered* const* seq, const size_t* len, size_t* at, int32_t* last) {
  const int n = factor_;
  const ActiveEdge* const active = active_.data();
  size_t end[4];
  uint64_t toggled[4], wound[4];
  for (int k = 0; k < n; ++k) {
    end[k] = at[k];
    toggled[k] = wound[k] = 0;
  }
  // Grow the windows by whole x positions until the summaries of what each
  // does to the fills agree; the states themselves are compared below.
  for (int grow = 0;; ++grow) {
    int32_t v = INT32_MAX;
    for (int k = 0; k < n; ++k)
      if (end[k] < len[k]) v = std::min(v, seq[k][end[k]].x);
    if (v == INT32_MAX || grow == 16) return false;
    for (int k = 0; k < n; ++k) {
      for (; end[k] < len[k] && seq[k][end[k]].x <= v; ++end[k]) {
        const ActiveEdge& a = active[seq[k][end[k]].index];
        const uint64_t h0 = reinterpret_cast<uintptr_t>(a.fill0) * 0x9E3779B97F4A7C15ull;
        const uint64_t h1 = reinterpret_cast<uintptr_t>(a.fill1) * 0xC2B2AE3D27D4EB4Full;
        if (a.rule == FillRule::NonZero) wound[k] += static_cast<uint64_t>(static_cast<int64_t>(a.direction)) * h0;
        else toggled[k] ^= (a.rule == FillRule::TwoFills ? h0 ^ h1 : h0);
      }
    }
    bool agree = true;
    for (int k = 1; k < n; ++k) agree = agree && toggled[k] == toggled[0] && wound[k] == wound[0];
    if (agree) break;
  }
  // The colour so far is closed on every sub-row.
  std::memcpy(crossX_, last, sizeof crossX_);
  rowFlush();
  FillState first[kMaxCapture], now[kMaxCapture];
  int firstCount = 0, nowCount = 0;
  for (int k = 0; k < n; ++k) {
    for (size_t i = at[k]; i < end[k]; ++i) {
      crossX_[k] = seq[k][i].x;
      cross<true>(active[seq[k][i].index], 0);
    }
    if (end[k] > at[k]) last[k] = seq[k][end[k] - 1].x;
    crossX_[k] = last[k];
    rowFlush();
    if (rowFailed_) return false;
    if (!captureFills(k == 0 ? first : now, k == 0 ? firstCount : nowCount)) return false;
    if (k > 0 && (nowCount != firstCount || !std::equal(now, now + nowCount, first))) return false;
    if (k + 1 < n) {
      for (size_t i = end[k]; i-- > at[k];) uncross(active[seq[k][i].index]);
      if (rowFailed_) return false;
    }
  }
  for (int k = 0; k < n; ++k) at[k] = end[k];
  ++rowWindows_;
  return true;
}

// The crossings of all sub-rows of a pixel row in one pass over the fills.
// The sub-rows' crossing lists are walked side by side: where every
// sub-row's next crossing does the same to the fills (the same edge, or
// edges with the same fills, rule and direction), the fill list changes
// once and each colour change is recorded at every sub-row's x. Where some
// sub-rows have two crossings that the others do not (the top or bottom of
// a contour inside the row), they are applied once and must leave the fills
// as they were; on the other sub-rows they sit at one x, so the colours
// between them cover nothing there. Anything else (edges swapping order,
// per-pixel colours) returns false with nothing written, and the row is
// swept sub-row by sub-row.
bool Rasterizer::sweepPixelRow() {
  const int n = factor_;
  const ActiveEdge* const active = active_.data();
  const Ordered* seq[4];
  size_t len[4], at[4];
  int32_t last[4];
  for (int k = 0; k < n; ++k) {
    seq[k] = crossings_[k].data();
    len[k] = crossings_[k].size();
    at[k] = 0;
    last[k] = sx0_;
    changeX_[k] = sx0_;
  }
  changes_.clear();
  pixelSpans_.clear();
  rowColor_ = 0;
  rowFailed_ = false;
  for (;;) {
    bool done = true, same = true;
    const int32_t h0 = at[0] < len[0] ? seq[0][at[0]].index : -1;
    for (int k = 0; k < n; ++k) {
      if (at[k] < len[k]) {
        done = false;
        const int32_t h = seq[k][at[k]].index;
        if (h != h0) {
          const ActiveEdge& a = active[h];
          same = same && h0 >= 0 && sameEffect(a, active[h0]);
        }
      } else {
        same = false;
      }
    }
    if (done) break;
    if (same) {
      for (int k = 0; k < n; ++k) {
        crossX_[k] = last[k] = seq[k][at[k]].x;
        ++at[k];
      }
      cross<true>(active[h0], 0);
      if (rowFailed_) break;
      continue;
    }
    // A pair of crossings on some sub-rows only (a contour's top or bottom):
    // both on the same fills, which must be off before the first.
    int first = -1;
    for (int k = 0; k < n && first < 0; ++k) {
      if (at[k] + 1 >= len[k]) continue;
      const ActiveEdge& a = active[seq[k][at[k]].index];
      const ActiveEdge& b = active[seq[k][at[k] + 1].index];
      if (a.fill0 == b.fill0 && a.fill1 == b.fill1 && a.rule == b.rule && !(a.fill0 && a.fill0->active) &&
          !(a.fill1 && a.fill1->active))
        first = k;
    }
    if (first < 0) {
      if (rowSafe_ && sweepWindow(seq, len, at, last)) continue;
      rowFailed_ = true;
      break;
    }
    const ActiveEdge& p = active[seq[first][at[first]].index];
    const ActiveEdge& q = active[seq[first][at[first] + 1].index];
    bool with[4];
    for (int k = 0; k < n; ++k) {
      with[k] = false;
      if (at[k] + 1 >= len[k]) continue;
      const ActiveEdge& a = active[seq[k][at[k]].index];
      const ActiveEdge& b = active[seq[k][at[k] + 1].index];
      with[k] = sameEffect(a, p) && sameEffect(b, q);
    }
    for (int k = 0; k < n; ++k) crossX_[k] = with[k] ? seq[k][at[k]].x : last[k];
    cross<true>(p, 0);
    for (int k = 0; k < n; ++k) crossX_[k] = with[k] ? seq[k][at[k] + 1].x : last[k];
    cross<true>(q, 0);
    if (rowFailed_ || (p.fill0 && p.fill0->active) || (p.fill1 && p.fill1->active)) {
      rowFailed_ = true;
      break;
    }
    for (int k = 0; k < n; ++k) {
      if (!with[k]) continue;
      last[k] = crossX_[k];
      at[k] += 2;
    }
  }
  // Fills still on after the last crossing (open contours; rows with them
  // are not normally tried): the sub-row sweep leaves them off from where
  // they stay open, which this pass does not track.
  if (top_) rowFailed_ = true;
  clearFills();
  if (rowFailed_) return false;
  if (rowColor_) {
    RowChange& r = changes_.emplace_back();
    r.to = 0;
    r.from = rowColor_;
    std::memcpy(r.x, changeX_, sizeof r.x);
  }
  writeRowChanges();
  return true;
}

void Rasterizer::writeRowChanges() {
  const int n = factor_;
  const int left = clip_.left;
  for (const RowChange& r : changes_) {
    const Lanes8 d = twice(r.to) - twice(r.from);
    for (int k = 0; k < n; ++k) {
      const int x = r.x[k];
      const int px = (x >> shift_) - left;
      Lanes8 w;
      std::memcpy(&w, weights_[x & (n - 1)], sizeof w);
      CoverCell& cell = cells_[static_cast<size_t>(px)];
      storeCell(cell, loadCell(cell) + d * w);
      touched_[static_cast<size_t>(px) >> 6] |= uint64_t{1} << (px & 63);
    }
  }
}

// Crosses every active edge on row y (a pixel row or a sub-row) and steps
// the ones that go on to the next row; survivors are compacted in place.
// kOpen: some fill does not close on the row (see findOpenFills).
template <bool kOpen>
[[gnu::always_inline]] inline void Rasterizer::sweepActiveRow(int y) {
  // Raw pointers: the rule routines write through fill pointers, which the
  // compiler cannot tell apart from the vectors' own storage.
  ActiveEdge* const active = active_.data();
  Ordered* const order = order_.data();
  const int left = sx0_, right = sx1_;
  size_t kept = 0;
  const size_t count = order_.size();
  for (size_t i = 0; i < count; ++i) {
    const int32_t idx = order[i].index;
    ActiveEdge& a = active[idx];
    // Active edges and their fills lie scattered in memory: an edge is
    // fetched eight crossings ahead and its fill four ahead, once the
    // edge's line has arrived to say which fill that is.
    if (i + 8 < count) __builtin_prefetch(&active[order[i + 8].index]);
    if (i + 4 < count) __builtin_prefetch(active[order[i + 4].index].fill0);
    if constexpr (kOpen) crossOpen(a, std::clamp(a.xi, left, right), static_cast<int32_t>(i));
    else cross<false>(a, std::clamp(a.xi, left, right));
    if (y + 1 < a.yEnd) {
      advanceEdge(a, y);
      order[kept++] = Ordered{a.xi, idx};
    } else {
      countEdge(a, -1);
      free_.push_back(idx);
    }
  }
  order_.resize(kept);
  endRow();
}

[[gnu::noinline]] void Rasterizer::sweepOpenRow(int y) {
  findOpenFills(order_.data(), order_.size());
  sweepActiveRow<true>(y);
}

// A fill whose crossings on a row do not close (an open contour, or a fill
// style carried on to a stroke's path) would stay on to the row's end and
// hide everything below it there, down to the background, so that those
// samples would keep the target's old pixels. It is left off from the
// crossing that last turned it on: each fill's counter is run over the
// row's crossings beforehand, the way cross() runs it.
void Rasterizer::findOpenFills(const Ordered* seq, size_t count) {
  if (++probeStamp_ == 0) ++probeStamp_;  // 0 marks fills never looked at
  const uint32_t stamp = probeStamp_;
  const ActiveEdge* const active = active_.data();
  // delta 0 toggles.
  auto step = [stamp](FillStyle* f, int delta, int32_t i) {
    if (f->probeStamp != stamp) {
      f->probeStamp = stamp;
      f->probeCounter = 0;
    }
    const int32_t before = f->probeCounter;
    f->probeCounter = delta ? before + delta : before ^ 1;
    if (before == 0) f->openFrom = i;
  };
  for (size_t i = 0; i < count; ++i) {
    const ActiveEdge& a = active[seq[i].index];
    const auto at = static_cast<int32_t>(i);
    switch (a.rule) {
      case FillRule::TwoFills:
        if (a.fill0) step(a.fill0, 0, at);
        if (a.fill1) step(a.fill1, 0, at);
        break;
      case FillRule::EvenOdd:
        if (a.fill0) step(a.fill0, 0, at);
        break;
      case FillRule::NonZero:
        if (a.fill0) step(a.fill0, a.direction, at);
        break;
    }
  }
}

// cross() for crossing i of a row after findOpenFills: without the fills
// that stay open from there on.
void Rasterizer::crossOpen(const ActiveEdge& a, int x, int32_t i) {
  const uint32_t stamp = probeStamp_;
  auto open = [stamp, i](const FillStyle* f) {
    return f && f->probeStamp == stamp && f->probeCounter != 0 && i >= f->openFrom;
  };
  const bool open0 = open(a.fill0), open1 = open(a.fill1);
  if (!open0 && !open1) {
    cross<false>(a, x);
    return;
  }
  ActiveEdge rest;
  rest.rule = a.rule;
  rest.direction = a.direction;
  rest.fill0 = open0 ? nullptr : a.fill0;
  rest.fill1 = open1 ? nullptr : a.fill1;
  cross<false>(rest, x);
}

// The end of a sub-row. Fills still on here toggle and wind at once (which
// the shape parser never makes and findOpenFills does not follow): their
// colour runs to the clip's edge, so that no sample keeps an old pixel.
inline void Rasterizer::endRow() {
  if (top_) [[unlikely]] flush<false>(sx1_);
  clearFills();
}

void Rasterizer::paint() {
  if (!target_ || buckets_.empty()) return;
  runColor_ = 0;
  runEnd_ = INT32_MIN;
  accUsed_ = false;
  stackColors_.resize(64);
  for (StackColors& c : stackColors_) c.row = INT32_MIN;
  order_.clear();
  free_.clear();
  active_.clear();
  ended_.clear();
  rowBackoff_ = 0;
  rowMisses_ = 0;
  recording_ = false;
  openFills_ = 0;
  // The row buckets' counts become the start of each row's run of entries,
  // and the entries are laid out row by row (last added first within a
  // row), so that a row reads its new edges from contiguous memory.
  if (!laidOut_) {
    laidOut_ = true;
    int32_t start = 0;
    for (int32_t& b : buckets_) {
      const int32_t n = b;
      b = start;
      start += n;
    }
    sorted_.resize(entries_.size());
    cursor_.assign(buckets_.begin(), buckets_.end());
    for (size_t i = entries_.size(); i-- > 0;) {
      const BucketEntry& e = entries_[i];
      const size_t row = static_cast<size_t>(std::max<int>(e.y0, sy0_) - sy0_);
      sorted_[static_cast<size_t>(cursor_[row]++)] = e;
    }
  }
  for (int y = sy0_; y < sy1_; ++y) {
    row_ = y;
    orderRow(y);
    lastX_ = sx0_;
    if (factor_ == 1) {
      if (openFills_ != 0) [[unlikely]] sweepOpenRow(y);
      else sweepActiveRow<false>(y);
    } else {
      const int k = y & (factor_ - 1);
      if (k == 0) {
        // Whole-row sweeps cost more than they save where contours start,
        // end or swap places in every few crossings (many small shapes):
        // after such a row the next ones are swept by sub-rows for a while.
        recording_ = rowSweep_ == RowSweep::Always ||
                     (rowSweep_ == RowSweep::WhereItPays && stackFills_ && rowBackoff_ == 0);
        if (rowBackoff_ > 0) --rowBackoff_;
      }
      if (!recording_) {
        if (openFills_ != 0) [[unlikely]] sweepOpenRow(y);
        else sweepActiveRow<false>(y);
        closeRun();
        runEnd_ = INT32_MIN;
        if (k == factor_ - 1) resolveRow(y >> shift_);
      } else {
        // Each sub-row's crossings are recorded; the pixel row's last
        // sub-row sweeps them all. Survivors are compacted in place.
        ActiveEdge* const active = active_.data();
        Ordered* const order = order_.data();
        const int left = sx0_, right = sx1_;
        size_t kept = 0;
        const size_t count = order_.size();
        std::vector<Ordered>& rec = crossings_[k];
        rec.resize(count);
        openRow_[k] = openFills_ != 0;
        Ordered* const out = rec.data();
        for (size_t i = 0; i < count; ++i) {
          const int32_t idx = order[i].index;
          ActiveEdge& a = active[idx];
          if (i + 4 < count) __builtin_prefetch(&active[order[i + 4].index]);
          out[i] = Ordered{std::clamp(a.xi, left, right), idx};
          if (y + 1 < a.yEnd) {
            advanceEdge(a, y);
            order[kept++] = Ordered{a.xi, idx};
          } else {
            countEdge(a, -1);
            ended_.push_back(idx);
          }
        }
        order_.resize(kept);
        if (k == factor_ - 1) {
          const int py = y >> shift_;
          rowWindows_ = 0;
          rowStacks_ = 0;
          // A fill that does not close on some sub-row fails the whole-row
          // sweep at its end; the sub-rows leave it off where it stays open.
          bool open = false;
          for (int s = 0; s < factor_; ++s) open = open || openRow_[s];
          const bool swept = !open && sweepPixelRow();
          // It pays where spans are stacks of translucent fills, coloured
          // once instead of once per sub-row, and few windows are needed;
          // spans of one opaque fill cost little either way.
          size_t total = 0;
          for (int s = 0; s < factor_; ++s) total += crossings_[s].size();
          if (swept && static_cast<size_t>(rowWindows_) * kWindowWeight <= total &&
              static_cast<size_t>(rowStacks_) * 8 * static_cast<size_t>(factor_) >= total) {
            rowMisses_ = 0;
          } else {
            rowMisses_ = std::min(rowMisses_ + 1, 8);
            rowBackoff_ = 1 << rowMisses_;
          }
          if (!swept) sweepSubRows(py);
          resolveRow(py);
          if (swept && !pixelSpans_.empty()) paintPixelSpans(py);
          free_.insert(free_.end(), ended_.begin(), ended_.end());
          ended_.clear();
        }
      }
    }
    if ((y & 31) == 0 && yieldHook_) yieldHook_(yieldContext_);
  }
  // Edges that go on below the clip give their fills' balance back.
  for (const Ordered& o : order_) countEdge(active_[static_cast<size_t>(o.index)], -1);
}

}  // namespace kivra
