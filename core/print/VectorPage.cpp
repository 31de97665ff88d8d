#include "core/print/VectorPage.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/movie/CharacterKinds.h"
#include "core/movie/EditTextFields.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/TimelinePlayer.h"
#include "core/print/PageLayout.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

namespace {
// Objects wholly outside this device rectangle are not drawn.
constexpr int64_t kDrawLimit = 30000;

int64_t twoThirds(int64_t d) { return std::llround(static_cast<double>(d) * 43690.0 / 65536.0); }

struct Piece {
  int64_t x0, y0, cx, cy, x1, y1;
  bool straight;
};

// Edges of every fill (a mask's outline).
void appendPieces(const ShapeBuild& build, uint32_t index, std::vector<Piece>& out) {
  for (const EdgeRecord& e : build.edges()) {
    const bool in0 = e.fill0 == index, in1 = e.fill1 == index;
    if (in0 == in1) continue;  // both sides: the edge cancels out
    Piece p{e.x0, e.y0, e.cx, e.cy, e.x1, e.y1, e.straight};
    // Back to the direction it was drawn in; a fill on the other side of
    // a two-fill edge runs it the other way, so that contours chain.
    bool reverse = e.direction < 0;
    if (in0 && e.rule == FillRule::TwoFills) reverse = !reverse;
    if (reverse) {
      std::swap(p.x0, p.x1);
      std::swap(p.y0, p.y1);
    }
    out.push_back(p);
  }
}

// Chains pieces into sub-paths. The builder keeps no horizontal edges, so
// a contour continues with the next piece that starts on the same row
// (exactly where it ended, when one does): a horizontal link crosses no
// row and leaves the fill as the sweep sees it. Without the winding rule
// a piece may also be run backwards.
void chainPieces(std::vector<Piece>& pieces, bool winding, int factor, PrintPath& out) {
  std::unordered_map<int64_t, std::vector<size_t>> byStart, byEnd;
  for (size_t i = 0; i < pieces.size(); ++i) {
    byStart[pieces[i].y0].push_back(i);
    if (!winding) byEnd[pieces[i].y1].push_back(i);
  }
  std::vector<bool> used(pieces.size(), false);
  // The unused piece of a row list nearest to x (-1 when none).
  const auto nearest = [&](const std::vector<size_t>* list, int64_t x, bool atStart, int64_t& bestDistance) {
    ptrdiff_t best = -1;
    if (!list) return best;
    for (size_t k : *list) {
      if (used[k]) continue;
      const int64_t d = std::llabs((atStart ? pieces[k].x0 : pieces[k].x1) - x);
      if (best < 0 || d < bestDistance) {
        best = static_cast<ptrdiff_t>(k);
        bestDistance = d;
        if (d == 0) break;
      }
    }
    return best;
  };
  const double f = factor;
  for (size_t first = 0; first < pieces.size(); ++first) {
    if (used[first]) continue;
    out.moveTo(pieces[first].x0 / f, pieces[first].y0 / f);
    size_t k = first;
    for (;;) {
      used[k] = true;
      const Piece& p = pieces[k];
      if (p.straight) {
        out.lineTo(p.x1 / f, p.y1 / f);
      } else {
        const CubicControls c = cubicFromQuadratic(p.x0, p.y0, p.cx, p.cy, p.x1, p.y1);
        out.cubicTo({c.x1 / f, c.y1 / f}, {c.x2 / f, c.y2 / f}, {p.x1 / f, p.y1 / f});
      }
      const auto starts = byStart.find(p.y1);
      int64_t forwardDistance = 0, backwardDistance = 0;
      const ptrdiff_t forward = nearest(starts == byStart.end() ? nullptr : &starts->second, p.x1, true, forwardDistance);
      ptrdiff_t backward = -1;
      if (!winding && forwardDistance != 0) {
        const auto ends = byEnd.find(p.y1);
        backward = nearest(ends == byEnd.end() ? nullptr : &ends->second, p.x1, false, backwardDistance);
      }
      size_t next;
      if (backward >= 0 && (forward < 0 || backwardDistance < forwardDistance)) {
        // Run it backwards from here on.
        Piece& q = pieces[static_cast<size_t>(backward)];
        std::swap(q.x0, q.x1);
        std::swap(q.y0, q.y1);
        next = static_cast<size_t>(backward);
      } else if (forward >= 0) {
        next = static_cast<size_t>(forward);
      } else {
        break;
      }
      const Piece& n = pieces[next];
      if (n.x0 != p.x1) out.lineTo(n.x0 / f, n.y0 / f);
      k = next;
    }
  }
}
}  // namespace

CubicControls cubicFromQuadratic(int64_t x0, int64_t y0, int64_t cx, int64_t cy, int64_t x1, int64_t y1) {
  return CubicControls{x0 + twoThirds(cx - x0), y0 + twoThirds(cy - y0), x1 + twoThirds(cx - x1),
                       y1 + twoThirds(cy - y1)};
}

PrintColor plainColor(ExpandedPixel p) {
  const uint32_t a = expandedAlpha(p);
  uint32_t r = static_cast<uint32_t>(p >> 32) & 0xFFFF;
  uint32_t g = static_cast<uint32_t>(p >> 16) & 0xFFFF;
  uint32_t b = static_cast<uint32_t>(p) & 0xFFFF;
  if (a == 0) return PrintColor{0, 0, 0};
  if (a < 255) {
    r = r * 255 / a;
    g = g * 255 / a;
    b = b * 255 / a;
  }
  return PrintColor{static_cast<uint8_t>(std::min(r, 255u)), static_cast<uint8_t>(std::min(g, 255u)),
                    static_cast<uint8_t>(std::min(b, 255u))};
}

void VectorPage::fillPath(const ShapeBuild& build, uint32_t index, int factor, PrintPath& out) {
  out.clear();
  std::vector<Piece> pieces;
  appendPieces(build, index, pieces);
  out.winding = false;
  for (const EdgeRecord& e : build.edges()) {
    if ((e.fill0 == index) != (e.fill1 == index)) {
      out.winding = e.rule == FillRule::NonZero;
      break;
    }
  }
  chainPieces(pieces, out.winding, factor, out);
}

void VectorPage::strokePath(const ShapeBuild& build, uint32_t index, int factor, PrintPath& out) {
  out.clear();
  out.winding = true;
  if (index >= build.strokes().size()) return;
  const StrokeRun& run = build.strokes()[index];
  const std::vector<CurveEdge>& edges = build.strokeEdges();
  const double f = factor;
  for (uint32_t k = run.first; k < run.first + run.count && k < edges.size(); ++k) {
    const CurveEdge& e = edges[k];
    if (k == run.first || e.x0 != edges[k - 1].x1 || e.y0 != edges[k - 1].y1) out.moveTo(e.x0 / f, e.y0 / f);
    if (e.straight) {
      out.lineTo(e.x1 / f, e.y1 / f);
    } else {
      const CubicControls c = cubicFromQuadratic(e.x0, e.y0, e.cx, e.cy, e.x1, e.y1);
      out.cubicTo({c.x1 / f, c.y1 / f}, {c.x2 / f, c.y2 / f}, {e.x1 / f, e.y1 / f});
    }
  }
}

bool VectorPage::TextCollector::deviceGlyph(DeviceGlyphs& font, uint32_t, uint32_t code, const MATRIX& m,
                                            uint32_t fill) {
  if (font.family().empty() || code == 0) return false;
  glyphs.push_back(Glyph{&font, code, m, fill});
  return true;
}

// Walks the printed subtree in drawing order. Timeline masks clip the
// siblings up to their clip depth, script masks the clip they mask; each
// open mask is one clip on the printer, closed in the order it opened.
class VectorPage::Walker : public DisplayVisitor {
 public:
  explicit Walker(VectorPage& page) : page_(page) {}

  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    closeMasks(item.nesting, o.depth());
    if (!o.visible() || o.maskedClip()) return false;
    if (o.clipDepth() != 0) {
      page_.maskPath(*page_.display_, o, path_);
      page_.printer_->pushClip(path_);
      open_.push_back(Open{item.nesting, o.clipDepth()});
      return false;
    }
    if (const DisplayObject* mask = o.mask()) {
      page_.maskPath(*page_.display_, *mask, path_);
      page_.printer_->pushClip(path_);
      scriptMasked_.push_back(&o);
    }
    page_.drawObject(item, false);
    // The scripted drawing lies beneath the children.
    if (o.drawing() && !o.drawing()->empty()) page_.drawObject(item, true);
    return true;
  }
  void leave(const DisplayWalkItem& item) override {
    closeMasks(item.nesting + 1, INT32_MAX);
    if (!scriptMasked_.empty() && scriptMasked_.back() == &item.object) {
      page_.printer_->popClip();
      scriptMasked_.pop_back();
    }
  }
  void finish() { closeMasks(-1, INT32_MAX); }

 private:
  struct Open {
    int nesting;
    int32_t clipDepth;
  };
  void closeMasks(int nesting, int32_t depth) {
    while (!open_.empty() && maskEnded(open_.back().nesting, open_.back().clipDepth, nesting, depth)) {
      page_.printer_->popClip();
      open_.pop_back();
    }
  }

  VectorPage& page_;
  PrintPath path_;
  std::vector<Open> open_;
  std::vector<const DisplayObject*> scriptMasked_;
};

void VectorPage::draw(const Display& display, const DisplayObject& top, const RECT& area, uint8_t modeAndAlign,
                      Rgba background, int pageWidth, int pageHeight, Printer& printer) {
  printer_ = &printer;
  display_ = &display;
  pageWidth_ = pageWidth;
  pageHeight_ = pageHeight;
  factor_ = pageFactor(pageWidth, pageHeight, 2);
  device_ = pageMatrix(area, pageWidth, pageHeight, modeAndAlign, factor_);
  printer.fillRect(0, 0, pageWidth, pageHeight, plainColor(expand(premultiply(background))));
  Walker walker(*this);
  display.walkSubtree(top, walker);
  walker.finish();
}

bool VectorPage::drawOf(const DisplayObject& o, bool drawing, ShapeDraw& out) {
  out = ShapeDraw{};
  if (drawing) {
    out.drawing = o.drawing();
    return out.drawing != nullptr;
  }
  const Character* c = o.character();
  if (!c) return false;
  const CharacterKindOps& ops = kindOps(c->kind);
  if (ops.buildDraw) {
    ops.buildDraw(*c, out);
    return out.body != nullptr;
  }
  if (EditField* field = o.editField(); field && c->owner) {
    MovieFonts& fonts = c->owner->fonts();
    drawField(*field, *fonts.textFonts(), text_);
    out.text = &text_;
    out.glyphs = &fonts;
    return true;
  }
  return false;
}

bool VectorPage::build(const ShapeDraw& draw, const MATRIX& object, const CXFORM& cxform, bool mask) {
  const MATRIX m = concatMatrix(object, device_);
  if (draw.drawing) {
    DrawingInstance in;
    in.matrix = m;
    in.cxform = ColorTransform(cxform);
    in.factor = factor_;
    in.mask = mask;
    in.keepStrokes = !mask;
    return replay_.build(*draw.drawing, in, build_);
  }
  ShapeInstance in;
  in.tagCode = draw.tagCode;
  in.body = draw.body;
  in.length = draw.length;
  in.matrix = m;
  in.cxform = ColorTransform(cxform);
  in.factor = factor_;
  in.role = mask ? BuildRole::Mask : BuildRole::Normal;
  in.bitmaps = draw.bitmaps;
  in.glyphs = draw.glyphs;
  in.field = draw.text;  // glyphs as outlines: no mask maker
  // A mask needs every outline; a page strokes lines and sets device text.
  in.keepStrokes = !mask;
  in.deviceText = mask ? nullptr : &collector_;
  return parser_.build(in, build_);
}

void VectorPage::drawObject(const DisplayWalkItem& item, bool drawing) {
  ShapeDraw draw;
  if (!drawOf(item.object, drawing, draw)) return;
  collector_.glyphs.clear();
  (void)build(draw, item.matrix, item.cxform, false);  // a damaged body prints what was read
  if (build_.hasBounds()) {
    const int64_t f = factor_;
    if (build_.boundsXMax() / f < 0 || build_.boundsYMax() / f < 0 || build_.boundsXMin() / f > kDrawLimit ||
        build_.boundsYMin() / f > kDrawLimit)
      return;
  }
  const std::vector<FillStyle>& fills = build_.fills();
  const std::vector<StrokeRun>& strokes = build_.strokes();
  firstStroke_.assign(fills.size(), kNoFill);
  nextStroke_.assign(strokes.size(), kNoFill);
  for (uint32_t k = static_cast<uint32_t>(strokes.size()); k-- > 0;) {
    if (strokes[k].fill >= fills.size()) continue;
    nextStroke_[k] = firstStroke_[strokes[k].fill];
    firstStroke_[strokes[k].fill] = k;
  }
  // A text field shows only what lies inside its rectangle.
  const bool field = draw.text != nullptr && !drawing;
  if (field) {
    const MATRIX m = concatMatrix(item.matrix, device_);
    const RECT& r = draw.text->clip;
    const double f = factor_;
    const DevicePoint corners[4] = {transformPoint(m, r.xmin, r.ymin), transformPoint(m, r.xmax, r.ymin),
                                    transformPoint(m, r.xmax, r.ymax), transformPoint(m, r.xmin, r.ymax)};
    path_.clear();
    path_.winding = true;
    path_.moveTo(corners[0].x / f, corners[0].y / f);
    for (int i = 1; i < 4; ++i) path_.lineTo(corners[i].x / f, corners[i].y / f);
    path_.lineTo(corners[0].x / f, corners[0].y / f);
    printer_->pushClip(path_);
  }
  // Fills in stacking order: later ones paint over earlier ones.
  order_.clear();
  for (uint32_t i = 0; i < fills.size(); ++i)
    if (fills[i].kind != FillKind::Mask) order_.push_back(i);
  std::stable_sort(order_.begin(), order_.end(),
                   [&](uint32_t a, uint32_t b) { return fills[a].styleNumber < fills[b].styleNumber; });
  for (uint32_t i : order_) drawFill(draw, item, i);
  if (field) printer_->popClip();
}

void VectorPage::drawFill(const ShapeDraw& draw, const DisplayWalkItem& item, uint32_t index) {
  const FillStyle& fill = build_.fills()[index];
  // Wholly transparent paint is not printed at all.
  if (fill.kind == FillKind::Solid && expandedAlpha(fill.color) == 0) return;
  fillPath(build_, index, factor_, path_);
  if (!path_.empty()) {
    if (fill.kind == FillKind::Solid)
      printer_->fillPath(path_, plainColor(fill.color));
    else
      drawImageFill(draw, item, path_);
  }
  if (fill.kind != FillKind::Solid) return;
  // Lines: a pen at least a pixel wide, as on screen.
  for (uint32_t k = firstStroke_[index]; k != kNoFill; k = nextStroke_[k]) {
    strokePath(build_, k, factor_, path_);
    if (!path_.empty())
      printer_->strokePath(path_, static_cast<double>(build_.strokes()[k].width) / factor_, plainColor(fill.color));
  }
  drawText(index, plainColor(fill.color));
}

void VectorPage::drawText(uint32_t fill, PrintColor color) {
  // Consecutive glyphs of one font, size and slant go out together.
  printText_.glyphs.clear();
  const TextCollector::Glyph* runStart = nullptr;
  const auto flush = [&] {
    if (!printText_.glyphs.empty()) printer_->drawText(printText_);
    printText_.glyphs.clear();
  };
  for (const TextCollector::Glyph& g : collector_.glyphs) {
    if (g.fill != fill) continue;
    if (!runStart || g.font != runStart->font || g.m.a != runStart->m.a || g.m.b != runStart->m.b ||
        g.m.c != runStart->m.c || g.m.d != runStart->m.d) {
      flush();
      runStart = &g;
      // The em's axes in page pixels: 1024 units under the 16.16 matrix.
      const double unit = 1024.0 / 65536.0 / factor_;
      const double xx = g.m.a * unit, xy = g.m.b * unit, yx = g.m.c * unit, yy = g.m.d * unit;
      printText_.size = std::hypot(yx, yy);
      if (printText_.size <= 0) continue;
      printText_.xx = xx / printText_.size;
      printText_.xy = xy / printText_.size;
      printText_.yx = yx / printText_.size;
      printText_.yy = yy / printText_.size;
      printText_.family = g.font->family();
      printText_.bold = g.font->bold();
      printText_.italic = g.font->italic();
      printText_.color = color;
    }
    if (printText_.size <= 0) continue;
    printText_.glyphs.push_back(
        PrintText::Glyph{static_cast<double>(g.m.tx) / factor_, static_cast<double>(g.m.ty) / factor_, g.code});
  }
  flush();
}

void VectorPage::drawImageFill(const ShapeDraw& shape, const DisplayWalkItem& item, const PrintPath& path) {
  // The path's bounds in page pixels, inside the page.
  double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
  for (const PrintPath::Point& p : path.points()) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  const int left = std::max(0, static_cast<int>(std::floor(x0)));
  const int top = std::max(0, static_cast<int>(std::floor(y0)));
  const int right = std::min(pageWidth_, static_cast<int>(std::ceil(x1)));
  const int bottom = std::min(pageHeight_, static_cast<int>(std::ceil(y1)));
  if (right <= left || bottom <= top) return;
  const int width = right - left, height = bottom - top;
  log_("Before creation of bitmap\n");
  if (!target_.create(width, height, PixelFormat::Bgra32)) return;  // the fill stays blank
  log_("After creation of bitmap\n");
  target_.fill(0);
  FrameSetup setup;
  setup.factor = factor_;
  setup.view = device_;
  setup.view.a /= factor_;
  setup.view.b /= factor_;
  setup.view.c /= factor_;
  setup.view.d /= factor_;
  setup.view.tx = device_.tx / factor_ - left;
  setup.view.ty = device_.ty / factor_ - top;
  setup.dirty = ClipRect{0, 0, width, height};
  setup.hasBackground = false;
  if (!renderer_.beginFrame(target_, setup)) return;
  ShapeDraw draw = shape;
  draw.matrix = item.matrix;
  draw.cxform = item.cxform;
  draw.ratio = item.object.ratio();
  draw.depth = 1;
  (void)renderer_.drawShape(draw);
  renderer_.endFrame();
  image_.width = width;
  image_.height = height;
  image_.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    std::copy(target_.row(y), target_.row(y) + width, image_.pixels.begin() + static_cast<ptrdiff_t>(y) * width);
  printer_->pushClip(path);
  printer_->drawImage(image_, left, top, width, height);
  printer_->popClip();
}

void VectorPage::maskPath(const Display& display, const DisplayObject& mask, PrintPath& out) {
  // Every shape of the mask (a sprite's are united) adds its outline.
  class Outline : public DisplayVisitor {
   public:
    Outline(VectorPage& page, PrintPath& out) : page_(page), out_(out) {}
    bool enter(const DisplayWalkItem& item) override {
      for (int pass = 0; pass < 2; ++pass) {
        ShapeDraw draw;
        if (!page_.drawOf(item.object, pass == 1, draw)) continue;
        (void)page_.build(draw, item.matrix, item.cxform, true);
        const uint32_t f = page_.build_.maskFill();
        if (f == kNoFill) continue;
        std::vector<Piece> pieces;
        appendPieces(page_.build_, f, pieces);
        chainPieces(pieces, true, page_.factor_, out_);
      }
      return true;
    }

   private:
    VectorPage& page_;
    PrintPath& out_;
  };
  out.clear();
  out.winding = true;
  Outline outline(*this, out);
  display.walkSubtree(mask, outline);
}

}  // namespace kivra
