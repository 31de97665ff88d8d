// MovieClip methods (class 900), createEmptyMovieClip and the drawing
// methods (class 901).
#include <algorithm>
#include <cmath>
#include <string>

#include "core/script/PlayerServices.h"
#include "core/view/ViewTransform.h"
#include "core/render/Drawing.h"
#include "core/render/RenderMatrix.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

constexpr Twips kEmptyBound = 0x7FFFFFF;

DisplayClipBridge& bridgeOf(NativeCall& c) { return c.engine.displayClips(); }

// Frame spec of gotoAndPlay / gotoAndStop: a 1-based number, or a label,
// optionally after a target path and ":".
void gotoFrame(NativeCall& c, ScriptObject* self, bool play) {
  ScriptEngine& e = c.engine;
  if (c.argc < 1) return;
  std::string spec = e.toStdString(c.arg(0));
  ScriptObject* target = self;
  if (const size_t colon = spec.rfind(':'); colon != std::string::npos) {
    target = e.clips().resolvePath(self, std::string_view(spec).substr(0, colon), 0);
    spec = spec.substr(colon + 1);
  }
  if (!target || !target->isClipObject()) return;
  double d;
  const int frame = readDecimal(spec, false, d) ? toInteger32(d) - 1 : e.clips().frameOfLabel(*target, spec);
  if (frame < 0) return;
  e.clips().gotoFrame(*target, frame, play);
}

// Maps the x and y members of a point object through a matrix.
void mapPoint(NativeCall& c, DisplayObject& clip, bool toGlobal) {
  ScriptEngine& e = c.engine;
  if (c.argc != 1) return;
  ScriptObject* p = e.toObject(c.arg(0));
  if (!p) return;
  Property* px = p->findOwn("x");
  Property* py = p->findOwn("y");
  if (!px || !py || !px->value.isNumber() || !py->value.isNumber()) return;
  const int32_t x = toInteger32(px->value.asNumber() * 20);
  const int32_t y = toInteger32(py->value.asNumber() * 20);
  MATRIX m = bridgeOf(c).globalMatrix(clip);
  if (!toGlobal) m = invertMatrix(m);
  const DevicePoint q = transformPoint(m, x, y);
  e.setMember(p, "x", ScriptValue::number(q.x * 0.05));
  e.setMember(p, "y", ScriptValue::number(q.y * 0.05));
}

bool overlaps(const RECT& a, const RECT& b) {
  if (a.xmin == kEmptyBound || b.xmin == kEmptyBound) return false;
  return a.xmin <= b.xmax && b.xmin <= a.xmax && a.ymin <= b.ymax && b.ymin <= a.ymax;
}

RECT globalBounds(DisplayClipBridge& b, const DisplayObject& d) {
  const MATRIX parent = d.parent() ? b.globalMatrix(*d.parent()) : MATRIX{};
  return b.bounds(d, concat(d.matrix(), parent));
}

void hitTest(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  DisplayClipBridge& b = bridgeOf(c);
  c.result = ScriptValue::boolean(false);
  if (c.argc >= 2) {
    const int32_t x = toInteger32(e.toNumber(c.arg(0)) * 20);
    const int32_t y = toInteger32(e.toNumber(c.arg(1)) * 20);
    if (c.argc >= 3 && e.toBoolean(c.arg(2))) {
      c.result = ScriptValue::boolean(e.player().input().shapesCover(self, x, y));
      return;
    }
    const RECT r = globalBounds(b, self);
    if (r.xmin == kEmptyBound) return;
    c.result = ScriptValue::boolean(x >= r.xmin && x <= r.xmax && y >= r.ymin && y <= r.ymax);
    return;
  }
  if (c.argc == 1) {
    ScriptObject* other = resolveFromCaller(c, c.arg(0));
    DisplayObject* o = DisplayClipBridge::displayObject(other);
    if (!o) return;
    c.result = ScriptValue::boolean(overlaps(globalBounds(b, self), globalBounds(b, *o)));
  }
}

void getBounds(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  DisplayClipBridge& b = bridgeOf(c);
  DisplayObject* target = &self;
  if (c.argc >= 1) {
    target = DisplayClipBridge::displayObject(resolveFromCaller(c, c.arg(0)));
    if (!target) return;
  }
  RECT r = b.bounds(self, MATRIX{});
  if (target != &self && r.xmin != kEmptyBound) {
    // This clip's space to global, then global to the target's space.
    const MATRIX toTarget = concat(b.globalMatrix(self), invertMatrix(b.globalMatrix(*target)));
    r = transformRect(toTarget, r);
  }
  ScriptObject* o = e.newObject();
  ScriptValue result = ScriptValue::object(o);
  e.setMember(o, "xMin", ScriptValue::number(r.xmin * 0.05));
  e.setMember(o, "xMax", ScriptValue::number(r.xmax * 0.05));
  e.setMember(o, "yMin", ScriptValue::number(r.ymin * 0.05));
  e.setMember(o, "yMax", ScriptValue::number(r.ymax * 0.05));
  c.result = result;
}

// A movie's root counts its stream; a sprite is all there as soon as its
// tag is.
int64_t movieBytes(DisplayObject& d, bool loaded) {
  TimelinePlayer* t = d.timeline();
  if (t && t->isRoot()) return loaded ? t->bytesLoaded() : t->bytesTotal();
  return d.character() ? static_cast<int64_t>(d.character()->tagLength) : 0;
}

void attachMovie(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  if (c.argc < 3) return;
  const std::string id = e.toStdString(c.arg(0));
  const std::string name = e.toStdString(c.arg(1));
  const int64_t depth = static_cast<int64_t>(toInt32(e, c.arg(2))) + kScriptDepthBase;
  const int32_t depth32 = static_cast<int32_t>(depth);
  if (depth32 >= kReservedLevel || (depth32 < 0 && e.version() >= 6)) return;
  TimelinePlayer* owner = self.timeline() ? &self.timeline()->root() : nullptr;
  if (!owner) return;
  std::shared_ptr<Character> ch = owner->exported(id, false);
  if (ch && ch->isAlias() && e.version() >= 6) {
    Character* end = ch->resolved();
    if (!end) return;
    std::shared_ptr<Character> p = ch;
    while (p && p.get() != end) p = p->target;
    ch = p;
  }
  if (!ch || ch->isAlias()) return;
  ScriptObject* init = c.argc >= 4 ? e.toObject(c.arg(3)) : nullptr;
  DisplayObject* placed = bridgeOf(c).placeScriptClip(self, ch, name, depth32, MATRIX{}, CXFORM{}, init);
  if (placed && e.version() >= 6) c.result = bridgeOf(c).clipValue(placed);
}

void swapDepths(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  if (c.argc < 1 || !self.parent()) return;
  auto inRange = [](int64_t d) { return d >= 0 && d < kReservedLevel; };
  if (c.arg(0).isNumber()) {
    const int64_t depth = static_cast<int64_t>(toInt32(e, c.arg(0))) + kScriptDepthBase;
    if (!inRange(depth) || !inRange(self.depth())) return;
    e.player().display().swapDepths(self, static_cast<int32_t>(depth));
    return;
  }
  DisplayObject* other = DisplayClipBridge::displayObject(resolveFromCaller(c, c.arg(0)));
  if (!other || other == &self || other->parent() != self.parent()) return;
  if (!inRange(self.depth()) || !inRange(other->depth())) return;
  e.player().display().swapDepths(self, other->depth());
}

// Every MovieClip method works on the clip it is called on and does nothing
// on anything else; a routine takes the clip as its display object or as its
// script object.
template <void (*run)(NativeCall&, DisplayObject&)>
void onClip(NativeCall& c) {
  if (DisplayObject* self = DisplayClipBridge::displayObject(c.engine.toObject(c.thisValue))) run(c, *self);
}

template <void (*run)(NativeCall&, ScriptObject&)>
void onClipObject(NativeCall& c) {
  ScriptObject* selfObject = c.engine.toObject(c.thisValue);
  if (DisplayClipBridge::displayObject(selfObject)) run(c, *selfObject);
}

void localToGlobal(NativeCall& c, DisplayObject& self) { mapPoint(c, self, true); }
void globalToLocal(NativeCall& c, DisplayObject& self) { mapPoint(c, self, false); }

void getBytesTotal(NativeCall& c, DisplayObject& self) {
  c.result = ScriptValue::number(static_cast<double>(movieBytes(self, false)));
}

void getBytesLoaded(NativeCall& c, DisplayObject& self) {
  c.result = ScriptValue::number(static_cast<double>(movieBytes(self, true)));
}

void getDepth(NativeCall& c, DisplayObject& self) { c.result = ScriptValue::number(self.depth() - kScriptDepthBase); }

void setMask(NativeCall& c, DisplayObject& self) {  // setMask(mask): null or undefined removes the mask
  ScriptEngine& e = c.engine;
  c.result = ScriptValue::boolean(false);
  Display& display = e.player().display();
  if (c.argc < 1 || c.arg(0).isNullish()) {
    display.setMask(self, nullptr);
    return;
  }
  DisplayObject* mask = DisplayClipBridge::displayObject(resolveFromCaller(c, c.arg(0)));
  if (!mask || mask == &self) return;
  display.setMask(self, mask);
  c.result = ScriptValue::boolean(true);
}

void play(NativeCall& c, ScriptObject& self) { c.engine.clips().play(self); }
void stop(NativeCall& c, ScriptObject& self) { c.engine.clips().stop(self); }
void nextFrame(NativeCall& c, ScriptObject& self) { c.engine.clips().nextFrame(self); }
void prevFrame(NativeCall& c, ScriptObject& self) { c.engine.clips().previousFrame(self); }
void gotoAndPlay(NativeCall& c, ScriptObject& self) { gotoFrame(c, &self, true); }
void gotoAndStop(NativeCall& c, ScriptObject& self) { gotoFrame(c, &self, false); }

void duplicateMovieClip(NativeCall& c, DisplayObject& self) {  // duplicateMovieClip(name, depth [, init])
  ScriptEngine& e = c.engine;
  if (c.argc < 2 || !self.parent() || !kindOps(self.kind()).ownStream) return;
  const int64_t depth = static_cast<int64_t>(toInt32(e, c.arg(1))) + kScriptDepthBase;
  if (depth < 0 || depth >= kReservedLevel) return;
  ScriptObject* init = c.argc >= 3 ? e.toObject(c.arg(2)) : nullptr;
  DisplayObject* placed =
      bridgeOf(c).placeScriptClip(*self.parent(), self.sharedCharacter(), e.toStdString(c.arg(0)),
                                  static_cast<int32_t>(depth), self.matrix(), self.cxform(), init);
  if (placed && e.version() >= 6) c.result = bridgeOf(c).clipValue(placed);
}

void removeMovieClip(NativeCall& c, ScriptObject& self) { c.engine.clips().removeSprite(self); }

void startDrag(NativeCall& c, ScriptObject& self) {  // startDrag(lock [, left, top, right, bottom])
  ScriptEngine& e = c.engine;
  double bounds[4];
  const bool constrain = c.argc >= 3 && !c.arg(2).isUndefined();
  if (constrain)
    for (int i = 0; i < 4; ++i) bounds[i] = toInt32(e, c.arg(i + 1)) * 20.0;
  e.clips().startDrag(self, e.toBoolean(c.arg(0)), constrain ? bounds : nullptr);
}

void stopDrag(NativeCall& c, ScriptObject&) { c.engine.clips().endDrag(); }

void getTabIndex(NativeCall& c, ScriptObject& self) {
  Property* p = self.findOwn(kTabIndexProperty);
  if (p) c.result = p->value;
}

void setTabIndex(NativeCall& c, ScriptObject& self) {
  ScriptEngine& e = c.engine;
  if (c.arg(0).isNullish()) {
    if (Property* p = self.findOwn(kTabIndexProperty)) self.remove(p);
  } else {
    self.put(kTabIndexProperty, ScriptValue::number(e.toNumber(c.arg(0))), kDontEnum | kVersion6Only);
  }
}

void createEmptyMovieClip(NativeCall& c) {
  ScriptEngine& e = c.engine;
  DisplayObject* self = clipOf(e, c.thisValue);
  if (!self || c.argc < 2) return;
  // createEmptyMovieClip(name, depth): an empty one-frame sprite.
  TimelinePlayer* owner = self->timeline() ? &self->timeline()->root() : nullptr;
  if (!owner) return;
  const int64_t depth = static_cast<int64_t>(toInt32(e, c.arg(1))) + kScriptDepthBase;
  if (depth < 0 || depth >= kReservedLevel) return;
  std::shared_ptr<Character> empty = makeEmptySprite(owner);
  DisplayObject* placed = e.displayClips().placeScriptClip(*self, empty, e.toStdString(c.arg(0)),
                                                           static_cast<int32_t>(depth), MATRIX{}, CXFORM{}, nullptr);
  if (placed) c.result = e.displayClips().clipValue(placed);
}

// ---- Scripted drawing -----------------------------------------------------------
// Pixels in, twips out: times 20, truncated.

int32_t twipsOf(ScriptEngine& e, const ScriptValue& v) { return toInteger32(e.toNumber(v) * 20); }

// A count clamped to lo..hi; NaN counts as lo.
double clampedNumber(ScriptEngine& e, const ScriptValue& v, double lo, double hi) {
  const double d = e.toNumber(v);
  if (std::isnan(d)) return lo;
  return std::clamp(d, lo, hi);
}

bool given(NativeCall& c, int i) { return c.argc > i && !c.arg(i).isUndefined(); }

// A double in 16.16, saturated; NaN is 0.
Fixed16 toFixed16(double v) {
  v *= 65536;
  if (std::isnan(v)) return 0;
  return static_cast<Fixed16>(std::clamp(v, -2147483648.0, 2147483647.0));
}

Twips toTwips(double pixels) { return toInteger32(pixels * 20); }

void changed(NativeCall& c, DisplayObject& self) { c.engine.player().display().invalidate(self); }

void beginFill(NativeCall& c, DisplayObject& self) {  // beginFill([rgb [, alpha]])
  ScriptEngine& e = c.engine;
  const bool noFill = !given(c, 0);
  const uint32_t rgb = noFill ? 0xFFFFFF : static_cast<uint32_t>(toInt32(e, c.arg(0)));
  const int alpha = given(c, 1) ? static_cast<int>(clampedNumber(e, c.arg(1), 0, 100)) : 100;
  self.ensureDrawing().beginFill(noFill, rgb, alpha);
  changed(c, self);
}

// Reads member `name`; false when it is missing.
bool member(ScriptEngine& e, ScriptObject* o, std::string_view name, double& out) {
  ScriptValue v;
  if (!e.getMember(o, name, v) || v.isUndefined()) return false;
  out = e.toNumber(v);
  return true;
}

// beginGradientFill(type, colors, alphas, ratios, matrix)
void beginGradientFill(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  if (c.argc != 5) return;
  DrawGradient g;
  const std::string type = e.toStdString(c.arg(0));
  if (type == "radial") g.radial = true;
  else if (type != "linear") return;
  ScriptObject* colors = e.toObject(c.arg(1));
  ScriptObject* alphas = e.toObject(c.arg(2));
  ScriptObject* ratios = e.toObject(c.arg(3));
  ScriptObject* m = e.toObject(c.arg(4));
  if (!colors || !alphas || !ratios || !m) return;
  double lc = 0, la = 0, lr = 0;
  if (!member(e, colors, "length", lc) || !member(e, alphas, "length", la) || !member(e, ratios, "length", lr)) return;
  if (!(lc == la && la == lr) || !(lc >= 0)) return;
  const int count = static_cast<int>(std::min(lc, 8.0));
  for (int i = 0; i < count; ++i) {
    const std::string index = std::to_string(i);
    ScriptValue cv, av, rv;
    e.getMember(colors, index, cv);
    e.getMember(alphas, index, av);
    e.getMember(ratios, index, rv);
    const double ratio = e.toNumber(rv);
    if (!(ratio >= 0 && ratio <= 255)) return;
    const uint32_t rgb = static_cast<uint32_t>(toInt32(e, cv));
    const double alpha = clampedNumber(e, av, 0, 100);
    GradientRecord& r = g.records[i];
    r.ratio = static_cast<uint8_t>(ratio);
    r.color = Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
                   static_cast<uint8_t>(alpha * 255 / 100)};
  }
  g.count = static_cast<uint8_t>(count);
  ScriptValue kind;
  e.getMember(m, "matrixType", kind);
  if (kind.isString() && e.toStdString(kind) == "box") {
    double x, y, w, h, r;
    if (!member(e, m, "x", x) || !member(e, m, "y", y) || !member(e, m, "w", w) || !member(e, m, "h", h) ||
        !member(e, m, "r", r))
      return;
    // The gradient square is 32768 units wide: w pixels are w x 20 / 32768.
    const double sx = w / 1638.4, sy = h / 1638.4;
    const double cs = std::cos(r), sn = std::sin(r);
    g.matrix = MATRIX{toFixed16(sx * cs), toFixed16(sx * sn), toFixed16(-sy * sn), toFixed16(sy * cs),
                      toTwips(x + w / 2), toTwips(y + h / 2)};
  } else {
    double a, b, d, ee, gx, hy;
    if (!member(e, m, "a", a) || !member(e, m, "b", b) || !member(e, m, "d", d) || !member(e, m, "e", ee) ||
        !member(e, m, "g", gx) || !member(e, m, "h", hy))
      return;
    g.matrix = MATRIX{toFixed16(a / 1638.4), toFixed16(b / 1638.4), toFixed16(d / 1638.4), toFixed16(ee / 1638.4),
                      toTwips(gx), toTwips(hy)};
  }
  self.ensureDrawing().beginGradientFill(false, g);
  changed(c, self);
}

void moveTo(NativeCall& c, DisplayObject& self) {
  if (c.argc < 2) return;
  self.ensureDrawing().moveTo(twipsOf(c.engine, c.arg(0)), twipsOf(c.engine, c.arg(1)));
  changed(c, self);
}

void lineTo(NativeCall& c, DisplayObject& self) {
  if (c.argc < 2) return;
  self.ensureDrawing().lineTo(twipsOf(c.engine, c.arg(0)), twipsOf(c.engine, c.arg(1)));
  changed(c, self);
}

void curveTo(NativeCall& c, DisplayObject& self) {
  ScriptEngine& e = c.engine;
  if (c.argc < 4) return;
  self.ensureDrawing().curveTo(twipsOf(e, c.arg(0)), twipsOf(e, c.arg(1)), twipsOf(e, c.arg(2)),
                               twipsOf(e, c.arg(3)));
  changed(c, self);
}

void lineStyle(NativeCall& c, DisplayObject& self) {  // lineStyle([thickness [, rgb [, alpha]]])
  ScriptEngine& e = c.engine;
  const bool noLine = !given(c, 0);
  const int32_t width = noLine ? 0 : static_cast<int32_t>(clampedNumber(e, c.arg(0), 0, 255) * 20);
  const uint32_t rgb = c.argc > 1 ? static_cast<uint32_t>(toInt32(e, c.arg(1))) : 0;
  const int alpha = given(c, 2) ? static_cast<int>(clampedNumber(e, c.arg(2), 0, 100)) : 100;
  self.ensureDrawing().lineStyle(noLine, width, rgb, alpha);
  changed(c, self);
}

void endFill(NativeCall& c, DisplayObject& self) {
  self.ensureDrawing().endFill();
  changed(c, self);
}

void clearDrawing(NativeCall& c, DisplayObject& self) {
  Drawing* d = self.drawing();
  if (!d) return;
  d->clear();
  changed(c, self);
}

// attachAudio and attachVideo (8, 9) have no entry: there is no sound or
// video to attach yet.
constexpr NativeMethod kMovieClipMethods[] = {
    {0, "attachMovie", onClip<attachMovie>},
    {1, "swapDepths", onClip<swapDepths>},
    {2, "localToGlobal", onClip<localToGlobal>},
    {3, "globalToLocal", onClip<globalToLocal>},
    {4, "hitTest", onClip<hitTest>},
    {5, "getBounds", onClip<getBounds>},
    {6, "getBytesTotal", onClip<getBytesTotal>},
    {7, "getBytesLoaded", onClip<getBytesLoaded>},
    {10, "getDepth", onClip<getDepth>},
    {11, "setMask", onClip<setMask>},
    {12, "play", onClipObject<play>},
    {13, "stop", onClipObject<stop>},
    {14, "nextFrame", onClipObject<nextFrame>},
    {15, "prevFrame", onClipObject<prevFrame>},
    {16, "gotoAndPlay", onClipObject<gotoAndPlay>},
    {17, "gotoAndStop", onClipObject<gotoAndStop>},
    {18, "duplicateMovieClip", onClip<duplicateMovieClip>},
    {19, "removeMovieClip", onClipObject<removeMovieClip>},
    {20, "startDrag", onClipObject<startDrag>},
    {21, "stopDrag", onClipObject<stopDrag>},
    {200, "tabIndex getter", onClipObject<getTabIndex>},
    {201, "tabIndex setter", onClipObject<setTabIndex>},
};

constexpr NativeMethod kMovieClipDrawingMethods[] = {
    {0, "createEmptyMovieClip", createEmptyMovieClip},
    {1, "beginFill", onClip<beginFill>},
    {2, "beginGradientFill", onClip<beginGradientFill>},
    {3, "moveTo", onClip<moveTo>},
    {4, "lineTo", onClip<lineTo>},
    {5, "curveTo", onClip<curveTo>},
    {6, "lineStyle", onClip<lineStyle>},
    {7, "endFill", onClip<endFill>},
    {8, "clear", onClip<clearDrawing>},
};

}  // namespace

const NativeClass kMovieClipNatives{kNativeMovieClip, "MovieClip", kMovieClipMethods};
const NativeClass kMovieClipDrawingNatives{kNativeMovieClipDrawing, "MovieClip drawing", kMovieClipDrawingMethods};

}  // namespace kivra
