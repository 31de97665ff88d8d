#include "core/script/UrlLoads.h"

#include <algorithm>
#include <cstdint>

#include "core/format/CaseInsensitive.h"
#include "core/format/TextEncoding.h"
#include "core/movie/ClipActions.h"
#include "core/movie/ContentSniffer.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayObject.h"
#include "core/net/UrlVariables.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"
#include "core/script/ScriptObject.h"

namespace kivra {

namespace {

// Received text in a version-6 movie's own form (UTF-8): a byte-order mark
// names UTF-16 (either order) or UTF-8; without one the text is UTF-8.
std::string internalText(std::string bytes) {
  if (bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xEF && static_cast<uint8_t>(bytes[1]) == 0xBB &&
      static_cast<uint8_t>(bytes[2]) == 0xBF)
    return bytes.substr(3);
  if (std::string out; text::utf16WithMarkToUtf8(bytes, out)) return out;
  return bytes;
}

}  // namespace

class UrlLoads::Load : public UrlStreamReceiver {
 public:
  Load(UrlLoads& owner, int version) : owner_(owner), version_(version) {}
  ~Load() override {
    if (id != 0 && !ended_) owner_.player_.cancelUrlStream(id);
  }

  bool streamStarted() override {
    log("MSG_NEW_STREAM");
    return true;
  }
  bool streamFinalUrl(const std::string& url) override {
    log("MSG_CHECK_FINAL_URL");
    // The URL the data came from after redirects must pass the same rule
    // as the request; the request's own query stands in for its query.
    std::string checked = url;
    if (const size_t query = requested.find('?'); query != std::string::npos)
      checked = checked.substr(0, checked.find('?')) + requested.substr(query);
    if (checked.size() >= 6 && equalsIgnoringCase(std::string_view(checked).substr(0, 6), "mhtml:"))
      checked = checked.substr(6, checked.find('!') == std::string::npos ? std::string::npos : checked.find('!') - 6);
    return owner_.clips_.urlRequests().dataLoadAllowed(checked);
  }
  void streamLength(int64_t length) override {
    log("MSG_SET_CONTENT_LENGTH");
    total_ = length;
    if (object && length > 0 && sound)
      object->put("$bytesTotal", ScriptValue::number(static_cast<double>(length)), kDontEnum);
    else if (object && length > 0)
      owner_.engine_.setMember(object, "_bytesTotal", ScriptValue::number(static_cast<double>(length)));
  }
  void streamData(const uint8_t* data, size_t count) override {
    if (done) return;
    log("MSG_WRITE_STREAM");
    if (sound) {
      // MP3 data becomes a movie holding the sound, at the end or (when
      // streaming) while it arrives; anything else is dropped.
      if (!sniffer_)
        sniffer_ = std::make_unique<ContentSniffer>(streaming ? SniffTarget::StreamingSound : SniffTarget::EventSound,
                                                    total_);
      sniffer_->feed(data, count, soundMovie_);
      if (streaming) feedStreamMovie(false);
      loaded_ += static_cast<int64_t>(count);
      object->put("$bytesLoaded", ScriptValue::number(static_cast<double>(loaded_)), kDontEnum);
      if (sniffer_->failed()) {
        if (id) owner_.player_.cancelUrlStream(id);
        ended_ = true;
        complete(false);
      }
      return;
    }
    if (bytes_.size() + count > kMaxTextBytes) {
      // Too much text: the transfer stops and the load fails at once.
      if (id) owner_.player_.cancelUrlStream(id);
      ended_ = true;
      complete(false);
      return;
    }
    bytes_.append(reinterpret_cast<const char*>(data), count);
    if (object) owner_.engine_.setMember(object, "_bytesLoaded", ScriptValue::number(static_cast<double>(bytes_.size())));
  }
  void streamEnded(bool ok) override {
    ended_ = true;
    if (done) return;
    log(ok ? "MSG_CLOSE_STREAM" : "MSG_DESTROY_STREAM");
    complete(ok);
  }

  // What the load feeds.
  std::string requested;  // the URL asked for
  ScriptObject* object = nullptr;
  ScriptValue held;  // keeps `object` alive (counted) while the load lasts
  bool sound = false;      // object is a Sound
  bool streaming = false;  // which plays as soon as it is in
  std::string path;
  int64_t level = -1;
  uint32_t id = 0;
  bool done = false;
  bool busy = false;  // inside its own completion

 private:
  void complete(bool ok) {
    owner_.player_.debugLog("SetDataComplete()\n");
    done = true;
    busy = true;
    if (sound) finishSound(ok);
    else if (object) finishObject(ok);
    else if (ok) finishVariables();
    busy = false;
  }

  void log(const char* message) { owner_.player_.debugLog(streamMessageLine(requested, message)); }

  std::string text() { return version_ >= 6 ? internalText(std::move(bytes_)) : std::move(bytes_); }

  void finishObject(bool ok) {
    ScriptEngine& e = owner_.engine_;
    // A stream that closes without a length has brought all there is.
    if (ok && total_ <= 0)
      e.setMember(object, "_bytesTotal", ScriptValue::number(static_cast<double>(bytes_.size())));
    const ScriptValue value = ok ? e.makeString(text()) : ScriptValue();
    e.callMethodFromOutside(ScriptValue::object(object), "onData", &value, 1);
  }

  void finishSound(bool ok) {
    ScriptEngine& e = owner_.engine_;
    if (ok && sniffer_) sniffer_->finish(soundMovie_);
    uint64_t movie = 0;
    if (streaming) {
      // What arrived plays to its end; a stream cut short plays what came.
      feedStreamMovie(true);
      movie = ok ? streamMovie_ : 0;
    } else {
      movie = ok && !soundMovie_.empty() ? owner_.player_.adoptSoundMovie(soundMovie_, requested) : 0;
      if (movie != 0) object->setNativeState(std::make_unique<LoadedSoundState>(owner_.player_, movie));
    }
    soundMovie_.clear();
    if (movie != 0 && total_ <= 0)
      object->put("$bytesTotal", ScriptValue::number(static_cast<double>(loaded_)), kDontEnum);
    const ScriptValue success = ScriptValue::boolean(movie != 0);
    e.callMethodFromOutside(ScriptValue::object(object), "onLoad", &success, 1);
  }

  // Hands the streaming movie written so far on to its timeline, which the
  // Sound object targets from its first bytes on.
  void feedStreamMovie(bool end) {
    PlayerServices& player = owner_.player_;
    if (streamMovie_ == 0 && !soundMovie_.empty()) {
      streamMovie_ = player.openSoundStreamMovie(requested);
      if (streamMovie_ != 0) object->setNativeState(std::make_unique<LoadedSoundState>(player, streamMovie_));
    }
    if (streamMovie_ != 0 && (!soundMovie_.empty() || end))
      player.feedSoundStreamMovie(streamMovie_, soundMovie_.data(), soundMovie_.size(), end);
    soundMovie_.clear();
  }

  void finishVariables() {
    // The target is found again: it may have gone meanwhile.
    DisplayClipBridge& clips = owner_.clips_;
    ScriptObject* target = nullptr;
    if (!path.empty()) {
      ScriptObject* root = clips.rootClip();
      target = root ? clips.resolvePath(root, path, kPathClipsOnly) : nullptr;
    } else if (DisplayObject* l = clips.level(level)) {
      target = owner_.engine_.toObject(clips.clipValue(l));
    } else if (level > 0 && level <= INT32_MAX) {
      // Variables for a level that does not exist make it, empty.
      DisplayObject* made = owner_.player_.createEmptyLevel(static_cast<int>(level));
      target = made ? owner_.engine_.toObject(clips.clipValue(made)) : nullptr;
    }
    if (!target || !target->isClipObject()) return;
    std::vector<UrlVariable> vars;
    ScriptEngine& e = owner_.engine_;
    decodeUrlVariables(text(), version_, false, e.codePage(), vars);
    for (const UrlVariable& v : vars) e.setMember(target, v.name, e.makeString(v.value));
    if (DisplayObject* d = DisplayClipBridge::displayObject(target)) owner_.player_.display().fireEvent(*d, kClipEventData);
  }

  UrlLoads& owner_;
  int version_;
  std::string bytes_;
  std::unique_ptr<ContentSniffer> sniffer_;  // sound loads
  std::vector<uint8_t> soundMovie_;
  uint64_t streamMovie_ = 0;  // the streaming sound's movie, once begun
  int64_t loaded_ = 0;
  int64_t total_ = -1;
  bool ended_ = false;
};

LoadedSoundState::~LoadedSoundState() { player_.releaseSoundMovie(movie); }

UrlLoads::UrlLoads(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player)
    : engine_(engine), clips_(clips), player_(player) {}

UrlLoads::~UrlLoads() = default;

void UrlLoads::start(std::unique_ptr<Load> load, const UrlStreamRequest& request) {
  sweep();
  load->requested = request.url;
  player_.debugLog("RequestUrl '" + request.url + "'\n");
  load->id = player_.openUrlStream(request, *load);
  if (load->id == 0) return;
  loads_.push_back(std::move(load));
}

void UrlLoads::loadVariables(const UrlStreamRequest& request, const std::string& path, int64_t level, int version) {
  auto load = std::make_unique<Load>(*this, version);
  load->path = path;
  load->level = level;
  start(std::move(load), request);
}

void UrlLoads::stopLoadsOf(ScriptObject& target) {
  for (auto& l : loads_)
    if (l->object == &target && !l->done) {
      l->done = true;
      if (l->id) player_.cancelUrlStream(l->id);
    }
}

bool UrlLoads::loadObject(const UrlStreamRequest& request, ScriptObject& target, int version) {
  // A newer load of the same object replaces the older one.
  stopLoadsOf(target);
  auto load = std::make_unique<Load>(*this, version);
  load->object = &target;
  load->held = ScriptValue::object(&target);
  Load* raw = load.get();
  start(std::move(load), request);
  return std::any_of(loads_.begin(), loads_.end(), [&](const auto& l) { return l.get() == raw; });
}

void UrlLoads::loadSound(const UrlStreamRequest& request, ScriptObject& sound, bool streaming, int version) {
  stopLoadsOf(sound);
  auto load = std::make_unique<Load>(*this, version);
  load->object = &sound;
  load->held = ScriptValue::object(&sound);
  load->sound = true;
  load->streaming = streaming;
  start(std::move(load), request);
}

void UrlLoads::clear() {
  for (auto& l : loads_) {
    if (!l->done && l->id) player_.cancelUrlStream(l->id);
    l->done = true;
  }
  sweep();
}

void UrlLoads::sweep() {
  std::erase_if(loads_, [](const auto& l) { return l->done && !l->busy; });
}

void UrlLoads::collectRoots(std::vector<ScriptObject*>& out) const {
  for (const auto& l : loads_)
    if (l->object && (!l->done || l->busy)) out.push_back(l->object);
}

}  // namespace kivra
