#include "core/script/UrlRequests.h"

#include <vector>

#include "core/format/CaseInsensitive.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/TimelinePlayer.h"
#include "core/net/UrlRecord.h"
#include "core/net/UrlVariables.h"
#include "core/print/PrintFlags.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"
#include "core/script/ScriptObject.h"

namespace kivra {

namespace {

bool isPrintUrl(std::string_view url) {
  return startsWithIgnoringCase(url, "Print:") || startsWithIgnoringCase(url, "PrintAsBitmap:");
}

// A scheme that ends in "script" ("javascript:", "vbscript:").
bool isScriptUrl(std::string_view url) {
  const size_t colon = url.find(':');
  return colon != std::string_view::npos && colon >= 6 && equalsIgnoringCase(url.substr(colon - 6, 6), "script");
}

// "mailto:" after leading spaces.
bool isMailto(std::string_view url) {
  while (!url.empty() && url[0] == ' ') url.remove_prefix(1);
  return startsWithIgnoringCase(url, "mailto:");
}

}  // namespace

int64_t levelOfName(std::string_view name) {
  std::string_view digits;
  if (startsWithIgnoringCase(name, "_level")) digits = name.substr(6);
  else if (startsWithIgnoringCase(name, "_kivra")) digits = name.substr(6);
  else return -1;
  if (digits.empty() || digits.size() > 10) return -1;
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

void UrlRequests::queue(ScriptObject* clip, std::string_view url, std::string_view target, int flags) {
  UrlRequest r;
  r.url = std::string(url);
  r.target = std::string(target);
  r.method = static_cast<uint8_t>(flags & kUrlMethodMask);
  r.flags = static_cast<uint8_t>(flags & (kUrlLoadTarget | kUrlLoadVariables));
  r.version = engine_.version();
  if (clip) r.clip = clips_.clipValue(DisplayClipBridge::displayObject(clip));
  // Print requests name the clip to print by its slash path.
  if (isPrintUrl(url)) {
    ScriptObject* c = clip ? clips_.resolvePath(clip, target, 0) : nullptr;
    if (c && c->isClipObject()) r.target = clips_.targetPath(*c, false);
  }
  if (r.flags & kUrlLoadTarget) {
    if (levelOfName(r.target) >= 0) {
      r.flags &= ~kUrlLoadTarget;
    } else if (r.target == "/") {
      // The root of the issuing clip's level.
      DisplayObject* d = clip ? DisplayClipBridge::displayObject(clip) : nullptr;
      const int level = d ? clips_.levelNumber(*d) : 0;
      r.target = level >= 1 ? "_level" + std::to_string(level) : "_level0";
      r.flags &= ~kUrlLoadTarget;
    } else {
      ScriptObject* c = clip ? clips_.resolvePath(clip, r.target, 0) : nullptr;
      if (!c || !c->isClipObject()) return;
      r.target = clips_.targetPath(*c, false);
      if (r.target == "/") {
        r.target = "_level0";
        r.flags &= ~kUrlLoadTarget;
      } else if (levelOfName(r.target) >= 0) {
        r.flags &= ~kUrlLoadTarget;
      }
    }
  }
  // GET and POST send the target clip's variables.
  if (r.method != 0 && clip) {
    std::vector<UrlVariable> vars;
    for (Property* p = clip->firstProperty(); p; p = p->next) {
      if (p->name.empty() || p->name[0] == '$' || (p->flags & kDontEnum) || p->accessor) continue;
      if (p->value.isUndefined() || p->value.isObject() || p->value.isClip()) continue;
      vars.push_back(UrlVariable{p->name, engine_.toStdString(p->value)});
    }
    ScriptValue system, useCodepage;
    const bool codePage = engine_.getMember(engine_.global(), "System", system, false) && system.isObject() &&
                          engine_.getMember(system.asObject(), "useCodepage", useCodepage, false) &&
                          engine_.toBoolean(useCodepage);
    if (r.method == 1) {
      appendUrlVariables(r.url, vars, r.version, codePage, engine_.codePage());
    } else {
      r.postData = encodeUrlVariables(vars, r.version, codePage, engine_.codePage());
      r.hasPost = true;
    }
  }
  if (isMailto(r.url)) {
    r.postData.clear();
    r.hasPost = false;
  }
  // Nothing loads into a clip of a movie of another domain.
  if ((r.flags & (kUrlLoadVariables | kUrlLoadTarget)) && !r.target.empty() && clip &&
      levelOfName(r.target) < 0) {
    ScriptObject* c = clips_.resolvePath(clip, r.target, kPathClipsOnly);
    if (c && c->isClipObject() && !mayReach(*clip, *c)) return;
  }
  queue_.push_back(std::move(r));
}

namespace {

// The movie a display object came from.
const TimelinePlayer* movieOf(const DisplayObject* d) {
  for (; d; d = d->parent())
    if (d->timeline()) return &d->timeline()->root();
  return nullptr;
}

}  // namespace

bool UrlRequests::mayReach(ScriptObject& from, ScriptObject& to) {
  const TimelinePlayer* a = movieOf(DisplayClipBridge::displayObject(&from));
  const TimelinePlayer* b = movieOf(DisplayClipBridge::displayObject(&to));
  if (!a || !b || a == b) return true;
  if (a->version() <= 5 && b->version() <= 5) return true;
  // A movie from a local file runs without a domain of its own.
  if (!isDataLoadScheme(a->url())) return true;
  return sameDomain(a->url(), b->url());
}

void UrlRequests::process() {
  std::deque<UrlRequest> work;
  work.swap(queue_);
  while (!work.empty()) {
    UrlRequest r = std::move(work.front());
    work.pop_front();
    handle(r);
  }
}

std::string UrlRequests::movieUrl() const {
  TimelinePlayer* root = player_.level0();
  if (!root) return std::string();
  const std::string& url = root->url();
  // A local path stands for its file URL.
  if (!hasScheme(url) && !url.empty() && url[0] == '/') return pathToFileUrl(url);
  return url;
}

void UrlRequests::handle(UrlRequest& r) {
  if (startsWithIgnoringCase(r.url, "asfunction:")) {
    callAsFunction(r, std::string_view(r.url).substr(11));
    return;
  }
  if ((r.flags & kUrlLoadVariables) && !dataLoadAllowed(r.url)) return;
  dispatch(r);
}

std::string UrlRequests::absoluteUrl(const std::string& url) const {
  return hasScheme(url) ? url : resolveUrl(movieUrl(), url, true);
}

bool UrlRequests::dataLoadAllowed(const std::string& url) {
  const std::string base = movieUrl();
  std::string absolute;
  if (dataLoadPermitted(base, url, absolute)) return true;
  player_.debugLog("[security] Blocking insecure request for " + absolute + " requested by " + base + "\n");
  return false;
}

void UrlRequests::callAsFunction(UrlRequest& r, std::string_view spec) {
  ScriptObject* clip = engine_.toObject(r.clip);
  if (!clip) return;
  const size_t comma = spec.find(',');
  const std::string_view name = spec.substr(0, comma);
  // The name may carry a path to the clip that holds the function.
  ScriptObject* holder = clip;
  std::string_view member = name;
  if (const size_t cut = name.find_last_of(":."); cut != std::string_view::npos) {
    holder = clips_.resolvePath(clip, name.substr(0, cut), 0);
    member = name.substr(cut + 1);
  }
  ScriptValue fn;
  if (!holder || !engine_.getMember(holder, member, fn) || !fn.isObject()) return;
  ScriptValue arg;
  int argc = 0;
  if (comma != std::string_view::npos) {
    arg = engine_.makeString(std::string(spec.substr(comma + 1)));
    argc = 1;
  }
  engine_.callFromOutside(fn, ScriptValue::object(holder), &arg, argc);
}

void UrlRequests::dispatch(UrlRequest& r) {
  player_.debugLog("GetURL '" + r.url + "'\n");
  if (const uint8_t printFlags = printFlagsOfUrl(r.url)) {
    // The target names the clip or level to print; none: level 0.
    DisplayObject* clip = nullptr;
    if (const int64_t level = r.target.empty() ? 0 : levelOfName(r.target); level >= 0) {
      clip = clips_.level(level);
    } else if (ScriptObject* root = clips_.rootClip()) {
      clip = DisplayClipBridge::displayObject(clips_.resolvePath(root, r.target, kPathClipsOnly));
    }
    if (clip) player_.printClip(*clip, printFlags);
    player_.debugLog("CoreVXCommand handled it\n");
    return;
  }
  bool handled = false;
  if (player_.routeHostCommandUrl(r.url, r.target, &handled)) {
    if (handled) player_.debugLog("PlatformVXCommand handled it\n");
    return;
  }
  const int64_t level = levelOfName(r.target);
  const bool clipTarget = level < 0 && (r.flags & kUrlLoadTarget);
  if (level < 0 && !clipTarget) {
    // A browser window named by the target.
    if (isScriptUrl(r.url)) {
      if (!player_.scriptUrlsAllowed()) {
        player_.debugLog("[Security] Script URL halted: " + r.url + "\n");
        return;
      }
      player_.debugLog("[Security] Script URL permitted: " + r.url + "\n");
    }
    player_.openInBrowser(absoluteUrl(r.url), r.target, r.hasPost ? &r.postData : nullptr);
    return;
  }
  const bool variables = r.flags & kUrlLoadVariables;
  DisplayObject* clip = nullptr;
  if (clipTarget) {
    ScriptObject* root = clips_.rootClip();
    clip = DisplayClipBridge::displayObject(root ? clips_.resolvePath(root, r.target, kPathClipsOnly) : nullptr);
    if (!clip) return;
    if (!variables) {
      // A movie's own root is its level: loading into it replaces the level.
      if (clip->parent() == &player_.display().root()) {
        dispatchLevel(r, clip->depth());
        return;
      }
      if (r.url.empty()) {
        player_.unloadClip(*clip);
        return;
      }
    }
  }
  if (!clipTarget && !variables) {
    dispatchLevel(r, level);
    return;
  }
  const std::string absolute = absoluteUrl(r.url);
  player_.debugLog("LoadFile " + absolute + "\n");
  const UrlStreamRequest stream = streamRequest(r, absolute);
  if (!variables)
    player_.loadMovieIntoClip(*clip, stream);
  else
    clips_.urlLoads().loadVariables(stream, clipTarget ? r.target : std::string(), level, r.version);
}

void UrlRequests::dispatchLevel(const UrlRequest& r, int64_t level) {
  // The levels from here up are the player's own.
  if (level < 0 || level >= kReservedLevel) return;
  if (r.url.empty()) {
    player_.unloadLevel(static_cast<int>(level));
    return;
  }
  const std::string absolute = absoluteUrl(r.url);
  player_.debugLog("LoadFile " + absolute + "\n");
  player_.loadMovieIntoLevel(static_cast<int>(level), streamRequest(r, absolute));
}

UrlStreamRequest UrlRequests::streamRequest(const UrlRequest& r, const std::string& absoluteUrl) {
  UrlStreamRequest stream;
  stream.url = absoluteUrl;
  stream.post = r.hasPost;
  stream.postData = r.postData;
  return stream;
}

}  // namespace kivra
