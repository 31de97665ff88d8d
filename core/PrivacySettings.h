#pragma once
// The privacy settings store of one player: per-user settings and per-site
// decisions (storage limit, camera and microphone permission) kept in
// shared objects by a small embedded movie, the settings host, which runs
// in a hidden level with the settings address as its URL. Native code
// reads and writes settings by calling the host's script functions.
//
// When the user must decide, a request is queued; once a frame the queue
// is processed and the first waiting request is shown in the settings
// panel, a second embedded movie in another hidden level, which answers
// through its root's `AlertResponse`.
//
// Both movies live with the player's movie: they go when it is unloaded,
// and a new movie starts the host again (and the privacy state at
// undecided). Player thread only.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/script/ScriptValue.h"
#include "core/script/StorageLimits.h"

namespace kivra {

class CorePlayer;
class ScriptObject;

// The settings address: both embedded movies run with it as their URL
// (".invalid" never resolves, so no movie can come from it).
constexpr std::string_view kSettingsAddress = "http://settings.kivra-player.invalid/support/kivraplayer/sys/";
// The hidden levels of the settings host and of the panel.
constexpr int kSettingsHostLevel = 0x7EFFFFFF;
constexpr int kSettingsPanelLevel = 0x7EFFFFFE;
// The panel's size in pixels; a smaller stage refuses every request.
constexpr int kPanelWidth = 215;
constexpr int kPanelHeight = 138;

enum class PrivacyState : uint8_t { Undecided = 0, Asking = 1, Denied = 2, Allowed = 3 };

class PrivacySettings : public StorageLimits {
 public:
  enum class RequestType : uint8_t { Settings = 0, Storage = 1, Privacy = 2 };

  explicit PrivacySettings(CorePlayer& player) : player_(player) {}
  PrivacySettings(const PrivacySettings&) = delete;
  PrivacySettings& operator=(const PrivacySettings&) = delete;

  // ---- Storage limits for shared objects ------------------------------------
  int64_t siteLimit(const std::string& movieUrl) override;
  bool requestStorage(const std::string& movieUrl, uint64_t bytes, uint32_t request) override;
  bool settingsAddress(const std::string& movieUrl) override;

  // ---- Settings (undefined when the host cannot run) ---------------------------
  ScriptValue playerSetting(std::string_view name);
  ScriptValue siteSetting(const std::string& site, std::string_view name);
  void setPlayerSetting(std::string_view name, const ScriptValue& value);
  void setSiteSetting(const std::string& site, std::string_view name, const ScriptValue& value);
  void commit(const std::string& site);

  // The site of a movie URL: its domain, or "local" for a local movie.
  static std::string siteOf(std::string_view movieUrl);

  // ---- Camera and microphone ---------------------------------------------------
  // Whether a source of the movie at `movieUrl` is muted now; with
  // `mayAsk`, an undecided player asks the user.
  bool muted(const std::string& movieUrl, bool mayAsk);
  PrivacyState privacyState() const { return privacy_; }
  // A new camera or microphone object: whether it is muted now (asking
  // the user when undecided). It hears of every later change while it
  // lives; the store does not keep it alive.
  bool addCaptureSource(ScriptObject& source, const char* className, const std::string& movieUrl);

  // ---- Requests and the panel ---------------------------------------------------
  // System.showSettings(tab): 0 to 3 chooses the tab, anything else keeps
  // the last one.
  void showSettings(int tab);
  // Once a frame. True when scripts were queued or run (the panel started,
  // a request ended).
  bool processQueue();
  // The panel's AlertResponse(value); `result` is what the call returns.
  void panelAnswer(const ScriptValue& value, ScriptValue& result);
  bool panelShown() const;
  size_t queuedRequests() const { return queue_.size(); }

  // ---- Life with the movie --------------------------------------------------------
  // The movie is being unloaded: settings are still read (shared objects
  // are written against their limits) but the host is not started again.
  void movieClosing() { closing_ = true; }
  // The levels are gone: everything starts afresh with the next movie.
  void movieClosed();

 private:
  enum class RequestState : uint8_t { Waiting = 0, Shown = 1, Answered = 2 };
  struct Request {
    RequestType type;
    std::string url;
    RequestState state = RequestState::Waiting;
    uint64_t bytes = 0;         // a storage request's size
    uint32_t storageRequest = 0;  // and the number its object waits under
  };

  // The host's root, started on first use; null when it cannot run.
  ScriptObject* host();
  ScriptValue callHost(std::string_view function, const ScriptValue* args, int argc);
  ScriptValue siteValue(const std::string& site);
  void writeDefaults(const std::string* site);
  std::string currentUrl() const;
  void queueRequest(Request request);
  void showPanel(Request& request);
  // Refuses a request that cannot be shown.
  void refuse(Request& request);
  void closePanel();
  void placePanel();
  // The site's stored objects go when its new limit is below their size.
  void applyLimit(const std::string& url);
  void setPrivacy(bool allowed, const std::string& site);
  // The privacy state changed: every live source is told.
  void tellSources();

  struct CaptureSource {
    ScriptObject* object;
    std::shared_ptr<bool> alive;  // false once the object is gone
    std::string className;
  };

  CorePlayer& player_;
  bool started_ = false;
  bool failed_ = false;
  bool closing_ = false;
  PrivacyState privacy_ = PrivacyState::Undecided;
  int lastTab_ = 0;
  std::deque<Request> queue_;
  std::vector<CaptureSource> sources_;
};

}  // namespace kivra
