#include "core/input/DisplayHitTest.h"

#include "core/movie/ButtonRecords.h"
#include "core/movie/CharacterKinds.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "core/movie/TimelinePlayer.h"
#include "core/view/ViewTransform.h"

namespace kivra {

// One search: the point, the policy and what it found so far.
struct DisplayHitTest::Walk {
  int64_t x;
  int64_t y;
  HitTestPolicy* policy;  // null: any clip with a shape under the point
  const DisplayObject* exclude;
  const DisplayObject* found;
};

MATRIX DisplayHitTest::deviceMatrix(const Display& display, const DisplayObject& object) {
  MATRIX m = object.matrix();
  for (const DisplayObject* p = object.parent(); p && p != &display.root(); p = p->parent())
    m = concat(m, p->matrix());
  return concat(m, display.view().matrix);
}

bool DisplayHitTest::buttonHit(const DisplayObject& button, const MATRIX& device, int64_t x, int64_t y) {
  const Character* c = button.character();
  if (!c || !c->owner) return false;
  bool hit = false;
  ButtonRecords(*c).forEachRecord([&](const ButtonRecord& r) {
    if (hit || !(r.states & kButtonHitTest)) return;
    const std::shared_ptr<Character> shown = c->owner->dictionary().lookup(r.characterId);
    if (!shown || shown.get() == c) return;
    const MATRIX m = concat(r.matrix, device);
    const CharacterKindOps& ops = kindOps(shown->kind);
    if (ops.hitTest) hit = ops.hitTest(*shown, m, 0, x, y, outlines_);
    else if (ops.ownStream) hit = spriteRecordHit(*shown, m, x, y, 0);
  });
  return hit;
}

// A sprite used as a hit-test record is never placed: the shapes its first
// frame places are tested where they would stand.
bool DisplayHitTest::spriteRecordHit(const Character& sprite, const MATRIX& device, int64_t x, int64_t y,
                                     int nesting) {
  if (!sprite.data || !sprite.owner || nesting > Display::kMaxNesting) return false;
  const int64_t length = static_cast<int64_t>(sprite.dataLength);
  TagCursor cur(sprite.data, length, sprite.owner->version());
  cur.setSizeLimit(length);
  TagHeader tag;
  while (cur.readTagHeader(tag) == TagRead::Tag) {
    const auto code = static_cast<TagCode>(tag.code);
    if (code == TagCode::End || code == TagCode::ShowFrame) break;
    if (code == TagCode::PlaceObject || code == TagCode::PlaceObject2) {
      cur.setReadEnd(tag.end);
      uint16_t id = 0;
      MATRIX m;
      if (code == TagCode::PlaceObject) {
        id = cur.readU16();
        cur.readU16();
        m = cur.readMatrix();
      } else {
        const uint8_t flags = cur.readU8();
        cur.readU16();
        if (flags & kPlaceHasCharacter) id = cur.readU16();
        if (flags & kPlaceHasMatrix) m = cur.readMatrix();
        if (flags & kPlaceMove) id = 0;
      }
      cur.clearReadEnd();
      const std::shared_ptr<Character> c = id && !cur.overrun() ? sprite.owner->dictionary().lookup(id) : nullptr;
      const MATRIX placed = concat(m, device);
      const CharacterKindOps* ops = c ? &kindOps(c->kind) : nullptr;
      if (ops && ops->hitByOutline && ops->hitTest(*c, placed, 0, x, y, outlines_)) return true;
      if (ops && ops->ownStream && c.get() != &sprite && spriteRecordHit(*c, placed, x, y, nesting + 1)) return true;
    }
    cur.setPosition(tag.end);
  }
  return false;
}

bool DisplayHitTest::subtreeHit(const DisplayObject& object, const MATRIX& device, int64_t x, int64_t y,
                                int nesting) {
  if (nesting > Display::kMaxNesting + 2 || object.clipDepth() != 0) return false;
  const Character* c = object.character();
  if (c && kindOps(c->kind).hitTest) return kindOps(c->kind).hitTest(*c, device, object.ratio(), x, y, outlines_);
  if (const Drawing* d = object.drawing(); d && outlines_.coversDrawing(*d, device, x, y)) return true;
  for (const auto& child : object.children())
    if (child->visible() && child.get() != skip_ && subtreeHit(*child, concat(child->matrix(), device), x, y, nesting + 1)) return true;
  return false;
}

bool DisplayHitTest::objectHit(const Display& display, const DisplayObject& object, int64_t x, int64_t y) {
  outlines_.setFactor(display.aaFactor());
  const MATRIX device = deviceMatrix(display, object);
  if (kindOps(object.kind()).button) return buttonHit(object, device, x, y);
  return subtreeHit(object, device, x, y, 0);
}

void DisplayHitTest::search(const DisplayObject& parent, const MATRIX& parentDevice, Walk& walk, int nesting) {
  if (nesting > Display::kMaxNesting + 2) return;
  int32_t skipThrough = INT32_MIN;  // siblings up to this depth lie under a mask that missed
  bool masked = false;
  for (const auto& child : parent.children()) {
    const DisplayObject& o = *child;
    if (masked && o.depth() > skipThrough) masked = false;
    if (masked) continue;
    const MATRIX device = concat(o.matrix(), parentDevice);
    if (o.clipDepth() != 0) {
      // The masked group is searched only where the mask covers the point.
      const Character* c = o.character();
      bool inside = false;
      if (c && kindOps(c->kind).hitByOutline) {
        inside = kindOps(c->kind).hitTest(*c, device, o.ratio(), walk.x, walk.y, outlines_);
      } else {
        if (const Drawing* d = o.drawing(); d && outlines_.coversDrawing(*d, device, walk.x, walk.y)) inside = true;
        for (const auto& part : o.children())
          if (subtreeHit(*part, concat(part->matrix(), device), walk.x, walk.y, nesting + 1)) inside = true;
      }
      if (!inside) {
        masked = true;
        skipThrough = o.clipDepth();
      }
      continue;
    }
    if (&o == walk.exclude || !o.visible()) continue;  // hidden objects take no input
    const CharacterKindOps& ops = kindOps(o.kind());
    if (walk.policy) {
      if (ops.button) {
        if (buttonHit(o, device, walk.x, walk.y)) walk.found = &o;
        continue;  // the records shown are not searched
      }
      if (ops.ownsTimeline) {
        if (walk.policy->actsAsButton(o)) {
          const DisplayObject* area = walk.policy->hitArea(o);
          bool hit = false;
          if (area) {
            const MATRIX areaDevice = deviceMatrix(o.display(), *area);
            hit = subtreeHit(*area, areaDevice, walk.x, walk.y, 0);
          } else {
            hit = subtreeHit(o, device, walk.x, walk.y, nesting);
          }
          if (hit) walk.found = &o;
        }
      }
    } else if (ops.ownsTimeline || ops.level) {
      if (subtreeHit(o, device, walk.x, walk.y, nesting)) walk.found = &o;
    }
    if (ops.ownsTimeline || ops.level || ops.button) search(o, device, walk, nesting + 1);
  }
}

DisplayObject* DisplayHitTest::interactiveAt(const Display& display, int64_t x, int64_t y, HitTestPolicy& policy) {
  const DeviceRect& v = display.view().view;
  if (x < v.left || x >= v.right || y < v.top || y >= v.bottom) return nullptr;
  outlines_.setFactor(display.aaFactor());
  Walk walk{x, y, &policy, nullptr, nullptr};
  search(display.root(), display.view().matrix, walk, 0);
  return const_cast<DisplayObject*>(walk.found);
}

const DisplayObject* DisplayHitTest::clipAt(const Display& display, int64_t x, int64_t y,
                                            const DisplayObject* exclude) {
  outlines_.setFactor(display.aaFactor());
  Walk walk{x, y, nullptr, exclude, nullptr};
  skip_ = exclude;  // not even as a part of its parent
  search(display.root(), display.view().matrix, walk, 0);
  skip_ = nullptr;
  return walk.found;
}

}  // namespace kivra
