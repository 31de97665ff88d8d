// Target paths: a clip's own path in dot and slash notation, and the
// resolution of a path from a start object.
#include <string>

#include "core/format/CaseInsensitive.h"
#include "core/script/PlayerServices.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {
constexpr size_t kMaxComponent = 127;
constexpr int kMaxParents = 256;
}  // namespace

bool levelName(std::string_view name, int64_t& number) {
  std::string_view digits;
  if (startsWithIgnoringCase(name, "_level")) digits = name.substr(6);
  else if (startsWithIgnoringCase(name, "_kivra")) digits = name.substr(6);
  else return false;
  if (digits.empty() || digits.size() > 12) return false;
  number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return true;
}

std::string DisplayClipBridge::targetPath(ScriptObject& clip, bool dot) {
  DisplayObject* d = displayObject(&clip);
  if (!d) return dot ? std::string() : std::string();
  std::vector<const DisplayObject*> chain;
  const DisplayObject* root = &player_.display().root();
  const DisplayObject* p = d;
  for (int i = 0; p && p->parent() && p->parent() != root && i < kMaxParents; ++i) {
    chain.push_back(p);
    p = p->parent();
  }
  const int levelNo = p ? p->depth() : 0;
  std::string out;
  if (dot) {
    out = "_level" + std::to_string(levelNo);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      out += '.';
      out += (*it)->name().empty() ? std::string("?") : (*it)->name();
    }
    return out;
  }
  if (levelNo != 0) out = "_level" + std::to_string(levelNo);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    out += '/';
    out += (*it)->name();
  }
  if (out.empty()) out = "/";
  return out;
}

ScriptObject* DisplayClipBridge::resolvePath(ScriptObject* start, std::string_view path, int mode) {
  if (path.empty() || !start) return nullptr;
  const bool v4 = (mode & kPathVersion4) != 0;
  ScriptObject* cur = start;
  size_t i = 0;
  bool dots = !v4;
  bool first = true;
  if (path[0] == '/') {
    // From the root of the level (a start that is not a clip uses level 0).
    DisplayObject* d = displayObject(start);
    DisplayObject* r = d ? levelRoot(*d) : nullptr;
    cur = r ? objectFor(r) : rootClip();
    if (!cur) return nullptr;
    i = 1;
    first = false;
    dots = false;
  }
  std::string comp;
  while (i <= path.size() && cur) {
    // Cut the next component.
    comp.clear();
    bool parentDots = false;
    while (i < path.size()) {
      const char c = path[i];
      if (c == '/') {
        dots = false;
        ++i;
        break;
      }
      if (c == ':' && !v4 && !comp.empty() && !(i + 1 < path.size() && path[i + 1] == '/')) {
        ++i;
        break;
      }
      if (c == '.' && dots) {
        if (comp.empty() && i + 1 < path.size() && path[i + 1] == '.') {
          comp = "..";
          parentDots = true;
          dots = false;
          i += 2;
          if (i < path.size() && (path[i] == '/' || path[i] == '.' || path[i] == ':')) ++i;
          break;
        }
        ++i;
        break;
      }
      if (comp.size() < kMaxComponent) comp += c;
      ++i;
    }
    (void)parentDots;
    if (comp.empty()) {
      if (i >= path.size()) break;
      continue;
    }
    DisplayObject* d = displayObject(cur);
    const bool wasFirst = first;
    first = false;
    if (d) {
      int64_t n;
      if (wasFirst && levelName(comp, n)) {
        if (n >= kReservedLevel) {
          player_.debugLog("SECURITY: access to " + std::string(path) + " denied\n");
          return nullptr;
        }
        DisplayObject* l = level(n);
        if (!l) return nullptr;
        cur = objectFor(l);
        continue;
      }
      if (!v4 && equalsIgnoringCase(comp, "_root")) {
        cur = objectFor(levelRoot(*d));
        continue;
      }
      if (comp == ".." || (!v4 && equalsIgnoringCase(comp, "_parent"))) {
        DisplayObject* p = d->parent();
        if (!p || p == &player_.display().root()) return nullptr;
        cur = objectFor(p);
        continue;
      }
      if (engine_.version() >= 6 && equalsIgnoringCase(comp, "_global")) {
        cur = engine_.global();
        continue;
      }
      if (DisplayObject* child = childByName(*d, comp)) {
        cur = objectFor(child);
        continue;
      }
    }
    if (mode & kPathClipsOnly) return nullptr;
    ScriptValue v;
    if (!engine_.getMember(cur, comp, v)) return nullptr;
    if (ClipReference* r = v.asClip()) {
      cur = r->object();
      if (!cur && !r->path().empty() && r->path() != path) cur = resolvePath(rootClip(), r->path(), 0);
    } else {
      cur = v.asObject();
    }
    if (i >= path.size()) break;
  }
  return cur;
}

}  // namespace kivra
