#include "core/script/RootClipBridge.h"

#include "core/CorePlayer.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/TagCodes.h"
#include "core/movie/TagCursor.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

RootClipBridge::~RootClipBridge() { resetRoot(); }

void RootClipBridge::resetRoot() {
  if (!root_) return;
  root_->detachClip("_level0");
  root_->setClassTag(ClassTag::Object);  // an ordinary object now: the heap frees it
  root_ = nullptr;
}

ScriptObject* RootClipBridge::clipObject(DisplayObject* clip) {
  // Only the level-0 root has a script object here; blocks of other clips
  // wait for the clips' own bridge.
  const TimelinePlayer* t = player_.level0();
  if (clip && (!t || clip != t->displayObject())) return nullptr;
  if (!root_) {
    root_ = engine_.heap().create(ClassTag::Clip);
    root_->clipReference();
  }
  return root_;
}

int RootClipBridge::clipVersion(ScriptObject&) {
  const TimelinePlayer* t = player_.level0();
  return t ? t->version() : 6;
}

void RootClipBridge::nextFrame(ScriptObject&) {
  if (TimelinePlayer* t = player_.level0()) {
    t->seek(t->currentFrame() + 1);
    t->stop();
  }
}

void RootClipBridge::previousFrame(ScriptObject&) {
  if (TimelinePlayer* t = player_.level0()) {
    if (t->currentFrame() > 0) t->seek(t->currentFrame() - 1);
    t->stop();
  }
}

void RootClipBridge::play(ScriptObject&) {
  if (TimelinePlayer* t = player_.level0()) t->play(false);
}

void RootClipBridge::stop(ScriptObject&) {
  if (TimelinePlayer* t = player_.level0()) t->stop();
}

void RootClipBridge::gotoFrame(ScriptObject&, int frame, bool play) {
  TimelinePlayer* t = player_.level0();
  if (!t) return;
  if (frame >= t->frameCount()) frame = t->frameCount() - 1;
  if (frame < 0) frame = 0;
  t->seek(frame);
  if (play) t->play(false);
  else t->stop();
}

namespace {
// Walks the root's tags; calls f(tag, frame) for every tag until f says stop.
template <typename F>
void scanTags(const TimelinePlayer& t, F&& f) {
  const MovieBuffer& m = t.movie();
  if (!m.headerParsed()) return;
  TagCursor c(m.data(), m.received(), m.version());
  c.setSizeLimit(m.fileLength());
  c.setPosition(m.firstTagPosition());
  int frame = 0;
  for (int guard = 0; guard < 1000000; ++guard) {
    TagHeader tag;
    if (c.readTagHeader(tag) != TagRead::Tag) return;
    if (tag.code == static_cast<uint16_t>(TagCode::End)) return;
    c.setReadEnd(tag.end);
    const bool goOn = f(c, tag, frame);
    c.clearReadEnd();
    c.setPosition(tag.end);
    if (!goOn) return;
    if (tag.code == static_cast<uint16_t>(TagCode::ShowFrame)) ++frame;
  }
}
}  // namespace

int RootClipBridge::frameOfLabel(ScriptObject&, std::string_view label) {
  const TimelinePlayer* t = player_.level0();
  int found = -1;
  if (!t) return found;
  scanTags(*t, [&](TagCursor& c, const TagHeader& tag, int frame) {
    if (tag.code == static_cast<uint16_t>(TagCode::FrameLabel) && equalsIgnoringCase(c.readString(), label)) {
      found = frame;
      return false;
    }
    return true;
  });
  return found;
}

void RootClipBridge::frameActions(ScriptObject&, int wanted, std::vector<ActionBlock>& out) {
  const TimelinePlayer* t = player_.level0();
  if (!t) return;
  const int version = t->version();
  scanTags(*t, [&](TagCursor& c, const TagHeader& tag, int frame) {
    if (frame > wanted) return false;
    if (frame == wanted && tag.code == static_cast<uint16_t>(TagCode::DoAction) && c.current())
      out.push_back(ActionBlock{c.current(), static_cast<size_t>(tag.length), nullptr, version, 0});
    return true;
  });
}

int RootClipBridge::framesLoaded(ScriptObject&) {
  const TimelinePlayer* t = player_.level0();
  if (!t) return 0;
  return t->movie().complete() ? t->frameCount() : t->movie().framesLoaded();
}

int RootClipBridge::frameCount(ScriptObject&) {
  const TimelinePlayer* t = player_.level0();
  return t ? t->frameCount() : 0;
}

ScriptObject* RootClipBridge::resolvePath(ScriptObject* start, std::string_view path, int mode) {
  if (path.empty()) return nullptr;
  ScriptObject* cur = start;
  size_t i = 0;
  if (path[0] == '/') {
    cur = rootClip();
    i = 1;
  }
  const bool dots = !(mode & kPathVersion4) && path.find('/') == std::string_view::npos;
  while (i < path.size() && cur) {
    size_t e = i;
    while (e < path.size() && path[e] != '/' && !(dots && path[e] == '.') &&
           !(path[e] == ':' && !(mode & kPathVersion4)))
      ++e;
    const std::string_view part = path.substr(i, e - i);
    i = e + 1;
    if (part.empty()) continue;
    if (equalsIgnoringCase(part, "_root") || equalsIgnoringCase(part, "_level0") ||
        equalsIgnoringCase(part, "_kivra0")) {
      cur = rootClip();
    } else if (part == ".." || equalsIgnoringCase(part, "_parent")) {
      return nullptr;  // the root has no parent
    } else if (equalsIgnoringCase(part, "_global")) {
      cur = engine_.global();
    } else if (mode & kPathClipsOnly) {
      return nullptr;
    } else {
      ScriptValue v;
      if (!engine_.getMember(cur, part, v)) return nullptr;
      cur = engine_.toObject(v);
    }
  }
  return cur;
}

std::string RootClipBridge::targetPath(ScriptObject&, bool dot) { return dot ? "_level0" : "/"; }

bool RootClipBridge::clipMember(ScriptObject& clip, std::string_view name, ScriptValue& out) {
  if (name.empty() || name[0] != '_') return false;
  if (equalsIgnoringCase(name, "_root") || equalsIgnoringCase(name, "_level0")) {
    out = ScriptValue::clip(rootClip()->clipReference());
    return true;
  }
  if (equalsIgnoringCase(name, "_global") && engine_.version() >= 6) {
    out = ScriptValue::object(engine_.global());
    return true;
  }
  static constexpr const char* kNames[] = {"_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes",
                                           "_alpha", "_visible", "_width", "_height", "_rotation", "_target",
                                           "_framesloaded", "_name"};
  for (int i = 0; i < static_cast<int>(std::size(kNames)); ++i)
    if (equalsIgnoringCase(name, kNames[i])) {
      out = getProperty(clip, i);
      return true;
    }
  return false;
}

ScriptValue RootClipBridge::getProperty(ScriptObject& clip, int index) {
  const TimelinePlayer* t = player_.level0();
  switch (index) {
    case 0:
    case 1:
    case 10:
      return ScriptValue::number(0);
    case 2:
    case 3:
    case 6:
      return ScriptValue::number(100);
    case 4:
      return ScriptValue::number(t ? t->currentFrame() + 1 : 0);
    case 5:
      return ScriptValue::number(frameCount(clip));
    case 7:
      return ScriptValue::boolean(true);
    case 11:
      return engine_.makeString("/");
    case 12:
      return ScriptValue::number(framesLoaded(clip));
    case 13:
      return engine_.makeString("");
    case 14:
      return engine_.makeString(t && t->displayObject() ? t->displayObject()->dropTarget() : std::string());
    default:
      return ScriptValue();
  }
}

void RootClipBridge::startDrag(ScriptObject&, bool lockCenter, const double* bounds) {
  const TimelinePlayer* t = player_.level0();
  if (t && t->displayObject()) player_.input().startDrag(*t->displayObject(), lockCenter, bounds);
}

void RootClipBridge::endDrag() { player_.input().stopDrag(); }

void RootClipBridge::toggleQuality() {
  player_.setQuality(player_.quality() == Quality::Low ? Quality::High : Quality::Low);
  player_.setAutoQuality(false);
}

void RootClipBridge::collectRoots(std::vector<ScriptObject*>& out) {
  if (root_) out.push_back(root_);
}

}  // namespace kivra
