#include "core/script/DisplayClipBridge.h"

#include <cmath>

#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/format/CaseInsensitive.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "core/view/ViewTransform.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"
#include "core/text/EditField.h"

namespace kivra {

bool isScriptableKind(CharacterKind kind) { return kindOps(kind).scriptable; }

DisplayClipBridge::DisplayClipBridge(PlayerServices& player, ScriptEngine& engine)
    : player_(player), engine_(engine), inputHooks_(engine, *this) {
  player_.display().addObserver(this);
  player_.setInputScriptHooks(&inputHooks_);
}

DisplayClipBridge::~DisplayClipBridge() {
  player_.setInputScriptHooks(nullptr);
  player_.display().removeObserver(this);
  movieUnloaded();
}

void DisplayClipBridge::movieUnloaded() {
  requests_.clear();
  loads_.clear();
  remoting_.clear();
  sockets_.clear();
  localConnections_.clear();
  for (auto& [object, entry] : entries_) {
    if (!entry.object) continue;
    entry.object->detachClip(std::string());
    entry.object->setClassTag(ClassTag::Object);  // an ordinary object now: the heap frees it
  }
  entries_.clear();
  if (stage_) {
    stage_->detachClip(std::string());
    stage_->setClassTag(ClassTag::Object);
    stage_ = nullptr;
  }
}

void DisplayClipBridge::displayObjectDestroyed(DisplayObject* object) {
  auto it = entries_.find(object);
  if (it == entries_.end()) return;
  ScriptObject* o = it->second.object;
  if (!o) {
    entries_.erase(it);
    return;
  }
  std::string path = targetPath(*o, true);
  entries_.erase(it);
  o->detachClip(std::move(path));
  o->setClassTag(ClassTag::Object);
}

DisplayObject* DisplayClipBridge::displayObject(ScriptObject* clip) {
  return clip && clip->isClipObject() ? clip->clip() : nullptr;
}

ScriptObject* DisplayClipBridge::objectFor(DisplayObject* object) {
  if (!object || object == &player_.display().root() || !isScriptableKind(object->kind())) return nullptr;
  auto it = entries_.find(object);
  if (it != entries_.end() && it->second.object) return it->second.object;
  ScriptObject* o = engine_.heap().create(ClassTag::Clip);
  o->setClip(object);
  o->clipReference();
  entries_[object].object = o;
  return o;
}

ScriptObject* DisplayClipBridge::existingObject(const DisplayObject& object) const {
  auto it = entries_.find(&object);
  return it == entries_.end() ? nullptr : it->second.object;
}

ScriptFlag DisplayClipBridge::focusRectFlag(const DisplayObject& object) const {
  if (object.version() >= 6 && !kindOps(object.kind()).button) {
    auto it = entries_.find(&object);
    if (it != entries_.end() && it->second.focusRectSet)
      return it->second.focusRect ? ScriptFlag::True : ScriptFlag::False;
  }
  return focusRect_ ? ScriptFlag::True : ScriptFlag::False;
}

ScriptValue DisplayClipBridge::clipValue(DisplayObject* object) {
  ScriptObject* o = objectFor(object);
  return o ? ScriptValue::clip(o->clipReference()) : ScriptValue();
}

ScriptObject* DisplayClipBridge::clipObject(DisplayObject* clip) {
  if (!clip) return rootClip();
  return objectFor(clip);
}

ScriptObject* DisplayClipBridge::rootClip() {
  const TimelinePlayer* t = player_.level0();
  if (ScriptObject* o = t ? objectFor(t->displayObject()) : nullptr) return o;
  // No level 0 on the stage: blocks run by the player itself get a clip
  // object that stands for the empty stage.
  if (!stage_) {
    stage_ = engine_.heap().create(ClassTag::Clip);
    stage_->clipReference();
  }
  return stage_;
}

int DisplayClipBridge::clipVersion(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  if (d && d->timeline()) return d->timeline()->version();
  return d ? d->version() : 6;
}

DisplayObject* DisplayClipBridge::levelRoot(DisplayObject& object) const {
  DisplayObject* root = &player_.display().root();
  DisplayObject* d = &object;
  for (int i = 0; i < 256 && d->parent() && d->parent() != root; ++i) d = d->parent();
  return d->parent() == root ? d : nullptr;
}

DisplayObject* DisplayClipBridge::level(int64_t number) const {
  if (number < 0 || number > INT32_MAX) return nullptr;
  DisplayObject* d = player_.display().root().childAt(static_cast<int32_t>(number));
  return d && kindOps(d->kind()).level ? d : nullptr;
}

int DisplayClipBridge::levelNumber(DisplayObject& object) const {
  DisplayObject* r = levelRoot(object);
  return r ? r->depth() : 0;
}

DisplayObject* DisplayClipBridge::childByName(DisplayObject& parent, std::string_view name) const {
  for (const auto& c : parent.children())
    if (c->depth() >= 0 && isScriptableKind(c->kind()) && equalsIgnoringCase(c->name(), name)) return c.get();
  return nullptr;
}

// ---- Frame control ------------------------------------------------------------

void DisplayClipBridge::nextFrame(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  if (!t) return;
  if (t->currentFrame() + 1 < t->frameCount()) t->seek(t->currentFrame() + 1);
  t->stop();
}

void DisplayClipBridge::previousFrame(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  if (!t) return;
  if (t->currentFrame() > 0) t->seek(t->currentFrame() - 1);
  t->stop();
}

void DisplayClipBridge::play(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  if (TimelinePlayer* t = d ? d->timeline() : nullptr) t->play(false);
}

void DisplayClipBridge::stop(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  if (TimelinePlayer* t = d ? d->timeline() : nullptr) t->stop();
}

void DisplayClipBridge::gotoFrame(ScriptObject& clip, int frame, bool play) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  if (!t) return;
  if (frame >= t->frameCount()) frame = t->frameCount() - 1;
  if (frame < 0) frame = 0;
  if (frame != t->currentFrame()) t->seek(frame);
  if (play) t->play(false);
  else t->stop();
}

int DisplayClipBridge::frameOfLabel(ScriptObject& clip, std::string_view label) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  return t ? t->findFrameLabel(std::string(label)) : -1;
}

int DisplayClipBridge::framesLoaded(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  if (!t) return 0;
  if (!t->isRoot()) return t->frameCount();
  const int loaded = t->movie().complete() ? t->frameCount() : t->movie().framesLoaded();
  return loaded < t->frameCount() ? loaded : t->frameCount();
}

int DisplayClipBridge::frameCount(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  return t ? t->frameCount() : 0;
}

void DisplayClipBridge::frameActions(ScriptObject& clip, int wanted, std::vector<ActionBlock>& out) {
  DisplayObject* d = displayObject(&clip);
  TimelinePlayer* t = d ? d->timeline() : nullptr;
  if (!t) return;
  const MovieBuffer& m = t->movie();
  if (!m.headerParsed()) return;
  // The tag stream of the timeline: the movie's, or the sprite's body.
  const uint8_t* start = m.data() + m.firstTagPosition();
  int64_t end = m.received();
  if (!t->isRoot()) {
    const Character* c = d->character();
    if (!c || !c->data) return;
    start = c->data;
    end = (c->data - m.data()) + static_cast<int64_t>(c->dataLength);
  }
  TagCursor cur(m.data(), end, m.version());
  cur.setSizeLimit(end);
  cur.setPosition(start - m.data());
  int frame = 0;
  for (int guard = 0; guard < 1000000 && frame <= wanted; ++guard) {
    TagHeader tag;
    if (cur.readTagHeader(tag) != TagRead::Tag || tag.code == static_cast<uint16_t>(TagCode::End)) return;
    if (frame == wanted && tag.code == static_cast<uint16_t>(TagCode::DoAction) && tag.length > 0)
      out.push_back(ActionBlock{m.data() + tag.bodyStart, static_cast<size_t>(tag.length), d, m.version(), 0, false});
    if (tag.code == static_cast<uint16_t>(TagCode::ShowFrame)) ++frame;
    cur.setPosition(tag.end);
  }
}

// ---- Clip names ------------------------------------------------------------------

bool DisplayClipBridge::clipMember(ScriptObject& clip, std::string_view name, ScriptValue& out) {
  DisplayObject* d = displayObject(&clip);
  if (!d || name.empty()) return false;
  if (name[0] == '_') {
    if (equalsIgnoringCase(name, "_parent")) {
      DisplayObject* p = d->parent();
      if (!p || p == &player_.display().root()) return false;
      out = clipValue(p);
      return true;
    }
    if (equalsIgnoringCase(name, "_root")) {
      out = clipValue(levelRoot(*d));
      return true;
    }
    if (equalsIgnoringCase(name, "_global")) {
      if (engine_.version() < 6) return false;
      out = ScriptValue::object(engine_.global());
      return true;
    }
    int64_t n;
    if (levelName(name, n)) {
      DisplayObject* l = level(n);
      if (!l) return false;
      out = clipValue(l);
      return true;
    }
  }
  if (DisplayObject* child = childByName(*d, name)) {
    out = clipValue(child);
    return true;
  }
  const int index = propertyIndex(name);
  if (index < 0) return false;
  out = getProperty(clip, index);
  return true;
}

bool DisplayClipBridge::setClipMember(ScriptObject& clip, std::string_view name, const ScriptValue& value) {
  if (!displayObject(&clip) || name.empty() || name[0] != '_') return false;
  const int index = propertyIndex(name);
  if (index < 0) return false;
  setProperty(clip, index, value);
  return true;
}

bool DisplayClipBridge::fieldScroll(ScriptObject& holder, std::string_view name, bool max, ScriptValue& out) {
  DisplayObject* f = bindings_.fieldOf(player_.display(), holder, name);
  if (!f) return false;
  EditField& field = *f->editField();
  out = ScriptValue::number((max ? field.maxScroll() : field.scroll()) + 1);
  return true;
}

bool DisplayClipBridge::setFieldScroll(ScriptObject& holder, std::string_view name, const ScriptValue& line) {
  DisplayObject* f = bindings_.fieldOf(player_.display(), holder, name);
  if (!f) return false;
  f->editField()->setScroll(toInteger32(engine_.toNumber(line)) - 1);
  return true;
}

void DisplayClipBridge::childNames(ScriptObject& clip, std::vector<std::string>& out) {
  DisplayObject* d = displayObject(&clip);
  if (!d) return;
  for (const auto& c : d->children())
    if (c->depth() >= 0 && isScriptableKind(c->kind()) && !c->name().empty()) out.push_back(c->name());
}

bool DisplayClipBridge::isButtonOrText(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  return d && kindOps(d->kind()).plainScriptObject;
}

bool DisplayClipBridge::markConstructed(DisplayObject& object) {
  Entry& e = entries_[&object];
  if (e.constructed) return false;
  e.constructed = true;
  return true;
}

// ---- Clip actions -------------------------------------------------------------------

DisplayObject* DisplayClipBridge::placeScriptClip(DisplayObject& parent, std::shared_ptr<Character> character,
                                                  std::string_view name, int32_t depth, const MATRIX& matrix,
                                                  const CXFORM& cxform, ScriptObject* init) {
  Display& display = player_.display();
  if (parent.childAt(depth)) display.remove(parent, depth);
  PlaceInfo info;
  info.flags = kPlaceHasCharacter | kPlaceHasMatrix | kPlaceHasCxform | kPlaceHasName;
  info.character = std::move(character);
  info.depth = depth;
  info.matrix = matrix;
  info.cxform = cxform;
  info.name = std::string(name);
  info.version = engine_.version();
  DisplayObject* placed = nullptr;
  if (display.place(parent, info, &placed) != PlaceResult::Placed || !placed) return nullptr;
  placed->setScriptControlled(true);
  ScriptObject* clip = objectFor(placed);
  if (init) applyInit(clip, init);
  // A clip made by a script gets its class at once, so that the script
  // that made it can use it; its queued construction then does nothing.
  if (clip && info.version >= 6) engine_.constructClip(clip, info.version);
  return placed;
}

void DisplayClipBridge::applyInit(ScriptObject* clip, ScriptObject* init) {
  if (!clip || !init) return;
  std::vector<std::string> names;
  engine_.enumerate(init, names);
  for (const std::string& n : names) {
    ScriptValue v;
    engine_.getMember(init, n, v);
    if (!setClipMember(*clip, n, v)) engine_.setMember(clip, n, v);
  }
}

void DisplayClipBridge::cloneSprite(ScriptObject& source, std::string_view name, int depth) {
  DisplayObject* d = displayObject(&source);
  if (!d || !d->parent() || !kindOps(d->kind()).ownStream) return;
  placeScriptClip(*d->parent(), d->sharedCharacter(), name, depth, d->matrix(), d->cxform(), nullptr);
}

void DisplayClipBridge::removeClip(DisplayObject& object) {
  DisplayObject* parent = object.parent();
  if (!parent) return;
  player_.display().remove(*parent, object.depth());
}

void DisplayClipBridge::removeSprite(ScriptObject& clip) {
  DisplayObject* d = displayObject(&clip);
  if (!d || d->depth() < kScriptDepthBase || d->depth() >= 1064960) return;
  removeClip(*d);
}

void DisplayClipBridge::startDrag(ScriptObject& clip, bool lockCenter, const double* bounds) {
  if (DisplayObject* d = displayObject(&clip)) player_.input().startDrag(*d, lockCenter, bounds);
}

void DisplayClipBridge::endDrag() { player_.input().stopDrag(); }

void DisplayClipBridge::stopSounds() { player_.mixer().stopAll(); }

void DisplayClipBridge::toggleQuality() {
  player_.setQuality(player_.quality() == Quality::Low ? Quality::High : Quality::Low);
  player_.setAutoQuality(false);
  player_.redrawAll();
}

void DisplayClipBridge::getUrl(ScriptObject* target, std::string_view url, std::string_view window, int flags) {
  // Host commands never get here (the interpreter routes them at once).
  requests_.queue(target, url, window, flags);
}

void DisplayClipBridge::collectRoots(std::vector<ScriptObject*>& out) {
  for (auto& [object, entry] : entries_)
    if (entry.object) out.push_back(entry.object);
  if (stage_) out.push_back(stage_);
  loads_.collectRoots(out);
  remoting_.collectRoots(out);
  sockets_.collectRoots(out);
  // Stopped channels let their objects go; playing ones keep them.
  std::erase_if(sounds_, [](const auto& s) { return s.first->done && !s.first->completionPending; });
  for (auto& [channel, object] : sounds_) out.push_back(object.asObject());
}

void DisplayClipBridge::soundStarted(std::shared_ptr<SoundChannel> channel, ScriptObject& object) {
  // One channel an object: the newest is the one its position follows.
  std::erase_if(sounds_, [&](const auto& s) {
    return s.second.asObject() == &object && s.first->done && !s.first->completionPending;
  });
  channel->scriptObject = true;
  sounds_.emplace_back(std::move(channel), ScriptValue::object(&object));
}

void DisplayClipBridge::soundsCompleted(const std::vector<std::shared_ptr<SoundChannel>>& done) {
  for (const auto& channel : done) {
    ScriptValue held;  // keeps the object past its entry
    ScriptObject* object = nullptr;
    for (auto it = sounds_.begin(); it != sounds_.end(); ++it) {
      if (it->first != channel) continue;
      held = it->second;
      object = held.asObject();
      channel->completionPending = false;
      // The position stays where the sound ended.
      const double ms = std::round(static_cast<double>(channel->objectPosition) * 1000 / 44100);
      object->put("$soundPosition", ScriptValue::number(ms), kDontEnum);
      sounds_.erase(it);
      break;
    }
    if (object) engine_.callMethodFromOutside(ScriptValue::object(object), "onSoundComplete", nullptr, 0);
  }
}

int64_t DisplayClipBridge::soundPosition(const ScriptObject& object) {
  for (auto it = sounds_.rbegin(); it != sounds_.rend(); ++it)
    if (it->second.asObject() == &object) return static_cast<int64_t>(it->first->objectPosition);
  return -1;
}

}  // namespace kivra
