#include "core/input/KeyboardFocus.h"

#include <algorithm>
#include <cmath>

#include "core/movie/ButtonRecords.h"
#include "core/movie/CharacterKinds.h"
#include "core/input/KeyEvent.h"
#include "core/movie/TimelinePlayer.h"
#include "core/text/EditField.h"

namespace kivra {

namespace {
void addButtonRecords(const DisplayObject& button, const MATRIX& m, RectUnion& box) {
  const Character* c = button.character();
  if (!c || !c->owner) return;
  ButtonRecords(*c).forEachRecord([&](const ButtonRecord& r) {
    const std::shared_ptr<Character> shown = c->owner->dictionary().lookup(r.characterId);
    if (shown && kindOps(shown->kind).boxInFocusRect) box.add(transformRect(concat(r.matrix, m), shown->bounds));
  });
}

void addBounds(const DisplayObject& o, const MATRIX& m, RectUnion& box, int nesting) {
  if (nesting > Display::kMaxNesting + 2 || o.clipDepth() != 0) return;
  const Character* c = o.character();
  if (c && kindOps(c->kind).boxInFocusRect) {
    box.add(transformRect(m, c->bounds));
    return;
  }
  if (kindOps(o.kind()).button) {
    addButtonRecords(o, m, box);
    return;
  }
  for (const auto& child : o.children()) addBounds(*child, concat(child->matrix(), m), box, nesting + 1);
}

int32_t floorDiv(int64_t v, int f) { return static_cast<int32_t>(v >= 0 ? v / f : -((-v + f - 1) / f)); }
int32_t ceilDiv(int64_t v, int f) { return static_cast<int32_t>(v >= 0 ? (v + f - 1) / f : -((-v) / f)); }

int64_t gap(int32_t aLo, int32_t aHi, int32_t bLo, int32_t bHi) {
  if (bHi <= aLo) return aLo - bHi;
  if (aHi <= bLo) return bLo - aHi;
  return 0;
}
}  // namespace

KeyboardFocus::KeyboardFocus(Display& display) : display_(display) { display_.addObserver(this); }

KeyboardFocus::~KeyboardFocus() { display_.removeObserver(this); }

void KeyboardFocus::displayObjectDestroyed(DisplayObject* object) {
  if (object != focused_) return;
  focused_ = nullptr;
  lost_ = true;
}

bool KeyboardFocus::takeLostByRemoval() {
  const bool lost = lost_;
  lost_ = false;
  return lost;
}

bool KeyboardFocus::actsAsButton(const DisplayObject& object, InputScriptHooks& hooks) {
  if (!kindOps(object.kind()).ownsTimeline) return false;
  const uint32_t events = object.clipActions().events() | (object.version() >= 6 ? hooks.scriptEvents(object) : 0);
  return (events & kClipEventButtonMask) != 0;
}

WindowRect KeyboardFocus::windowBounds(const Display& display, const DisplayObject& object) {
  MATRIX m = object.matrix();
  for (const DisplayObject* p = object.parent(); p && p != &display.root(); p = p->parent())
    m = concat(m, p->matrix());
  m = concat(m, display.view().matrix);
  RectUnion box;
  addBounds(object, m, box, 0);
  if (!box.any) return WindowRect{};
  const int f = std::max(1, display.aaFactor());
  return WindowRect{floorDiv(box.rect.xmin, f), floorDiv(box.rect.ymin, f), ceilDiv(box.rect.xmax, f),
                    ceilDiv(box.rect.ymax, f)};
}

void KeyboardFocus::collectFrom(DisplayObject& parent, InputScriptHooks& hooks, std::vector<Entry>& out,
                                bool& indexed, int nesting) {
  if (nesting > Display::kMaxNesting + 2) return;
  for (const auto& child : parent.children()) {
    DisplayObject& o = *child;
    if (o.depth() < 0 || !o.visible()) continue;  // removed (waiting for its unload actions) or hidden
    const CharacterKindOps& ops = kindOps(o.kind());
    int32_t index = 0;
    // Input fields take the focus by Tab too; their index is the field's.
    const EditField* field = o.editField();
    const bool inputField = field && !field->hasFlag(kFieldReadOnly) && !field->hasFlag(kFieldNoSelect);
    bool hasIndex = (ops.button || ops.ownsTimeline) && hooks.tabIndex(o, index);
    if (field && field->tabIndex() >= 0) {
      hasIndex = true;
      index = field->tabIndex();
    }
    const ScriptFlag tabEnabled = hooks.property(o, InputProperty::TabEnabled);
    bool candidate = ops.button || inputField ||
                     (ops.ownsTimeline && (hasIndex || tabEnabled == ScriptFlag::True || actsAsButton(o, hooks)));
    if (tabEnabled == ScriptFlag::False) candidate = false;
    if (candidate) {
      if (hasIndex && !indexed) {
        // From the first indexed object on, only indexed objects count.
        out.clear();
        indexed = true;
      }
      if (!indexed || hasIndex) {
        Entry e;
        e.object = &o;
        e.rect = windowBounds(display_, o);
        e.key = hasIndex ? index : e.rect.left / 3 + static_cast<int64_t>(e.rect.top) * 2;
        out.push_back(e);
      }
    }
    if (ops.button) continue;
    if (ops.ownsTimeline && hooks.property(o, InputProperty::TabChildren) == ScriptFlag::False) continue;
    collectFrom(o, hooks, out, indexed, nesting + 1);
  }
}

void KeyboardFocus::collect(InputScriptHooks& hooks, std::vector<Entry>& out) {
  out.clear();
  bool indexed = false;
  collectFrom(display_.root(), hooks, out, indexed, 0);
  std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
  if (indexed)
    for (size_t i = 0; i < out.size(); ++i) out[i].key = static_cast<int64_t>(i);
}

DisplayObject* KeyboardFocus::tabTarget(bool backwards, InputScriptHooks& hooks) {
  std::vector<Entry> list;
  collect(hooks, list);
  if (list.empty()) return nullptr;
  int64_t current = key_;  // kept when the focused object went away
  for (const Entry& e : list)
    if (e.object == focused_) current = e.key;
  const size_t n = list.size();
  size_t chosen = 0;
  if (!backwards) {
    chosen = n;
    for (size_t i = 0; i < n && chosen == n; ++i)
      if (list[i].key > current) chosen = i;
    if (chosen == n) chosen = 0;
    if (list[chosen].object == focused_) chosen = (chosen + 1) % n;
  } else {
    chosen = n;
    for (size_t i = n; i-- > 0 && chosen == n;)
      if (list[i].key < current) chosen = i;
    if (chosen == n) chosen = n - 1;
    if (list[chosen].object == focused_) chosen = (chosen + n - 1) % n;
  }
  return list[chosen].object;
}

DisplayObject* KeyboardFocus::arrowTarget(uint16_t keyCode, InputScriptHooks& hooks) {
  if (!focused_) return nullptr;
  std::vector<Entry> list;
  collect(hooks, list);
  const WindowRect& f = rect_;
  const bool vertical = keyCode == kKeyUp || keyCode == kKeyDown;
  const Entry* best = nullptr;
  bool bestOverlaps = false;
  bool bestTopInside = false;
  double bestDistance = 0;
  for (const Entry& e : list) {
    if (e.object == focused_) continue;
    const WindowRect& c = e.rect;
    bool inDirection = false;
    switch (keyCode) {
      case kKeyUp: inDirection = c.bottom < f.top || c.bottom < f.bottom; break;
      case kKeyDown: inDirection = c.top > f.bottom || c.bottom > f.bottom; break;
      case kKeyRight: inDirection = c.left > f.right || c.right > f.right; break;
      case kKeyLeft: inDirection = c.right < f.left || c.left < f.left; break;
      default: return nullptr;
    }
    if (!inDirection) continue;
    const bool overlaps = vertical ? (c.left < f.right && c.right > f.left) : (c.top < f.bottom && c.bottom > f.top);
    const double gx = static_cast<double>(gap(f.left, f.right, c.left, c.right));
    const double gy = static_cast<double>(gap(f.top, f.bottom, c.top, c.bottom));
    const double distance = std::sqrt(gx * gx + gy * gy);
    const bool topInside = c.top <= f.bottom;
    bool better = false;
    if (!best) {
      better = true;
    } else if (overlaps != bestOverlaps) {
      better = overlaps;
    } else if (keyCode == kKeyDown && !overlaps && topInside != bestTopInside) {
      better = topInside;
    } else {
      better = distance < bestDistance;
    }
    if (better) {
      best = &e;
      bestOverlaps = overlaps;
      bestTopInside = topInside;
      bestDistance = distance;
    }
  }
  return best ? best->object : nullptr;
}

void KeyboardFocus::set(DisplayObject* object) {
  focused_ = object;
  lost_ = false;
  if (!object) {
    rect_ = WindowRect{};
    key_ = -1;
    return;
  }
  rect_ = windowBounds(display_, *object);
  key_ = rect_.left / 3 + static_cast<int64_t>(rect_.top) * 2;
}

}  // namespace kivra
