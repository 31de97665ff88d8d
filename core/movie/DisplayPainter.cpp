#include "core/movie/DisplayPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/movie/CharacterKinds.h"
#include "core/movie/EditTextFields.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/Drawing.h"

namespace kivra {

namespace {
bool drawsShape(const DisplayObject& o) {
  const Character* c = o.character();
  // (Import aliases were followed when the object was placed.)
  return c && (kindOps(c->kind).buildDraw || o.editField());
}

bool hasDrawing(const DisplayObject& o) { return o.drawing() && !o.drawing()->empty(); }

// Collects the shapes of a script mask clip as parts of the mask opened
// just before them (the clip itself is that mask's item).
class MaskCollector : public DisplayVisitor {
 public:
  MaskCollector(std::vector<DisplayPainter::Item>& items, const DisplayObject& mask) : items_(items), mask_(mask) {}
  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    if (&o == &mask_) items_.push_back({&o, item.matrix, item.cxform, 0, false, false});
    else if (drawsShape(o)) items_.push_back({&o, item.matrix, item.cxform, 0, true, false});
    if (hasDrawing(o)) items_.push_back({&o, item.matrix, item.cxform, 0, true, true});
    return true;
  }
  void leave(const DisplayWalkItem&) override {}

 private:
  std::vector<DisplayPainter::Item>& items_;
  const DisplayObject& mask_;
};

// Collects the shapes in drawing order. A mask's range is closed when the
// first later sibling lies beyond its clip depth, or when its parent ends.
class Collector : public DisplayVisitor {
 public:
  Collector(const Display& display, std::vector<DisplayPainter::Item>& items) : display_(display), items_(items) {}

  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    if (!o.visible()) return false;  // hidden with everything below it
    if (maskSprite_) {
      // Everything inside a masking sprite is mask outline; clip depths
      // in there have nothing of their own to clip.
      if (drawsShape(o)) items_.push_back({&o, item.matrix, item.cxform, 0, true, false});
      if (hasDrawing(o)) items_.push_back({&o, item.matrix, item.cxform, 0, true, true});
      return true;
    }
    closeMasks(item.nesting, o.depth());
    if (o.maskedClip()) return false;  // a script mask is drawn only as the mask
    if (const DisplayObject* mask = o.mask()) {
      // A script mask: the mask clip's shapes first, then this clip's
      // drawing, which the mask's range covers until the clip ends.
      scriptMasks_.push_back(ScriptMask{items_.size(), &o});
      MaskCollector parts(items_, *mask);
      display_.walkSubtree(*mask, parts);
    }
    if (drawsShape(o) || o.clipDepth() != 0) {
      items_.push_back({&o, item.matrix, item.cxform, 0, false, false});
      if (o.clipDepth() != 0) {
        open_.push_back(Open{items_.size() - 1, item.nesting, o.clipDepth()});
        if (!drawsShape(o)) maskSprite_ = &o;
      }
    }
    // The drawing lies beneath the children (in a masking sprite it is mask outline).
    if (hasDrawing(o)) items_.push_back({&o, item.matrix, item.cxform, 0, maskSprite_ == &o, true});
    return true;
  }
  void leave(const DisplayWalkItem& item) override {
    if (maskSprite_) {
      if (&item.object != maskSprite_) return;
      maskSprite_ = nullptr;
    }
    // The parent ends: masks among its children end with it.
    closeMasks(item.nesting + 1, INT32_MAX);
    if (!scriptMasks_.empty() && scriptMasks_.back().clip == &item.object) {
      items_[scriptMasks_.back().item].maskEnd = static_cast<uint32_t>(items_.size());
      scriptMasks_.pop_back();
    }
  }
  void finish() { closeMasks(-1, INT32_MAX); }

 private:
  struct Open {
    size_t item;
    int nesting;
    int32_t clipDepth;
  };
  // Closes the masks opened at `nesting` or deeper that do not reach `depth`.
  void closeMasks(int nesting, int32_t depth) {
    while (!open_.empty() && maskEnded(open_.back().nesting, open_.back().clipDepth, nesting, depth)) {
      items_[open_.back().item].maskEnd = static_cast<uint32_t>(items_.size());  // the items so far
      open_.pop_back();
    }
  }

  struct ScriptMask {
    size_t item;                // the mask's first item
    const DisplayObject* clip;  // the clip it masks
  };

  const Display& display_;
  std::vector<DisplayPainter::Item>& items_;
  std::vector<Open> open_;
  std::vector<ScriptMask> scriptMasks_;
  const DisplayObject* maskSprite_ = nullptr;  // the masking sprite being walked
};
}  // namespace

void DisplayPainter::paint(const Display& display, Renderer& renderer, RenderTarget& target, FrameSetup setup,
                           bool cullOutside, double pixelRatio) {
  const ViewTransform& view = display.view();
  const int f = std::max(1, view.aaFactor);
  setup.factor = f;
  // The renderer wants stage twips to whole pixels; the display's view maps
  // to sub-pixels.
  setup.view = view.matrix;
  // The display's bounds are in sub-pixels; coverage reaches a little beyond
  // the repainted rectangle.
  DeviceRect cull{setup.dirty.left * f - 2 * f, setup.dirty.top * f - 2 * f, setup.dirty.right * f + 2 * f,
                  setup.dirty.bottom * f + 2 * f};
  if (pixelRatio == 1.0) {
    setup.view.a /= f;
    setup.view.b /= f;
    setup.view.c /= f;
    setup.view.d /= f;
    setup.view.tx /= f;
    setup.view.ty /= f;
  } else {
    const double k = pixelRatio / f;
    auto scaled = [k](int32_t v) {
      return static_cast<int32_t>(std::lround(std::clamp<double>(v * k, INT32_MIN, INT32_MAX)));
    };
    setup.view.a = scaled(view.matrix.a);
    setup.view.b = scaled(view.matrix.b);
    setup.view.c = scaled(view.matrix.c);
    setup.view.d = scaled(view.matrix.d);
    setup.view.tx = scaled(view.matrix.tx);
    setup.view.ty = scaled(view.matrix.ty);
    // The dirty rectangle back in client sub-pixels, outward.
    auto down = [f, pixelRatio](int32_t v) { return static_cast<int32_t>(std::floor(v / pixelRatio)) * f - 2 * f; };
    auto up = [f, pixelRatio](int32_t v) { return static_cast<int32_t>(std::ceil(v / pixelRatio)) * f + 2 * f; };
    cull = DeviceRect{down(setup.dirty.left), down(setup.dirty.top), up(setup.dirty.right), up(setup.dirty.bottom)};
  }

  items_.clear();
  Collector collector(display, items_);
  display.walk(collector);
  collector.finish();
  paintItems(renderer, target, setup, cullOutside ? &cull : nullptr);
}

void DisplayPainter::paintSubtree(const Display& display, const DisplayObject& top, const MATRIX& stageToPixels,
                                  int factor, Renderer& renderer, RenderTarget& target, FrameSetup setup) {
  setup.factor = factor;
  setup.view = stageToPixels;
  items_.clear();
  Collector collector(display, items_);
  display.walkSubtree(top, collector);
  collector.finish();
  paintItems(renderer, target, setup, nullptr);
}

void DisplayPainter::paintItems(Renderer& renderer, RenderTarget& target, const FrameSetup& setup,
                                const DeviceRect* cull) {
  if (!renderer.beginFrame(target, setup)) return;
  // Shapes wholly outside the repainted rectangle are not built (masks are
  // always kept: without them what they clip would show unclipped).
  for (size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    const Character* c = item.object->character();
    const CharacterKindOps* ops = c ? &kindOps(c->kind) : nullptr;
    if (cull && !item.drawing && !item.maskEnd && !item.maskPart && ops && ops->culledOutside &&
        item.object->drawn() && !item.object->deviceBounds().empty() &&
        item.object->deviceBounds().intersected(*cull).empty())
      continue;
    // Numbers start at 1 so that a mask's end can never cover nothing by accident.
    const auto number = static_cast<uint16_t>(std::min<size_t>(i + 1, 0xFFFF));
    ShapeDraw draw;
    if (item.drawing) draw.drawing = item.object->drawing();
    else if (ops && ops->buildDraw) ops->buildDraw(*c, draw);
    else if (EditField* field = item.object->editField(); field && c->owner) {
      MovieFonts& fonts = c->owner->fonts();
      drawField(*field, *fonts.textFonts(), text_);
      draw.text = &text_;
      draw.glyphs = &fonts;
    }
    draw.matrix = item.matrix;
    draw.cxform = item.cxform;
    draw.ratio = item.object->ratio();
    draw.depth = number;
    draw.clipDepth = item.maskEnd ? static_cast<uint16_t>(std::min<uint32_t>(item.maskEnd, 0xFFFF)) : 0;
    draw.maskPart = item.maskPart;
    // A damaged shape body draws the edges read before the damage; the
    // timeline reports damaged tags, and the rest of the frame still draws.
    if (draw.body || draw.drawing || draw.text) (void)renderer.drawShape(draw);
    else if (draw.clipDepth) renderer.beginMask(draw.depth, draw.clipDepth);
  }
  renderer.endFrame();
}

}  // namespace kivra
