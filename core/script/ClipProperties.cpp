// The 22 numbered clip properties, the scale and rotation kept beside a
// clip's matrix, and clip bounds.
#include <cmath>

#include "core/script/PlayerServices.h"
#include "core/view/ZoomAndPan.h"
#include "core/input/InputDispatch.h"
#include "core/format/CaseInsensitive.h"
#include "core/view/ViewTransform.h"
#include "core/render/Drawing.h"
#include "core/render/RenderMatrix.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {

constexpr const char* kPropertyNames[] = {
    "_x",         "_y",           "_xscale", "_yscale",     "_currentframe", "_totalframes", "_alpha", "_visible",
    "_width",     "_height",      "_rotation", "_target",   "_framesloaded", "_name",        "_droptarget",
    "_url",       "_highquality", "_focusrect", "_soundbuftime", "_quality", "_xmouse",      "_ymouse",
};
constexpr int kPropertyCount = static_cast<int>(std::size(kPropertyNames));
constexpr Twips kEmptyBound = 0x7FFFFFF;

// Angles are 16.16 fixed-point degrees: a full turn is 360 << 16.
constexpr double kFixedDegree = 65536.0;
constexpr double kPi = 3.14159265358979323846;

Fixed16 fixedSin(int64_t angle) {
  return static_cast<Fixed16>(std::lround(std::sin(static_cast<double>(angle) / kFixedDegree * kPi / 180) * 65536));
}
Fixed16 fixedCos(int64_t angle) {
  return static_cast<Fixed16>(std::lround(std::cos(static_cast<double>(angle) / kFixedDegree * kPi / 180) * 65536));
}
int32_t fixedAtan2(int64_t y, int64_t x) {
  if (x == 0 && y == 0) return 0;
  return static_cast<int32_t>(
      std::lround(std::atan2(static_cast<double>(y), static_cast<double>(x)) * 180 / kPi * kFixedDegree));
}
// A product of two 16.16 values, rounded on the last bit shifted out.
Fixed16 mul16(int64_t a, int64_t b) {
  const int64_t p = a * b;
  return static_cast<Fixed16>((p >> 16) + ((p >> 15) & 1));
}
int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void boundsInto(const DisplayObject& o, const MATRIX& m, RectUnion& box) {
  if (kindOps(o.kind()).ownBox) box.add(transformRect(m, o.character()->bounds));
  if (const Drawing* d = o.drawing(); d && d->hasBounds()) box.add(transformRect(m, d->bounds()));
  for (const auto& c : o.children())
    if (c->depth() >= 0) boundsInto(*c, concat(c->matrix(), m), box);
}

const char* const kQualityNames[] = {"LOW", "MEDIUM", "HIGH", "BEST"};

}  // namespace

int propertyIndex(std::string_view name) {
  if (name.size() < 2 || name[0] != '_') return -1;
  for (int i = 0; i < kPropertyCount; ++i)
    if (equalsIgnoringCase(name, kPropertyNames[i])) return i;
  return -1;
}

RECT DisplayClipBridge::bounds(const DisplayObject& object, const MATRIX& m) const {
  RectUnion box;
  boundsInto(object, m, box);
  if (!box.any) return RECT{kEmptyBound, kEmptyBound, kEmptyBound, kEmptyBound};
  return box.rect;
}

MATRIX DisplayClipBridge::globalMatrix(const DisplayObject& object) const {
  MATRIX m = object.matrix();
  const DisplayObject* root = &player_.display().root();
  int guard = 0;
  for (const DisplayObject* p = object.parent(); p && p != root && guard < 256; p = p->parent(), ++guard)
    m = concat(m, p->matrix());
  return m;
}

ClipScale& DisplayClipBridge::scale(DisplayObject& object) {
  ClipScale& s = entries_[&object].scale;
  const MATRIX& m = object.matrix();
  if (!s.valid || !(s.from == m)) {
    s.xscale = static_cast<double>(vectorLength(m.a, m.b)) * 100 / 65536;
    s.yscale = static_cast<double>(vectorLength(m.c, m.d)) * 100 / 65536;
    s.xAngle = fixedAtan2(m.b, m.a);
    s.yAngle = fixedAtan2(-static_cast<int64_t>(m.c), m.d);
    s.rotation = s.xAngle / kFixedDegree;
    s.from = m;
    s.valid = true;
  }
  return s;
}

void DisplayClipBridge::applyScale(DisplayObject& object, ClipScale& s) {
  const int64_t r = static_cast<int64_t>(s.rotation * kFixedDegree);
  const int64_t sx = static_cast<int64_t>(s.xscale * 0.01 * 65536);
  const int64_t sy = static_cast<int64_t>(s.yscale * 0.01 * 65536);
  const int64_t k = r + s.yAngle - s.xAngle;
  MATRIX m = object.matrix();
  m.a = mul16(sx, fixedCos(r));
  m.b = mul16(sx, fixedSin(r));
  m.c = -mul16(sy, fixedSin(k));
  m.d = mul16(sy, fixedCos(k));
  player_.display().setMatrix(object, m);
  s.from = object.matrix();
}

ScriptValue DisplayClipBridge::getProperty(ScriptObject& clip, int index) {
  DisplayObject* d = displayObject(&clip);
  if (!d) return ScriptValue();
  const CharacterKindOps& ops = kindOps(d->kind());
  const bool noFrames = ops.plainScriptObject;
  auto num = [](double v) { return ScriptValue::number(v); };
  switch (index) {
    case 0:
      return num(d->matrix().tx / 20.0);
    case 1:
      return num(d->matrix().ty / 20.0);
    case 2:
    case 3: {
      if (engine_.version4()) {
        const MATRIX& m = d->matrix();
        int64_t len = index == 2 ? vectorLength(m.a, m.b) : vectorLength(m.c, m.d);
        if (len > 21474835LL * 65536 / 100) len = 21474835LL * 65536 / 100;
        return num(static_cast<double>(len) * 100 / 65536);
      }
      ClipScale& s = scale(*d);
      return num(index == 2 ? s.xscale : s.yscale);
    }
    case 4:
      if (noFrames || !d->timeline()) return ScriptValue();
      return num(d->timeline()->currentFrame() + 1);
    case 5:
      if (noFrames || !d->timeline()) return ScriptValue();
      return num(d->timeline()->frameCount());
    case 6:
      return num(d->cxform().aMul * 100.0 / 256);
    case 7:
      return ScriptValue::boolean(d->visible());
    case 8:
    case 9: {
      const RECT b = bounds(*d, d->matrix());
      if (b.xmin == kEmptyBound) return num(0);
      return num(index == 8 ? (b.xmax - b.xmin) * 0.05 : (b.ymax - b.ymin) * 0.05);
    }
    case 10: {
      double r;
      if (engine_.version4()) r = fixedAtan2(d->matrix().b, d->matrix().a) / kFixedDegree;
      else r = std::fmod(scale(*d).rotation, 360.0);
      if (r > 180) r -= 360;
      else if (r < -180) r += 360;
      return num(r);
    }
    case 11:
      return engine_.makeString(targetPath(clip, false));
    case 12:
      if (noFrames || !d->timeline()) return ScriptValue();
      return num(framesLoaded(clip));
    case 13:
      return engine_.makeString(d->name());
    case 14:
      if (noFrames) return ScriptValue();
      return engine_.makeString(d->dropTarget());
    case 15: {
      const TimelinePlayer* t = d->timeline() ? &d->timeline()->root() : nullptr;
      if (!t && d->character() && d->character()->owner) t = d->character()->owner;
      return engine_.makeString(t ? t->url() : std::string());
    }
    case 16: {
      const Quality q = player_.quality();
      return num(q == Quality::Best ? 2 : q == Quality::High ? 1 : 0);
    }
    case 17:
      if (engine_.version() <= 5) return num(focusRect_ ? 1 : 0);
      if (ops.button) return ScriptValue::boolean(focusRect_);
      if (entries_[d].focusRectSet) return ScriptValue::boolean(entries_[d].focusRect);
      return ScriptValue::null();
    case 18:
      return num(soundBufferSeconds_);
    case 19:
      return engine_.makeString(kQualityNames[static_cast<int>(player_.quality())]);
    case 20:
    case 21: {
      int32_t sx = 0, sy = 0;
      clientToMovie(player_.view(), player_.input().pointerX(), player_.input().pointerY(), sx, sy);
      const MATRIX inv = invertMatrix(globalMatrix(*d));
      const DevicePoint p = transformPoint(inv, sx, sy);
      return num((index == 20 ? p.x : p.y) / 20.0);
    }
    default:
      return ScriptValue();
  }
}

void DisplayClipBridge::setProperty(ScriptObject& clip, int index, const ScriptValue& value) {
  DisplayObject* d = displayObject(&clip);
  if (!d) return;
  Display& display = player_.display();
  // Text-valued properties first; the rest are numbers, and NaN is ignored.
  switch (index) {
    case 13:
      display.rename(*d, engine_.toStdString(value));
      return;
    case 19: {
      const std::string name = engine_.toStdString(value);
      static constexpr struct {
        const char* name;
        Quality quality;
        bool automatic;
      } kNames[] = {{"LOW", Quality::Low, false},         {"MEDIUM", Quality::Medium, false},
                    {"HIGH", Quality::High, false},       {"AUTOLOW", Quality::Low, true},
                    {"AUTOMEDIUM", Quality::Medium, true}, {"AUTOHIGH", Quality::High, true},
                    {"BEST", Quality::Best, false}};
      for (const auto& q : kNames)
        if (equalsIgnoringCase(name, q.name)) {
          player_.setQuality(q.quality);
          player_.setAutoQuality(q.automatic);
          player_.redrawAll();
        }
      return;
    }
    case 17:
      if (engine_.version() >= 6 && !kindOps(d->kind()).button) {
        Entry& e = entries_[d];
        e.focusRectSet = !value.isNullish();
        e.focusRect = e.focusRectSet && engine_.toBoolean(value);
      } else {
        focusRect_ = engine_.toBoolean(value);
      }
      return;
    default:
      break;
  }
  const double v = engine_.toNumber(value);
  if (std::isnan(v)) return;
  switch (index) {
    case 0:
    case 1: {
      MATRIX m = d->matrix();
      (index == 0 ? m.tx : m.ty) = truncToInt32(v * 20);
      display.setMatrix(*d, m);
      break;
    }
    case 2:
    case 3:
    case 10: {
      ClipScale& s = scale(*d);
      if (engine_.version4() && index != 10) {
        // The matrix column is rebuilt at the new length.
        MATRIX m = d->matrix();
        Fixed16& p = index == 2 ? m.a : m.d;
        Fixed16& q = index == 2 ? m.b : m.c;
        const int64_t oldLen = index == 2 ? vectorLength(m.a, m.b) : vectorLength(m.c, m.d);
        int64_t newLen = static_cast<int64_t>(v * 65536 / 100);
        if (newLen == 0) newLen = 1;
        if (std::llabs(newLen - oldLen) < 17) break;
        if (oldLen == 0) {
          p = static_cast<Fixed16>(newLen);
          q = 0;
        } else {
          p = static_cast<Fixed16>(static_cast<int64_t>(p) * newLen / oldLen);
          q = static_cast<Fixed16>(static_cast<int64_t>(q) * newLen / oldLen);
        }
        display.setMatrix(*d, m);
        break;
      }
      if (index == 2) s.xscale = v;
      else if (index == 3) s.yscale = v;
      else s.rotation = v;
      applyScale(*d, s);
      break;
    }
    case 6: {
      CXFORM c = d->cxform();
      c.aMul = static_cast<Fixed8>(truncToInt32(v * 2.56));
      c.flags |= CXFORM::kHasMultipliers;
      display.setCxform(*d, c);
      break;
    }
    case 7:
      display.setVisible(*d, v != 0);
      // A hidden clip gives up the keyboard focus (the pointer's leaves it
      // at the next tracking, as hidden objects are not hit).
      if (v == 0 && player_.input().focus().focused() == d) player_.input().setFocus(nullptr);
      break;
    case 8:
    case 9: {
      if (v < 0) break;
      ClipScale& s = scale(*d);
      const RECT before = bounds(*d, d->matrix());
      const double w = before.xmin == kEmptyBound ? 0 : (before.xmax - before.xmin) * 0.05;
      const double h = before.xmin == kEmptyBound ? 0 : (before.ymax - before.ymin) * 0.05;
      ClipScale unit = s;
      unit.xscale = 100;
      unit.yscale = 100;
      applyScale(*d, unit);
      const RECT after = bounds(*d, d->matrix());
      const double u = after.xmin == kEmptyBound ? 0 : (after.xmax - after.xmin) * 0.05;
      const double vv = after.xmin == kEmptyBound ? 0 : (after.ymax - after.ymin) * 0.05;
      if (index == 8) {
        s.xscale = u == 0 ? 0 : v / u * 100;
        s.yscale = vv == 0 ? 0 : h / vv * 100;
      } else {
        s.xscale = u == 0 ? 0 : w / u * 100;
        s.yscale = vv == 0 ? 0 : v / vv * 100;
      }
      applyScale(*d, s);
      break;
    }
    case 16:
      player_.setQuality(v > 1.5 ? Quality::Best : v != 0 ? Quality::High : Quality::Low);
      player_.setAutoQuality(false);
      player_.redrawAll();
      break;
    case 18:
      soundBufferSeconds_ = truncToInt32(v);
      break;
    default:
      break;
  }
}

}  // namespace kivra
