#pragma once
// Requests made by GetURL and GetURL2. They are not carried out while
// scripts run: each is queued with its target worked out and its variables
// attached, and the player works through the queue after the run
// ("asfunction:" calls, browser windows, prints, loads), with the security
// checks and their log lines.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "core/host/UrlStreams.h"
#include "core/script/ScriptValue.h"

namespace kivra {

class DisplayClipBridge;
class PlayerServices;
class ScriptEngine;
class ScriptObject;

// GetURL2 flag bits.
enum UrlRequestFlags : uint8_t {
  kUrlMethodMask = 0x03,  // 0 none, 1 GET, 2 POST
  kUrlLoadTarget = 0x40,  // load into a clip or level
  kUrlLoadVariables = 0x80,
};

struct UrlRequest {
  std::string url;
  std::string target;  // a window name, a level name or a target path
  std::string postData;
  bool hasPost = false;
  uint8_t method = 0;
  uint8_t flags = 0;
  ScriptValue clip;  // the issuing clip (kept while queued)
  int version = 0;
};

class UrlRequests {
 public:
  UrlRequests(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player)
      : engine_(engine), clips_(clips), player_(player) {}

  // GetURL (flags 0) and GetURL2 from the current target `clip`.
  void queue(ScriptObject* clip, std::string_view url, std::string_view target, int flags);
  // Handles every queued request in order; actions a request queued run
  // after it.
  void process();
  bool empty() const { return queue_.empty(); }
  // A request built elsewhere (LoadVars.send).
  void queue(UrlRequest request) { queue_.push_back(std::move(request)); }
  // The data-load rule: a URL a movie not loaded from a file may load data
  // from (its scheme listed, its domain the movie's); a refusal is logged.
  bool dataLoadAllowed(const std::string& url);
  // A URL made absolute against the level-0 movie's URL.
  std::string absoluteUrl(const std::string& url) const;
  // The level-0 movie's URL as a base for relative ones.
  std::string movieUrl() const;
  // The movie drops its requests with it.
  void clear() { queue_.clear(); }

 private:
  void handle(UrlRequest& r);
  void dispatch(UrlRequest& r);
  // A movie into a level, or the level unloaded for an empty URL.
  void dispatchLevel(const UrlRequest& r, int64_t level);
  static UrlStreamRequest streamRequest(const UrlRequest& r, const std::string& absoluteUrl);
  void callAsFunction(UrlRequest& r, std::string_view spec);
  // Whether code of `from`'s movie may load into `to` (the movies match
  // in domain, or both are older than version 6).
  static bool mayReach(ScriptObject& from, ScriptObject& to);

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
  PlayerServices& player_;
  std::deque<UrlRequest> queue_;
};

// "_level" or "_kivra" followed by digits: the level number, else -1.
int64_t levelOfName(std::string_view name);

}  // namespace kivra
