#include "core/PrivacySettings.h"

#include <algorithm>

#include "core/CorePlayer.h"
#include "core/format/CaseInsensitive.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/LocalConnections.h"
#include "core/script/ScriptEngine.h"
#include "core/script/SharedObjects.h"
#include "core/script/natives/NativeClasses.h"

namespace kivra {

extern const uint8_t kSettingsHostMovie[];
extern const size_t kSettingsHostMovieSize;
extern const uint8_t kSettingsPanelMovie[];
extern const size_t kSettingsPanelMovieSize;

namespace {

// The panel's answer routine: method 1 of the settings natives.
constexpr uint16_t kAlertResponseMethod = 1;

struct Default {
  const char* name;
  enum { Number, Boolean, Text } kind;
  double number;
};
constexpr Default kPlayerDefaults[] = {
    {"gain", Default::Number, 50},           {"echosuppression", Default::Boolean, 0},
    {"defaultmicrophone", Default::Text, 0}, {"defaultcamera", Default::Text, 0},
    {"defaultklimit", Default::Number, 100}, {"defaultalways", Default::Boolean, 0},
};

bool networkUrl(std::string_view url) {
  for (std::string_view scheme : {"http://", "https://", "ftp://", "rtmp://"})
    if (startsWithIgnoringCase(url, scheme)) return true;
  return false;
}

// Kilobytes, rounded up.
double kilobytes(uint64_t bytes) { return static_cast<double>((bytes + 1023) / 1024); }

}  // namespace

std::string PrivacySettings::siteOf(std::string_view movieUrl) {
  return networkUrl(movieUrl) ? localConnectionDomain(movieUrl) : std::string("local");
}

std::string PrivacySettings::currentUrl() const {
  const TimelinePlayer* root = player_.level0();
  return root ? root->url() : std::string();
}

// ---- The settings host ------------------------------------------------------------

ScriptObject* PrivacySettings::host() {
  DisplayObject* level = player_.display().root().childAt(kSettingsHostLevel);
  ScriptEngine& engine = player_.script();
  if (started_) return level ? engine.displayClips().clipObject(level) : nullptr;
  if (failed_ || closing_ || !player_.level0()) return nullptr;
  started_ = true;
  TimelinePlayer& timeline = player_.replaceLevel(kSettingsHostLevel, std::string(kSettingsAddress));
  timeline.countBytesLoaded(static_cast<int64_t>(kSettingsHostMovieSize));
  (void)timeline.feed(kSettingsHostMovie, kSettingsHostMovieSize);
  // Its frame runs now, ahead of whatever else is queued: the caller wants
  // a setting at once, perhaps from inside a script.
  ActionQueue& actions = player_.actions();
  const size_t queued = actions.size(ActionList::Frame);
  timeline.seek(0);
  ActionQueue own;
  actions.moveAfter(ActionList::Frame, queued, own);
  engine.run(own, true);
  level = player_.display().root().childAt(kSettingsHostLevel);
  ScriptObject* root = level ? engine.displayClips().clipObject(level) : nullptr;
  ScriptValue probe;
  if (!root || !engine.getMember(root, "GetSetting", probe, false) || !probe.asObject()) {
    player_.debugLog("The privacy settings could not start\n");
    failed_ = true;
    return nullptr;
  }
  // A permission given without "always" lasts one run of the player.
  const std::string site = siteOf(currentUrl());
  if (!engine.toBoolean(siteSetting(site, "always")))
    setSiteSetting(site, "allow", ScriptValue::boolean(false));
  return root;
}

ScriptValue PrivacySettings::callHost(std::string_view function, const ScriptValue* args, int argc) {
  ScriptObject* root = host();
  if (!root) return ScriptValue();
  ScriptEngine& engine = player_.script();
  const ScriptValue target = ScriptValue::object(root);
  return engine.running() ? engine.callMethod(target, function, args, argc)
                          : engine.callMethodFromOutside(target, function, args, argc);
}

ScriptValue PrivacySettings::siteValue(const std::string& site) { return player_.script().makeString(site); }

void PrivacySettings::writeDefaults(const std::string* site) {
  ScriptEngine& engine = player_.script();
  ScriptValue args[4];
  args[0] = ScriptValue::null();
  args[3] = ScriptValue::boolean(false);
  for (const Default& d : kPlayerDefaults) {
    args[1] = engine.makeString(d.name);
    args[2] = d.kind == Default::Number    ? ScriptValue::number(d.number)
              : d.kind == Default::Boolean ? ScriptValue::boolean(d.number != 0)
                                           : engine.makeString("");
    callHost("SetSetting", args, 4);
  }
  if (!site) return;
  ScriptValue query[] = {ScriptValue::null(), engine.makeString("defaultalways")};
  const ScriptValue always = callHost("GetSetting", query, 2);
  query[1] = engine.makeString("defaultklimit");
  const ScriptValue klimit = callHost("GetSetting", query, 2);
  args[0] = siteValue(*site);
  const std::pair<const char*, ScriptValue> siteDefaults[] = {
      {"allow", ScriptValue::boolean(false)},
      {"always", ScriptValue::boolean(always.isNull() || always.isUndefined() ? false : engine.toBoolean(always))},
      {"klimit", klimit.isNull() || klimit.isUndefined() ? ScriptValue::number(100) : klimit},
  };
  for (const auto& [name, value] : siteDefaults) {
    args[1] = engine.makeString(name);
    args[2] = value;
    callHost("SetSetting", args, 4);
  }
}

ScriptValue PrivacySettings::playerSetting(std::string_view name) {
  writeDefaults(nullptr);
  const ScriptValue args[] = {ScriptValue::null(), player_.script().makeString(name)};
  return callHost("GetSetting", args, 2);
}

ScriptValue PrivacySettings::siteSetting(const std::string& site, std::string_view name) {
  writeDefaults(&site);
  const ScriptValue args[] = {siteValue(site), player_.script().makeString(name)};
  return callHost("GetSetting", args, 2);
}

void PrivacySettings::setPlayerSetting(std::string_view name, const ScriptValue& value) {
  const ScriptValue args[] = {ScriptValue::null(), player_.script().makeString(name), value, ScriptValue::boolean(true)};
  callHost("SetSetting", args, 4);
}

void PrivacySettings::setSiteSetting(const std::string& site, std::string_view name, const ScriptValue& value) {
  const ScriptValue args[] = {siteValue(site), player_.script().makeString(name), value, ScriptValue::boolean(true)};
  callHost("SetSetting", args, 4);
}

void PrivacySettings::commit(const std::string& site) {
  const ScriptValue arg = siteValue(site);
  callHost("Commit", &arg, 1);
}

// ---- Storage limits -----------------------------------------------------------------

bool PrivacySettings::settingsAddress(const std::string& movieUrl) {
  return movieUrl.compare(0, kSettingsAddress.size(), kSettingsAddress) == 0;
}

int64_t PrivacySettings::siteLimit(const std::string& movieUrl) {
  if (settingsAddress(movieUrl)) return kUnlimited;
  const ScriptValue klimit = siteSetting(siteOf(movieUrl), "klimit");
  if (klimit.isUndefined() || klimit.isNull()) return DefaultStorageLimits::kDefaultLimit;
  const double k = player_.script().toNumber(klimit);
  if (!(k > 0)) return k <= -1 ? kNeverAsk : 0;
  // Far beyond any disk: no limit in practice.
  return k >= 1e12 ? int64_t{1} << 62 : static_cast<int64_t>(k) * 1024;
}

bool PrivacySettings::requestStorage(const std::string& movieUrl, uint64_t bytes, uint32_t request) {
  if (closing_) return false;
  Request r{RequestType::Storage, movieUrl};
  r.bytes = bytes;
  r.storageRequest = request;
  queueRequest(std::move(r));
  return true;
}

void PrivacySettings::applyLimit(const std::string& url) {
  const int64_t limit = siteLimit(url);
  if (limit == kUnlimited) return;
  SharedObjectStorage* storage = player_.sharedObjectStorage();
  const std::string folder = sharedObjectSite(url);
  if (!storage || folder.empty()) return;
  const uint64_t used = storage->folderSize(folder);
  if (static_cast<int64_t>(used) <= std::max<int64_t>(limit, 0)) return;
  player_.debugLog("Storage limit lowered below what " + siteOf(url) + " keeps: its shared objects are deleted\n");
  storage->removeStoredObjects(folder);
  player_.script().sharedObjects().siteCleared(folder);
}

// ---- Camera and microphone -------------------------------------------------------------

bool PrivacySettings::muted(const std::string& movieUrl, bool mayAsk) {
  if (privacy_ != PrivacyState::Undecided) return privacy_ != PrivacyState::Allowed;
  ScriptEngine& engine = player_.script();
  const std::string site = siteOf(movieUrl);
  if (engine.toBoolean(siteSetting(site, "always"))) {
    const bool allowed = engine.toBoolean(siteSetting(site, "allow"));
    privacy_ = allowed ? PrivacyState::Allowed : PrivacyState::Denied;
    return !allowed;
  }
  if (mayAsk) {
    privacy_ = PrivacyState::Asking;
    queueRequest(Request{RequestType::Privacy, movieUrl});
  }
  return true;
}

void PrivacySettings::setPrivacy(bool allowed, const std::string& site) {
  setSiteSetting(site, "allow", ScriptValue::boolean(allowed));
  privacy_ = allowed ? PrivacyState::Allowed : PrivacyState::Denied;
  tellSources();
}

namespace {
// Lives in a source's native state: when the object goes, the flag falls.
class SourceToken : public NativeState {
 public:
  ~SourceToken() override { *alive = false; }
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
}  // namespace

bool PrivacySettings::addCaptureSource(ScriptObject& source, const char* className, const std::string& movieUrl) {
  auto token = std::make_unique<SourceToken>();
  sources_.push_back(CaptureSource{&source, token->alive, className});
  source.setNativeState(std::move(token));
  return muted(movieUrl, true);
}

void PrivacySettings::tellSources() {
  std::erase_if(sources_, [](const CaptureSource& s) { return !*s.alive; });
  ScriptEngine& engine = player_.script();
  const bool isMuted = privacy_ != PrivacyState::Allowed;
  // A handler may make or drop sources: walk a copy.
  const std::vector<CaptureSource> sources = sources_;
  for (const CaptureSource& s : sources) {
    if (!*s.alive) continue;
    engine.setMember(s.object, "muted", ScriptValue::boolean(isMuted));
    ScriptObject* info = engine.newObject();
    const ScriptValue infoValue = ScriptValue::object(info);
    engine.setMember(info, "code", engine.makeString(s.className + (isMuted ? ".Muted" : ".Unmuted")));
    engine.setMember(info, "level", engine.makeString("status"));
    const ScriptValue target = ScriptValue::object(s.object);
    if (engine.running()) engine.callMethod(target, "onStatus", &infoValue, 1);
    else engine.callMethodFromOutside(target, "onStatus", &infoValue, 1);
  }
}

// ---- The request queue and the panel -------------------------------------------------------

void PrivacySettings::queueRequest(Request request) {
  if (request.type == RequestType::Privacy) {
    const std::string site = siteOf(request.url);
    for (const Request& r : queue_)
      if (r.type == RequestType::Privacy && siteOf(r.url) == site) return;
  } else if (request.type == RequestType::Settings && !queue_.empty() && queue_.front().type == request.type) {
    return;
  }
  queue_.push_back(std::move(request));
}

void PrivacySettings::showSettings(int tab) {
  if (tab >= 0 && tab <= 3) lastTab_ = tab;
  queueRequest(Request{RequestType::Settings, currentUrl()});
}

bool PrivacySettings::panelShown() const {
  return player_.display().root().childAt(kSettingsPanelLevel) != nullptr;
}

void PrivacySettings::closePanel() {
  player_.input().setModalRoot(nullptr);
  if (panelShown()) player_.unloadLevel(kSettingsPanelLevel);
}

void PrivacySettings::placePanel() {
  DisplayObject* panel = player_.display().root().childAt(kSettingsPanelLevel);
  const TimelinePlayer* root = player_.level0();
  if (!panel || !root) return;
  const RECT& frame = root->movie().frameRect();
  MATRIX m;
  m.tx = frame.xmin + ((frame.xmax - frame.xmin) / 20 - kPanelWidth) / 2 * 20;
  m.ty = frame.ymin + ((frame.ymax - frame.ymin) / 20 - kPanelHeight) / 2 * 20;
  player_.display().setMatrix(*panel, m);
}

void PrivacySettings::refuse(Request& request) {
  request.state = RequestState::Answered;
  switch (request.type) {
    case RequestType::Storage:
      // The limit is as it was: the waiting object hears that it failed.
      player_.script().sharedObjects().storageAnswered(request.storageRequest);
      break;
    case RequestType::Privacy:
      setPrivacy(false, siteOf(request.url));
      break;
    case RequestType::Settings:
      break;
  }
}

void PrivacySettings::showPanel(Request& request) {
  const TimelinePlayer* level0 = player_.level0();
  const RECT frame = level0 ? level0->movie().frameRect() : RECT{};
  if ((frame.xmax - frame.xmin) / 20 < kPanelWidth || (frame.ymax - frame.ymin) / 20 < kPanelHeight) {
    player_.debugLog("Can't display player ui because movie too small or layers are full.\n");
    refuse(request);
    return;
  }
  ScriptEngine& engine = player_.script();
  const std::string site = siteOf(request.url);
  writeDefaults(&site);
  if (!host()) {
    refuse(request);
    return;
  }
  request.state = RequestState::Shown;

  ScriptObject* input = engine.newObject();
  const ScriptValue inputValue = ScriptValue::object(input);
  engine.setMember(input, "domain", engine.makeString(site));
  SharedObjectStorage* storage = player_.sharedObjectStorage();
  const std::string folder = sharedObjectSite(request.url);
  const uint64_t used = storage && !folder.empty() ? storage->folderSize(folder) : 0;
  if (request.type != RequestType::Privacy) engine.setMember(input, "kcurrent", ScriptValue::number(kilobytes(used)));
  if (request.type == RequestType::Storage)
    engine.setMember(input, "krequest", ScriptValue::number(kilobytes(request.bytes)));
  engine.setMember(input, "mode", ScriptValue::number(static_cast<int>(request.type)));

  TimelinePlayer& timeline = player_.replaceLevel(kSettingsPanelLevel, std::string(kSettingsAddress));
  timeline.countBytesLoaded(static_cast<int64_t>(kSettingsPanelMovieSize));
  (void)timeline.feed(kSettingsPanelMovie, kSettingsPanelMovieSize);
  timeline.seek(0);
  DisplayObject* panel = player_.display().root().childAt(kSettingsPanelLevel);
  ScriptObject* root = panel ? engine.displayClips().clipObject(panel) : nullptr;
  if (!root) {
    refuse(request);
    return;
  }
  engine.setMember(root, "AlertResponse", engine.makeNative(kNativeSettings, kAlertResponseMethod, false));
  engine.setMember(root, "inputState", inputValue);
  placePanel();
  // The movie takes no pointer input until the queue is empty.
  player_.input().setModalRoot(panel);
  const int tab = request.type == RequestType::Privacy   ? 0
                  : request.type == RequestType::Storage ? 1
                                                         : lastTab_;
  setPlayerSetting("panel", ScriptValue::number(tab));
}

bool PrivacySettings::processQueue() {
  if (queue_.empty()) return false;
  bool changed = false;
  // Answered requests go, their site's settings written.
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->state != RequestState::Answered) {
      ++it;
      continue;
    }
    commit(siteOf(it->url));
    it = queue_.erase(it);
    changed = true;
  }
  const bool shown = !queue_.empty() && queue_.front().state == RequestState::Shown;
  if (!shown && panelShown()) {
    closePanel();
    changed = true;
  }
  if (queue_.empty() || shown) {
    if (shown) placePanel();
    return changed;
  }
  // Requests the settings now decide end without asking. They leave the
  // queue before anyone hears of them: a handler may queue more.
  std::vector<Request> settled;
  bool denied = false;
  for (auto it = queue_.begin(); it != queue_.end();) {
    bool done = false;
    if (it->type == RequestType::Storage) {
      // Whether the object fits now, its site's other files counted: the
      // requested size alone would let a request through that then fails.
      const int64_t limit = siteLimit(it->url);
      done = limit < 0 || player_.script().sharedObjects().storageFits(it->storageRequest);
    } else if (it->type == RequestType::Privacy) {
      const std::string site = siteOf(it->url);
      ScriptEngine& engine = player_.script();
      if (privacy_ == PrivacyState::Allowed) {
        done = true;
      } else if (engine.toBoolean(siteSetting(site, "always")) && !engine.toBoolean(siteSetting(site, "allow"))) {
        privacy_ = PrivacyState::Denied;
        denied = done = true;
      }
    }
    if (done) {
      settled.push_back(std::move(*it));
      it = queue_.erase(it);
      changed = true;
    } else {
      ++it;
    }
  }
  for (const Request& r : settled)
    if (r.type == RequestType::Storage) player_.script().sharedObjects().storageAnswered(r.storageRequest);
  if (denied) tellSources();
  if (queue_.empty()) return changed;
  showPanel(queue_.front());
  return true;
}

void PrivacySettings::panelAnswer(const ScriptValue& value, ScriptValue& result) {
  ScriptEngine& engine = player_.script();
  result = ScriptValue();
  if (value.isString() && engine.toStdString(value) == "layout") {
    placePanel();
    return;
  }
  if (queue_.empty() || queue_.front().state != RequestState::Shown) return;
  Request& request = queue_.front();
  const std::string site = siteOf(request.url);
  switch (request.type) {
    case RequestType::Privacy:
      setPrivacy(value.isNumber() && engine.toNumber(value) == 1, site);
      request.state = RequestState::Answered;
      return;
    case RequestType::Storage:
      // The panel may have raised the limit: the object tries again.
      request.state = RequestState::Answered;
      engine.sharedObjects().storageAnswered(request.storageRequest);
      return;
    case RequestType::Settings:
      break;
  }
  if (ScriptObject* query = engine.toObject(value)) {
    // No capture devices: the list of microphones is empty.
    if (engine.toStdString(engine.getMember(value, "query")) == "defaultmicrophone")
      engine.setMember(query, "response", ScriptValue::object(engine.newArray()));
    return;
  }
  const std::string answer = engine.toStdString(value);
  if (answer == "ok") {
    request.state = RequestState::Answered;
  } else if (answer == "allow") {
    const bool allowed = engine.toBoolean(siteSetting(site, "allow"));
    privacy_ = allowed ? PrivacyState::Allowed : PrivacyState::Denied;
    tellSources();
  } else if (answer == "klimit") {
    applyLimit(request.url);
  }
}

void PrivacySettings::movieClosed() {
  closing_ = false;
  started_ = false;
  failed_ = false;
  privacy_ = PrivacyState::Undecided;
  queue_.clear();
  sources_.clear();
  player_.input().setModalRoot(nullptr);
}

}  // namespace kivra
