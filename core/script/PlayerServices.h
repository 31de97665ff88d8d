#pragma once
// What the script engine and its natives use of the player: the display and
// input state they script, level 0, the view settings, the clocks and the
// host's answers. The player implements it; the engine reaches it through
// ScriptEngine::player(). Player thread only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/host/SharedObjectStorage.h"
#include "core/host/UrlStreams.h"
#include "core/script/ScriptValue.h"

#include "core/host/HostInfo.h"
#include "core/input/InputDispatch.h"
#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"
#include "core/sound/SoundInfo.h"
#include "core/sound/SoundMixer.h"
#include "core/sound/SoundTransform.h"
#include "core/view/Quality.h"
#include "core/view/ViewTransform.h"
#include "core/view/ZoomAndPan.h"

namespace kivra {

class InputScriptHooks;
class ScriptObject;
class LocalConnectionBlock;
class SocketConnections;

class PlayerServices {
 public:
  virtual ~PlayerServices() = default;

  // ---- What scripts act on ----------------------------------------------------
  virtual Display& display() = 0;
  virtual InputDispatch& input() = 0;
  // Where the class library answers script-property questions (not owned;
  // null restores the defaults).
  virtual void setInputScriptHooks(InputScriptHooks* hooks) = 0;
  virtual TimelinePlayer* level0() = 0;

  // ---- Sound ---------------------------------------------------------------------
  virtual SoundMixer& mixer() = 0;
  // The sound transform of a clip's timeline, or the player's own (null).
  virtual SoundTransform& soundTransform(const TimelinePlayer* clip) = 0;
  // Starts `sound` with `clip` as start and volume clip; null when refused.
  virtual std::shared_ptr<SoundChannel> startScriptSound(const Character& sound, const SoundInfo& info,
                                                         TimelinePlayer& clip) = 0;

  // ---- Quality, repaint and the view ------------------------------------------
  virtual Quality quality() const = 0;
  virtual void setQuality(Quality q) = 0;
  virtual void setAutoQuality(bool on) = 0;
  // Marks the whole stage for drawing and asks the host to repaint it.
  virtual void redrawAll() = 0;
  // Paints what is dirty now (updateAfterEvent).
  virtual void updateNow() = 0;
  // The view for the current client rectangle.
  virtual const ViewTransform& view() = 0;
  virtual ScaleMode scaleMode() const = 0;
  virtual uint8_t alignment() const = 0;
  // Scale mode (low 4 bits) and alignment flags (ViewAlign) of the view.
  virtual void setScaleMode(uint8_t modeAndAlign) = 0;
  // The movie's wish to show the menus; a change from a script is passed on
  // to the host as "showmenu".
  virtual bool showMenu() const = 0;
  virtual void setShowMenuFromScript(bool show) = 0;

  // ---- Clocks ----------------------------------------------------------------------
  // The host's clock, and its value when the current movie was opened
  // (GetTime counts from it).
  virtual uint32_t milliseconds() = 0;
  virtual uint32_t startTime() const = 0;
  // Real time for the slow-script question.
  virtual uint32_t scriptClock() = 0;
  // A script has run long; true aborts it.
  virtual bool askToAbortSlowScript() = 0;

  // ---- Host services ---------------------------------------------------------------
  virtual void trace(const std::string& line) = 0;
  virtual void debugLog(const std::string& line) = 0;
  virtual HostInfo hostInfo() = 0;
  virtual bool keyIsToggled(int code) = 0;
  virtual int showPointer(bool show) = 0;
  // A "VXCommand:" URL (any letter case) goes to the host with `target` as
  // its argument, and the request ends there. Returns false for any other
  // URL; `handled` tells what the host answered.
  virtual bool routeHostCommandUrl(const std::string& url, const std::string& target, bool* handled) = 0;
  virtual size_t memoryInUse() = 0;
  virtual void scriptOverMemoryBudget(size_t budgetBytes) = 0;
  // Opens a URL in a browser window of that name (post data or null).
  virtual void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
    (void)url, (void)window, (void)postData;
  }
  // URL streams through the host (0: not opened).
  virtual uint32_t openUrlStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) {
    (void)request, (void)receiver;
    return 0;
  }
  virtual void cancelUrlStream(uint32_t id) { (void)id; }
  // TCP connections for XML sockets; null when the host has none.
  virtual SocketConnections* socketConnections() { return nullptr; }
  // Prints the timeline of `clip` (a "Print:" request) with the request's
  // flags; runs to completion before it returns.
  virtual void printClip(DisplayObject& clip, uint8_t flags) { (void)clip, (void)flags; }
  // The memory shared with other players for local connections; null when
  // the host has none.
  virtual LocalConnectionBlock* localConnectionBlock() { return nullptr; }
  // Whether "javascript:"-like URLs may be opened.
  virtual bool scriptUrlsAllowed() { return true; }
  // Movies by URL: into a level (replaced when the stream starts) or a clip
  // (whose content goes at once); unloading a level or a clip's content.
  virtual void loadMovieIntoLevel(int level, const UrlStreamRequest& request) { (void)level, (void)request; }
  virtual void loadMovieIntoClip(DisplayObject& clip, const UrlStreamRequest& request) { (void)clip, (void)request; }
  virtual void unloadLevel(int level) { (void)level; }
  virtual void unloadClip(DisplayObject& clip) { (void)clip; }
  // A sound movie made from loaded data (loadSound): kept by the player
  // until it unloads everything. Returns its id, or 0 when it holds no
  // sound. loadedSound() finds its sound again (null once it is gone).
  virtual uint64_t adoptSoundMovie(const std::vector<uint8_t>& movie, const std::string& url) {
    (void)movie, (void)url;
    return 0;
  }
  virtual std::shared_ptr<Character> loadedSound(uint64_t id) {
    (void)id;
    return nullptr;
  }
  // A streaming sound's movie, fed while its load runs and played as its
  // frames arrive: opened empty (0 when refused), fed, ended; its timeline
  // plays off stage. releaseSoundMovie() lets either kind go.
  virtual uint64_t openSoundStreamMovie(const std::string& url) {
    (void)url;
    return 0;
  }
  virtual void feedSoundStreamMovie(uint64_t id, const uint8_t* data, size_t count, bool end) {
    (void)id, (void)data, (void)count, (void)end;
  }
  virtual TimelinePlayer* soundStreamTimeline(uint64_t id) {
    (void)id;
    return nullptr;
  }
  virtual void releaseSoundMovie(uint64_t id) { (void)id; }
  // A level above 0 with an empty movie of one frame (variables loaded into
  // a level that does not exist make it); null for level 0.
  virtual DisplayObject* createEmptyLevel(int level) {
    (void)level;
    return nullptr;
  }
  // Where local shared objects are kept; null: nowhere (nothing persists).
  virtual SharedObjectStorage* sharedObjectStorage() { return nullptr; }
  // System.showSettings: the settings panel for the movie's site, on tab
  // 0 to 3 (any other number keeps the last tab).
  virtual void showSettings(int tab) { (void)tab; }
  // Whether `root` is the settings panel's movie, and the panel's answer.
  virtual bool settingsPanel(const TimelinePlayer& root) {
    (void)root;
    return false;
  }
  virtual void settingsPanelAnswer(const ScriptValue& value, ScriptValue& result) { (void)value, (void)result; }
  // A camera or microphone source (`className` "Camera" or "Microphone")
  // of the movie at `movieUrl`: whether it is muted now. The player tells
  // it of later changes through its onStatus.
  virtual bool captureSourceMuted(ScriptObject& source, const char* className, const std::string& movieUrl) {
    (void)source, (void)className, (void)movieUrl;
    return true;
  }
};

}  // namespace kivra
