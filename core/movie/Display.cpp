#include "core/movie/Display.h"

#include <algorithm>

#include "core/movie/CharacterKinds.h"
#include "core/movie/EditTextFields.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/Drawing.h"

namespace kivra {

namespace {
DeviceRect toDevice(const RECT& r) { return DeviceRect{r.xmin, r.ymin, r.xmax, r.ymax}; }
}  // namespace

Display::Display(ActionQueue& actions) : actions_(actions) {
  rootCharacter_ = makeLevelCharacter(0xFFFF, nullptr, RECT{});
  root_ = std::make_unique<DisplayObject>(*this, rootCharacter_, 0);
  view_ = ViewTransform::compute(ViewRequest{});
  dirty_.setView(view_.view, view_.aaFactor);
}

Display::~Display() { clear(); }

void Display::clear() {
  parked_.clear();
  while (!root_->children_.empty()) {
    // Last first, one at a time: each destructor reaches back into the display.
    std::unique_ptr<DisplayObject> gone = std::move(root_->children_.back());
    root_->children_.pop_back();
    addDrawnArea(*gone);
    gone.reset();
  }
  tracker_.clear();
  instanceCounter_ = 0;
  changed_ = true;
}

void Display::objectDestroyed(DisplayObject* object) {
  --objectCount_;
  forgetObject(object);
  parked_.erase(std::remove(parked_.begin(), parked_.end(), object), parked_.end());
}

void Display::forgetObject(DisplayObject* object) {
  actions_.forgetClip(object);
  tracker_.objectDestroyed(object);
  for (DisplayObserver* o : observers_) o->displayObjectDestroyed(object);
}

void Display::replaceContent(DisplayObject& clip, std::shared_ptr<Character> character,
                             std::unique_ptr<TimelinePlayer> timeline) {
  invalidate(clip);
  while (!clip.children_.empty()) {
    // Last first, one at a time: each destructor reaches back into the display.
    std::unique_ptr<DisplayObject> gone = std::move(clip.children_.back());
    clip.children_.pop_back();
    addDrawnArea(*gone);
    gone.reset();
  }
  if (clip.drawing_) clip.drawing_.reset();
  forgetObject(&clip);
  clip.character_ = std::move(character);
  clip.ownCharacter_ = false;
  // The old timeline goes here (it lets go of the clip as it does).
  clip.ownedTimeline_ = std::move(timeline);
  clip.timeline_ = clip.ownedTimeline_.get();
  if (clip.timeline_) clip.timeline_->setDisplayObject(&clip);
  changed_ = true;
}

void Display::removeObserver(DisplayObserver* o) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void Display::setMatrixFromScript(DisplayObject& object, const MATRIX& matrix) {
  object.scriptControlled_ = true;
  if (object.matrix_ == matrix) return;
  invalidate(object);
  object.matrix_ = matrix;
}

// ---- Tree edits -------------------------------------------------------------

void Display::insertChild(DisplayObject& parent, std::unique_ptr<DisplayObject> child) {
  auto& list = parent.children_;
  // In front of the first child at the same depth or deeper: of two objects
  // at one depth the newer is drawn below.
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c->depth_ >= child->depth_; });
  child->parent_ = &parent;
  list.insert(at, std::move(child));
}

std::unique_ptr<DisplayObject> Display::detachChild(DisplayObject& parent, DisplayObject* child) {
  auto& list = parent.children_;
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c.get() == child; });
  if (at == list.end()) return nullptr;
  std::unique_ptr<DisplayObject> out = std::move(*at);
  list.erase(at);
  return out;
}

int Display::nesting(const DisplayObject& object) const {
  int n = 0;
  for (const DisplayObject* p = &object; p && p != root_.get(); p = p->parent_) ++n;
  return n;
}

PlaceResult Display::place(DisplayObject& parent, const PlaceInfo& info, DisplayObject** placed) {
  if (placed) *placed = nullptr;
  if (!info.character) return PlaceResult::NoCharacter;
  const DisplayObject* existing = parent.childAt(info.depth);
  if (existing && existing->character_->owner && existing->character_->owner->version() >= 6)
    return PlaceResult::Ignored;
  const CharacterKindOps& ops = kindOps(info.character->kind);
  // Buttons nest too: a button whose state shows itself must end somewhere.
  if ((ops.ownsTimeline || ops.button) && nesting(parent) >= kMaxNesting) return PlaceResult::Ignored;

  // A movie that places without end would take all memory.
  if (objectCount_ >= kMaxObjects) {
    ++objectsRefused_;
    return PlaceResult::Ignored;
  }
  auto object = std::make_unique<DisplayObject>(*this, info.character, info.depth);
  object->matrix_ = info.matrix;
  object->cxform_ = info.cxform;
  object->ratio_ = info.ratio;
  object->clipDepth_ = info.clipDepth;
  object->version_ = info.version;
  if (!info.name.empty() || (info.flags & kPlaceHasName)) {
    object->name_ = info.name;
  } else if (info.version >= ops.autoNamedFrom) {
    object->name_ = "instance" + std::to_string(++instanceCounter_);
  }
  if (info.clipActions && (info.flags & kPlaceHasClipActions))
    object->clipActions_ = ClipActions(info.clipActions, info.clipActionsLength, info.version);

  DisplayObject* obj = object.get();
  insertChild(parent, std::move(object));
  if (placed) *placed = obj;
  if (ops.placed) ops.placed(*this, *obj);

  // Clips placed by version 6 movies get their class applied before their
  // frame actions run.
  if (info.version >= 6 && ops.scriptable && !ops.level) {
    ActionBlock block;
    block.clip = obj;
    block.version = info.version;
    block.construct = true;
    actions_.push(ActionList::Construct, block);
  }
  if (ops.started) ops.started(*this, *obj, info);
  obj->dirty_ = true;
  if (!rewinding_) changed_ = true;
  return PlaceResult::Placed;
}

DisplayObject* Display::move(DisplayObject& parent, const PlaceInfo& info) {
  DisplayObject* obj = parent.childAt(info.depth);
  if (!obj || obj->scriptControlled_) return nullptr;
  invalidate(*obj);
  if ((info.flags & kPlaceHasCharacter) && info.character) {
    // A timeline or a button is never swapped for a character of another kind.
    auto timelineOrButton = [](CharacterKind k) { return kindOps(k).ownsTimeline || kindOps(k).button; };
    const CharacterKind oldKind = obj->character_->kind;
    const CharacterKind newKind = info.character->kind;
    if (oldKind == newKind || (!timelineOrButton(oldKind) && !timelineOrButton(newKind)))
      obj->character_ = info.character;
  }
  if (info.flags & kPlaceHasMatrix) obj->matrix_ = info.matrix;
  if (info.flags & kPlaceHasCxform) obj->cxform_ = info.cxform;
  if (info.flags & kPlaceHasRatio) obj->ratio_ = info.ratio;
  return obj;
}

bool Display::remove(DisplayObject& parent, int32_t depth) {
  DisplayObject* obj = parent.childAt(depth);
  if (!obj) return false;
  retire(parent, detachChild(parent, obj));
  return true;
}

bool Display::fireUnload(DisplayObject& object) {
  bool handler = false;
  if (object.timeline_) {
    handler = object.clipActions_.handles(kClipEventUnload);
    fireEvent(object, kClipEventUnload);
  }
  for (auto& c : object.children_) handler = fireUnload(*c) || handler;
  return handler;
}

void Display::markRemoved(DisplayObject& object) {
  if (object.timeline_) object.timeline_->markRemoved();
  for (auto& c : object.children_) markRemoved(*c);
}

void Display::retire(DisplayObject& parent, std::unique_ptr<DisplayObject> object) {
  if (!object) return;
  if (kindOps(object->kind()).ownsTimeline && fireUnload(*object)) {
    // Kept, answering to no timeline depth, until the unload handlers ran.
    markRemoved(*object);
    object->depth_ = ~object->depth_;
    parked_.push_back(object.get());
    insertChild(parent, std::move(object));
    return;
  }
  addDrawnArea(*object);
  changed_ = true;
  object.reset();
}

void Display::releaseUnloaded() {
  while (!parked_.empty()) {
    DisplayObject* obj = parked_.back();
    parked_.pop_back();
    if (!obj->parent_) continue;
    std::unique_ptr<DisplayObject> gone = detachChild(*obj->parent_, obj);
    if (gone) {
      addDrawnArea(*gone);
      changed_ = true;
    }
  }
}

DisplayObject* Display::placeLevel(TimelinePlayer& timeline, int level, std::shared_ptr<Character> character) {
  if (DisplayObject* existing = root_->childAt(level)) remove(*root_, existing->depth_);
  auto object = std::make_unique<DisplayObject>(*this, std::move(character), level);
  object->timeline_ = &timeline;
  object->version_ = timeline.version();
  DisplayObject* obj = object.get();
  insertChild(*root_, std::move(object));
  timeline.setDisplayObject(obj);
  changed_ = true;
  return obj;
}

std::vector<std::unique_ptr<DisplayObject>> Display::beginRewind(DisplayObject& parent) {
  ++rewinding_;
  std::vector<std::unique_ptr<DisplayObject>> old = std::move(parent.children_);
  parent.children_.clear();
  return old;
}

bool Display::keepOldOnRewind(DisplayObject& old, DisplayObject& fresh) {
  const bool sameShape = old.character_ == fresh.character_ && old.ratio_ == fresh.ratio_ &&
                         old.clipDepth_ == fresh.clipDepth_;
  auto takeTransform = [&] {
    if (old.scriptControlled_) return;
    if (old.matrix_ == fresh.matrix_ && old.cxform_ == fresh.cxform_) return;
    invalidate(old);
    old.matrix_ = fresh.matrix_;
    old.cxform_ = fresh.cxform_;
  };
  const CharacterKindOps& ops = kindOps(old.kind());
  if (sameShape) {
    if (old.matrix_ == fresh.matrix_ && old.cxform_ == fresh.cxform_) return true;
    // A version 6 script object keeps its instance too.
    const bool lasting = ops.ownsTimeline || (old.version_ >= 6 && ops.scriptable && !ops.level);
    if (!lasting) return false;
    takeTransform();
    return true;
  }
  if (ops.ownsTimeline && kindOps(fresh.kind()).ownsTimeline && old.ratio_ == fresh.ratio_) {
    takeTransform();
    return true;
  }
  return false;
}

void Display::endRewind(DisplayObject& parent, std::vector<std::unique_ptr<DisplayObject>> old) {
  if (rewinding_ > 0) --rewinding_;
  std::vector<std::unique_ptr<DisplayObject>> fresh = std::move(parent.children_);
  parent.children_.clear();
  std::vector<std::unique_ptr<DisplayObject>> merged;
  std::vector<std::unique_ptr<DisplayObject>> retired;
  std::vector<std::unique_ptr<DisplayObject>> discarded;
  merged.reserve(old.size() + fresh.size());

  size_t i = 0;
  size_t j = 0;
  while (i < old.size() || j < fresh.size()) {
    if (j == fresh.size() || (i < old.size() && old[i]->depth_ < fresh[j]->depth_)) {
      std::unique_ptr<DisplayObject>& o = old[i++];
      // Timeline depths are the timeline's to rebuild; script depths stay.
      if (o->depth_ >= 0 && o->depth_ <= kMaxTimelineDepth) {
        retired.push_back(std::move(o));
      } else {
        merged.push_back(std::move(o));
      }
    } else if (i == old.size() || fresh[j]->depth_ < old[i]->depth_) {
      merged.push_back(std::move(fresh[j++]));
      changed_ = true;
    } else {
      std::unique_ptr<DisplayObject>& o = old[i++];
      std::unique_ptr<DisplayObject>& n = fresh[j++];
      if (keepOldOnRewind(*o, *n)) {
        tracker_.replaced(n.get(), o.get());
        merged.push_back(std::move(o));
        discarded.push_back(std::move(n));
      } else {
        retired.push_back(std::move(o));
        merged.push_back(std::move(n));
        changed_ = true;
      }
    }
  }
  for (auto& m : merged) m->parent_ = &parent;
  parent.children_ = std::move(merged);
  // The replayed twins of kept objects go without any unload event.
  discarded.clear();
  for (auto& r : retired) retire(parent, std::move(r));
}

bool Display::swapDepths(DisplayObject& object, int32_t depth) {
  DisplayObject* parent = object.parent_;
  if (!parent) return false;
  if (object.depth_ == depth) return true;
  DisplayObject* other = parent->childAt(depth);
  auto& list = parent->children_;
  invalidate(object);
  object.scriptControlled_ = true;
  if (other) {
    invalidate(*other);
    other->scriptControlled_ = true;
    auto a = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c.get() == &object; });
    auto b = std::find_if(list.begin(), list.end(), [&](const auto& c) { return c.get() == other; });
    std::swap(object.depth_, other->depth_);
    std::iter_swap(a, b);
    return true;
  }
  std::unique_ptr<DisplayObject> self = detachChild(*parent, &object);
  self->depth_ = depth;
  insertChild(*parent, std::move(self));
  return true;
}

void Display::setMask(DisplayObject& object, DisplayObject* mask) {
  auto dropMask = [this](DisplayObject& o) {
    if (!o.mask_) return;
    invalidate(*o.mask_);
    invalidate(o);
    o.mask_->maskedClip_ = nullptr;
    o.mask_ = nullptr;
  };
  dropMask(object);
  if (!mask || mask == &object) return;
  if (object.maskedClip_) dropMask(*object.maskedClip_);
  dropMask(*mask);
  if (mask->maskedClip_) dropMask(*mask->maskedClip_);
  object.mask_ = mask;
  mask->maskedClip_ = &object;
  invalidate(object);
  invalidate(*mask);
}

void Display::fireEvent(DisplayObject& object, uint32_t event, uint8_t keyCode) {
  object.clipActions_.fire(event, keyCode, &object, actions_);
  // The script object's method, if it defines one, is the interpreter's to find.
  ActionBlock block;
  block.clip = &object;
  block.version = object.version_;
  block.event = event;
  actions_.push(event == kClipEventInitialize ? ActionList::Init : ActionList::Frame, block);
}

void Display::setMatrix(DisplayObject& object, const MATRIX& m) {
  object.scriptControlled_ = true;
  if (object.matrix_ == m) return;
  invalidate(object);
  object.matrix_ = m;
}

void Display::setCxform(DisplayObject& object, const CXFORM& c) {
  object.scriptControlled_ = true;
  if (object.cxform_ == c) return;
  invalidate(object);
  object.cxform_ = c;
}

void Display::setVisible(DisplayObject& object, bool visible) {
  if (object.visible_ == visible) return;
  invalidate(object);
  object.visible_ = visible;
}

// ---- Timelines ----------------------------------------------------------------

void Display::addTimeline(TimelinePlayer* t) {
  // One created while the list is being walked joins the head afterwards,
  // so it does not advance in the tick that made it.
  if (walkingTimelines_ > 0) {
    addedWhileWalking_.push_back(t);
  } else {
    timelines_.insert(timelines_.begin(), t);
  }
}

void Display::removeTimeline(TimelinePlayer* t) {
  addedWhileWalking_.erase(std::remove(addedWhileWalking_.begin(), addedWhileWalking_.end(), t),
                           addedWhileWalking_.end());
  if (walkingTimelines_ > 0) {
    std::replace(timelines_.begin(), timelines_.end(), t, static_cast<TimelinePlayer*>(nullptr));
  } else {
    timelines_.erase(std::remove(timelines_.begin(), timelines_.end(), t), timelines_.end());
  }
}

void Display::advanceTimelines() {
  ++walkingTimelines_;
  for (size_t i = 0; i < timelines_.size(); ++i)
    if (TimelinePlayer* t = timelines_[i]) t->advance();
  if (--walkingTimelines_ > 0) return;
  timelines_.erase(std::remove(timelines_.begin(), timelines_.end(), nullptr), timelines_.end());
  // The newest created goes first.
  timelines_.insert(timelines_.begin(), addedWhileWalking_.rbegin(), addedWhileWalking_.rend());
  addedWhileWalking_.clear();
}

size_t Display::timelineCount() const {
  return static_cast<size_t>(std::count_if(timelines_.begin(), timelines_.end(), [](auto* t) { return t; })) +
         addedWhileWalking_.size();
}

std::vector<TimelinePlayer*> Display::timelines() const {
  std::vector<TimelinePlayer*> out(addedWhileWalking_.rbegin(), addedWhileWalking_.rend());
  for (TimelinePlayer* t : timelines_)
    if (t) out.push_back(t);
  return out;
}

// ---- Background -----------------------------------------------------------------

void Display::setBackgroundColor(uint32_t argb, int priority) {
  if (priority <= backgroundPriority_) return;
  backgroundPriority_ = priority;
  if (background_ != argb) {
    background_ = argb;
    invalidateAll();
  }
}

void Display::clearBackground() {
  if (backgroundPriority_ > 1) return;
  backgroundPriority_ = 0;
  if (background_ != kDefaultBackground) {
    background_ = kDefaultBackground;
    invalidateAll();
  }
}

// ---- Redraw ---------------------------------------------------------------------

void Display::invalidate(DisplayObject& object) {
  object.dirty_ = true;
  changed_ = true;
}

void Display::invalidateAll() {
  markSubtreeDirty(*root_);
  dirty_.addAll();
  changed_ = true;
}

void Display::markSubtreeDirty(DisplayObject& object) {
  object.dirty_ = true;
  for (auto& c : object.children_) markSubtreeDirty(*c);
}

void Display::addDrawnArea(const DisplayObject& object) {
  if (object.drawn_) dirty_.add(object.deviceBounds_);
  for (const auto& c : object.children_) addDrawnArea(*c);
}

void Display::update() {
  // Fields change by typing, scripts and the caret without telling the
  // display: while any exists every update looks at them.
  if (!changed_ && fields_ == 0) return;
  for (auto& c : root_->children_) updateObject(*c, view_.matrix, false);
  changed_ = false;
}

void Display::updateObject(DisplayObject& object, const MATRIX& parentMatrix, bool ancestorDirty) {
  const MATRIX m = concat(object.matrix_, parentMatrix);
  if (object.editField_ && object.editField_->revision() != object.fieldRevision_) {
    object.fieldRevision_ = object.editField_->revision();
    syncFieldBox(object);
    object.dirty_ = true;
  }
  const bool redo = object.dirty_ || ancestorDirty;
  if (redo) {
    if (object.drawn_) dirty_.add(object.deviceBounds_);
    const Character* c = object.character_.get();
    const Drawing* drawing = object.drawing_.get();
    const bool drawnByScript = drawing && drawing->hasBounds();
    const auto drawnArea = kindOps(c->kind).drawnArea;
    if (drawnArea || drawnByScript) {
      RectUnion area;
      if (drawnArea) area.add(drawnArea(*c));
      if (drawnByScript) area.add(drawing->bounds());
      object.deviceBounds_ = toDevice(transformRect(m, area.rect));
      if (drawnByScript) {
        // Hairlines are widened to a pixel and may stand out of the bounds.
        const int pad = 2 * std::max(1, view_.aaFactor);
        DeviceRect& b = object.deviceBounds_;
        auto out = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
        b = DeviceRect{out(int64_t{b.left} - pad), out(int64_t{b.top} - pad), out(int64_t{b.right} + pad),
                       out(int64_t{b.bottom} + pad)};
      }
      object.drawn_ = true;
      dirty_.add(object.deviceBounds_);
    } else {
      object.drawn_ = false;
    }
    object.dirty_ = false;
  }
  for (auto& c : object.children_) updateObject(*c, m, redo);
}

// ---- View -----------------------------------------------------------------------

bool Display::setView(const ViewRequest& request) {
  const ScaleMode mode = static_cast<ScaleMode>(request.modeAndAlign & 0x0F);
  const RECT& f = request.frame;
  if (mode == ScaleMode::NoScale) {
    stageWidth_ = request.client.right - request.client.left;
    stageHeight_ = request.client.bottom - request.client.top;
  } else {
    stageWidth_ = (f.xmax - f.xmin) / 20;
    stageHeight_ = (f.ymax - f.ymin) / 20;
  }
  const ViewTransform next = ViewTransform::compute(request);
  if (viewSet_ && next == view_) return false;
  viewSet_ = true;
  viewRequest_ = request;
  view_ = next;
  dirty_.setView(view_.view, view_.aaFactor);
  invalidateAll();
  return true;
}

// ---- Walking ----------------------------------------------------------------------

void Display::walk(DisplayVisitor& visitor) const {
  const CXFORM identity;
  for (const auto& c : root_->children_) walkObject(*c, MATRIX{}, view_.matrix, identity, 0, visitor);
}

void Display::walkSubtree(const DisplayObject& object, DisplayVisitor& visitor) const {
  MATRIX matrix;
  MATRIX device = view_.matrix;
  CXFORM cxform;
  // Parents apply outermost last: collect them innermost first.
  std::vector<const DisplayObject*> chain;
  for (const DisplayObject* p = object.parent_; p && p != root_.get(); p = p->parent_) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    matrix = concat((*it)->matrix_, matrix);
    device = concat((*it)->matrix_, device);
    cxform = concat((*it)->cxform_, cxform);
  }
  walkObject(object, matrix, device, cxform, static_cast<int>(chain.size()), visitor);
}

void Display::walkObject(const DisplayObject& object, const MATRIX& parentMatrix, const MATRIX& parentDevice,
                         const CXFORM& parentCxform, int nesting, DisplayVisitor& visitor) const {
  const DisplayWalkItem item{object, nesting, concat(object.matrix_, parentMatrix),
                             concat(object.matrix_, parentDevice), concat(object.cxform_, parentCxform)};
  if (visitor.enter(item)) {
    for (const auto& c : object.children_)
      walkObject(*c, item.matrix, item.deviceMatrix, item.cxform, nesting + 1, visitor);
  }
  visitor.leave(item);
}

}  // namespace kivra
