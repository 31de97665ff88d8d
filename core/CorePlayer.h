#pragma once
// The player core: the levels and their timelines, the off-screen bitmap and
// the frame step. It knows nothing of windows or devices: what it needs of
// them it asks of the Host it is given, which must outlive it. It is the
// context of its timelines, of input dispatch and of the script engine.
//
// Threading: every member is called on the host's main thread. Host
// operations are called back synchronously from inside core calls.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/view/Quality.h"
#include "core/view/ZoomAndPan.h"
#include "core/movie/Display.h"
#include "core/movie/TimelineContext.h"
#include "core/input/InputContext.h"
#include "core/input/InputDispatch.h"
#include "core/input/KeyEvent.h"
#include "core/input/TextEditing.h"
#include "core/host/Host.h"
#include "core/format/Records.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/RenderTarget.h"
#include "core/movie/DisplayPainter.h"
#include "core/render/Renderer.h"
#include "core/movie/ActionQueue.h"
#include "core/print/PrintContext.h"
#include "core/script/PlayerServices.h"
#include "core/sound/SoundMixer.h"

namespace kivra {

class MovieLoads;
class PrivacySettings;
class ScriptEngine;

class CorePlayer : public TimelineContext,
                   public InputContext,
                   public PlayerServices,
                   public ButtonSoundSink,
                   public SoundTransformSource,
                   public PrintContext {
 public:
  explicit CorePlayer(const Host& host);
  ~CorePlayer() override;
  CorePlayer(const CorePlayer&) = delete;
  CorePlayer& operator=(const CorePlayer&) = delete;

  // The services of the host this player was given.
  const Host& host() const { return host_; }

  // ---- Host commands from scripts ------------------------------------------
  bool routeHostCommandUrl(const std::string& url, const std::string& target,
                           bool* handled = nullptr) override;
  // The movie's wish to show the menus (menu bar and full context menu).
  bool showMenu() const override { return showMenu_; }
  void setShowMenu(bool show) { showMenu_ = show; }
  void setShowMenuFromScript(bool show) override;
  // Starts the script engine's random generator from `seed` instead of the
  // clock, so that a run can be repeated.
  void seedRandom(uint32_t seed);

  // ---- The host's services as scripts reach them ------------------------------
  void trace(const std::string& line) override { host_.debug.trace(line); }
  void debugLog(const std::string& line) override { host_.debug.debugLog(line); }
  void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) override;
  void loadMovieIntoLevel(int level, const UrlStreamRequest& request) override;
  void loadMovieIntoClip(DisplayObject& clip, const UrlStreamRequest& request) override;
  void unloadLevel(int level) override;
  void unloadClip(DisplayObject& clip) override;
  DisplayObject* createEmptyLevel(int level) override;
  uint64_t adoptSoundMovie(const std::vector<uint8_t>& movie, const std::string& url) override;
  std::shared_ptr<Character> loadedSound(uint64_t id) override;
  uint64_t openSoundStreamMovie(const std::string& url) override;
  void feedSoundStreamMovie(uint64_t id, const uint8_t* data, size_t count, bool end) override;
  TimelinePlayer* soundStreamTimeline(uint64_t id) override;
  void releaseSoundMovie(uint64_t id) override;
  // A new, empty root for level `level`, replacing what was there; level 0
  // replaces the whole movie as openMovie does.
  TimelinePlayer& replaceLevel(int level, const std::string& url);
  uint32_t openUrlStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) override {
    return host_.urls.openStream(request, receiver);
  }
  void cancelUrlStream(uint32_t id) override { host_.urls.cancelStream(id); }
  // Where XML sockets connect; null: they never connect. The host's, and
  // it must outlive the player.
  void setSocketConnections(SocketConnections* sockets) { sockets_ = sockets; }
  SocketConnections* socketConnections() override { return sockets_; }
  // What local connections share with other players; null: they all
  // fail. The host's, and it must outlive the player.
  void setLocalConnectionBlock(LocalConnectionBlock* block) { localConnectionBlock_ = block; }
  LocalConnectionBlock* localConnectionBlock() override { return localConnectionBlock_; }
  FontSource* deviceFonts() override { return &host_.fonts; }
  const CodePage& codePage() const override;
  HostInfo hostInfo() override { return host_.info.hostInfo(); }
  bool keyIsToggled(int code) override { return host_.input.keyIsToggled(code); }
  int showPointer(bool show) override { return host_.input.showPointer(show); }
  uint32_t milliseconds() override { return host_.clock.milliseconds(); }
  Clipboard* clipboard() override { return &host_.clipboard; }
  uint32_t scriptClock() override { return host_.clock.scriptClock(); }
  bool askToAbortSlowScript() override { return host_.slowScript.askToAbortSlowScript(); }
  size_t memoryInUse() override { return host_.memory.memoryInUse(); }
  // Past the budget the pixels of bitmaps not in use go too (they are
  // decoded again when drawn).
  void scriptOverMemoryBudget(size_t budgetBytes) override {
    releaseUnlockedBitmaps();
    host_.memory.scriptOverMemoryBudget(budgetBytes);
  }
  // Frees the pixels of every bitmap no build holds locked; returns the
  // bytes freed.
  size_t releaseUnlockedBitmaps();
  void updateNow() override { host_.window.updateNow(); }
  // What a movie may hold beyond what the player held when it was opened:
  // past it, the running script is aborted. 0: no budget.
  void setMemoryBudget(size_t bytes);

  // ---- Movie loading ----------------------------------------------------
  // Unloads everything and starts a new level-0 movie; feed its bytes next.
  void openMovie(const std::string& url);
  // Appends bytes to the level-0 movie.
  void feedMovie(const uint8_t* data, size_t count);
  // Unloads every level and stops the timer.
  void unloadAll();
  TimelinePlayer* level0() override { return level0_.get(); }
  const TimelinePlayer* level0() const { return level0_.get(); }
  // Where ImportAssets gets its library movies; null: they never arrive.
  // The loader is the host's and must outlive the player's movies.
  void setLibraryLoader(LibraryLoader* loader) { libraryLoader_ = loader; }
  size_t libraryCount() const { return libraries_.size(); }
  // Where local shared objects are kept (the host's; it must outlive the
  // player). Null: nothing persists.
  void setSharedObjectStorage(SharedObjectStorage* storage) { sharedObjectStorage_ = storage; }
  SharedObjectStorage* sharedObjectStorage() override { return sharedObjectStorage_; }
  bool hasMovie() const { return hasMovie_; }
  // The level-0 movie's header is parsed and its status is good.
  bool movieReady() const override;
  uint32_t framePeriod() const { return framePeriod_; }

  // ---- Frame step ------------------------------------------------------
  // One tick of the player; timer-driven when it comes from the frame timer.
  void frameStep(bool timerDriven);
  // A movie asked to quit (or turned out corrupt): quit at the next step.
  void requestQuit() { quitRequested_ = true; }
  bool quitRequested() const { return quitRequested_; }
  // Steps that advanced frames since the movie started (tests and hosts).
  uint64_t framesAdvanced() const { return framesAdvanced_; }

  // ---- Input from the host (pixels of the client area) ------------------
  void mouseMove(int x, int y);
  void mouseDown();
  void mouseUp();
  void mouseLeft();
  void keyDown(const KeyEvent& key);
  void keyUp(const KeyEvent& key);
  void typedCharacter(uint32_t character);
  void focusChanged(bool focused);
  // Another window took the mouse capture while a button was held.
  void captureLost();
  // The cursor the pointer should show now (the host's set-cursor request).
  CursorKind cursorKind();

  // ---- Input state, drags and keyboard focus -------------------------------
  // Buttons, clip events, listener events, drags, key state and focus.
  InputDispatch& input() override { return *input_; }
  // Where the class library answers script-property questions and takes
  // listener events, and where button sounds start (not owned; null
  // restores the defaults).
  void setInputScriptHooks(InputScriptHooks* hooks) override { input_->setScriptHooks(hooks); }
  void setButtonSoundSink(ButtonSoundSink* sink) { input_->setButtonSoundSink(sink); }

  // ---- Drawing -----------------------------------------------------------
  // Draws the stage into the off-screen bitmap at the client size times the
  // pixel ratio (rounded up) if it is out of date, and returns it.
  const RenderTarget& render();
  // Bitmap pixels per client pixel: above 1 on a high-density screen. The
  // client area, input, the stage size and the view stay in client pixels;
  // only the off-screen bitmap is drawn finer. Ratios outside 1/16..16 are
  // taken as 1.
  void setPixelRatio(double ratio);
  double pixelRatio() const { return pixelRatio_; }
  // Draws the whole stage, as render() last left it, into `target` (resized
  // to the off-screen bitmap's size) without touching the off-screen bitmap
  // or the dirty area: what a partial repaint must equal.
  bool redrawInto(RenderTarget& target);
  Rgba backgroundColor() const;
  void setQuality(Quality q) override { quality_ = q; }
  Quality quality() const override { return quality_; }
  // Automatic quality: after every frame step the time it took is counted
  // as slow (over the frame period, or more than one frame advanced) or
  // fast (under a quarter of it); once more than 10 steps have passed since
  // the last switch, HIGH drops to LOW when over a third were slow and LOW
  // rises to HIGH when over a third were fast. A switch clears the counts.
  // A one-frame movie is switched to HIGH when it starts playing.
  void setAutoQuality(bool on) override;
  // Scale mode (low 4 bits) and alignment flags (ViewAlign) of the view.
  void setScaleMode(uint8_t modeAndAlign) override;
  void setScaleMode(ScaleMode mode, uint8_t align) { setScaleMode(static_cast<uint8_t>(mode) | align); }
  // Recomputes the view from the client area; true when it changed.
  bool updateView();

  // ---- The display ---------------------------------------------------------
  // The tree the renderer draws: walk it with Display::walk().
  Display& display() override { return display_; }
  const Display& display() const { return display_; }
  bool autoQuality() const { return autoQuality_; }
  // Marks the whole stage for drawing and asks the host to repaint it.
  void redrawAll() override;
  // Runs what a seek or a command queued, then repaints.
  void runPendingActions() { runQueuedActions(); }

  // ---- View: scale mode, alignment, zoom and panning --------------------------
  ScaleMode scaleMode() const override { return static_cast<ScaleMode>(scaleMode_ & 0x0F); }
  uint8_t alignment() const override { return scaleMode_ & 0xF0; }
  // The view for the current client rectangle (the display's).
  const ViewTransform& view() override;
  bool zoomed() const override { return zoomed_; }
  const RECT& zoomRect() const { return zoomRect_; }
  // Scales the visible part by `factor` about the centre of the view, or
  // about client pixel (x, y).
  void zoom(Fixed16 factor);
  void zoomAt(Fixed16 factor, int x, int y);
  // Show All: the whole frame; 100%: one pixel per 20 twips.
  void showAll();
  void showActualSize();
  // Moves a zoomed view by a pointer movement of (dx, dy) pixels.
  void pan(int dx, int dy);
  bool panning() const override { return panning_; }

  // ---- Text fields, printing and settings ---------------------------------------
  // What the focused text field allows, and whether a text field has the
  // focus or lies under client pixel (x, y) (the edit menu is then used).
  TextEditAbilities textEditAbilities() const;
  bool textFieldAt(int x, int y) const;
  void editText(EditCode code);
  // Text from the host's input method for the focused field (UTF-16).
  void typeText(std::u16string_view units);
  // The focused field's caret in client pixels (the input method places
  // its window beside it); false when no field has the focus.
  bool textCaretRect(int& x, int& y, int& width, int& height) const;
  bool printingAllowed() const { return movieReady(); }
  // The host's Print command: level 0 with the host's flag.
  void printFromHost();
  // A script's print request for a clip's timeline.
  void printClip(DisplayObject& clip, uint8_t flags) override;
  // Inside a print job: frame steps and sounds wait.
  bool printing() const { return printing_; }
  bool settingsAvailable() const { return movieReady(); }
  // The host's Settings command: the settings panel for the movie's site.
  void showSettingsFromHost();
  void showSettings(int tab) override;
  bool settingsPanel(const TimelinePlayer& root) override;
  void settingsPanelAnswer(const ScriptValue& value, ScriptValue& result) override;
  bool captureSourceMuted(ScriptObject& source, const char* className, const std::string& movieUrl) override;
  // The privacy settings store (storage limits, permissions, the panel).
  PrivacySettings& privacySettings() { return *privacy_; }

  // ---- Sound -------------------------------------------------------------------
  // Sends the next `frames` frames of the mix to the host's audio output,
  // mixing whole buffers as they are needed; buffers the output reports as
  // played credit the streams. False once the output failed.
  bool mixAudio(size_t frames);
  SoundMixer& mixer() override { return mixer_; }
  // The player's own sound transform (null) applies to every sound but
  // buttons'; a clip's to the sounds of its timeline and those below.
  SoundTransform& soundTransform(const TimelinePlayer* clip) override;
  SoundTransform effectiveSoundTransform(const void* volumeClip) override;
  std::shared_ptr<SoundChannel> startScriptSound(const Character& sound, const SoundInfo& info,
                                                 TimelinePlayer& clip) override;
  void startButtonSound(DisplayObject& button, const Character& sound, const uint8_t* soundInfo,
                        size_t length) override;

  // ---- Read by input dispatch ------------------------------------------------
  bool acceptsInput() const override { return hasMovie_ && !quitRequested_; }
  PixelRect clientRectangle() override { return host_.window.clientRectangle(); }
  int level0Version() const override { return level0_ ? level0_->version() : 0; }

  // ---- Called by timelines ---------------------------------------------
  void movieDataArrived(TimelinePlayer& timeline, const IntakeReport& report) override;
  void movieCorrupt() override { quitRequested_ = true; }
  void setBackgroundColor(Rgba colour) override;
  // The pending action lists; the interpreter runs them.
  ActionQueue& actions() override { return actions_; }
  // The script engine (global object, interpreter).
  ScriptEngine& script() { return *script_; }
  // The host clock when the current movie was opened (GetTime counts from it).
  uint32_t startTime() const override { return startTime_; }
  // Runs the pending action lists now.
  void runQueuedActions();
  // The library movie for an import, loaded on first request.
  TimelinePlayer& libraryFor(const std::string& base, const std::string& url) override;
  // Whether a version-6 movie at `base` may import from `url`.
  bool importAllowed(const std::string& base, const std::string& url) const override;
  void startSound(TimelinePlayer& timeline, const Character& sound, const uint8_t* info, size_t length) override;
  void timelineGone(TimelinePlayer& timeline) override;
  void startSoundStream(TimelineSoundStream& stream, int64_t tagStart, int frame) override;
  bool heldByStream(TimelinePlayer& timeline) override;
  int soundBufferFrames() override;
  uint32_t soundBufferMs() override;

  // ---- Print jobs -------------------------------------------------------------------
  Printer& printer() override { return host_.printer; }
  const Display& printDisplay() override { return display_; }
  void setPrinting(bool on) override { printing_ = on; }
  void seekSilently(TimelinePlayer& timeline, int frame) override;
  uint8_t printScaleMode() const override { return scaleMode_; }
  int printQuality() const override;
  Rgba printBackground() const override { return backgroundColor(); }
  RECT stageFrame() const override { return frameRect(); }

 private:
  // Starts `sound` with `info` on a new channel; null when refused.
  std::shared_ptr<SoundChannel> startSoundChannel(const Character& sound, const SoundInfo& info,
                                                  const void* startClip, const void* volumeClip);
  // Credits the buffers the output has played by now.
  void completeAudioBuffers();
  // Frames to advance this step when a streaming sound sets the pace: how
  // far the sound is ahead of its timeline (at most 0 to wait for it);
  // nothing when no stream plays.
  std::optional<int> framesAheadOfStream(uint32_t now);
  void startPlayback();
  void advanceTimelines();
  // Reads what arrived for libraries and ends the imports waiting for them.
  void serviceLibraries();
  void teardown();
  void serviceIntervalTimers(bool shortOnly);
  bool serviceStreams() { return false; }
  void measureAutoQuality(uint32_t startMs, int framesAdvanced);
  // Tells the debug sink what the resource limits refused since last time.
  void reportRefusals();
  RECT frameRect() const;
  void applyZoom(Fixed16 factor, bool atPoint, int x, int y);
  void endPanning();
  // After an input event: runs what it queued with a frame step, repaints
  // and updates the cursor.
  void afterInput();
  void updateCursor();
  // Background and focus rectangle of a repaint.
  FrameSetup frameSetup() const;
  // A dirty rectangle in the display's sub-pixels as the off-screen
  // bitmap's pixels it touches, at the pixel ratio.
  DeviceRect bitmapPixels(const DeviceRect& subPixels, int factor) const;

  Host host_;
  // Timelines tell it when they go, so it outlives them.
  SoundMixer mixer_;
  SoundTransform globalSoundTransform_;
  // Clips whose sound transform a script set; dropped when their timeline goes.
  std::vector<std::pair<const TimelinePlayer*, SoundTransform>> clipSoundTransforms_;
  // The output buffer being sent, and the buffers sent but not yet played.
  std::unique_ptr<int16_t[]> audioBuffer_;
  uint32_t audioSent_ = SoundMixer::kBufferFrames;  // frames of it already sent
  uint64_t audioFrames_ = 0;  // frames sent since the player started
  struct SentBuffer {
    int slot;
    uint64_t end;  // in frames sent
  };
  std::vector<SentBuffer> unplayed_;
  // How late the last frame steps were (ms), for version 6 stream pacing.
  uint32_t lateness_[5] = {};
  // This step's: the timeline whose stream sets the pace, and the clock.
  const TimelinePlayer* syncTimeline_ = nullptr;
  uint32_t stepNow_ = 0;
  int latenessNext_ = 0;
  // The display feeds the queue, so it is declared after it; teardown()
  // frees the display's objects before the timelines they refer to.
  ActionQueue actions_;
  Display display_{actions_};
  // Observes the display, so it goes before it.
  std::unique_ptr<InputDispatch> input_;
  // Loads feed the levels, so they outlive them.
  std::unique_ptr<MovieLoads> movieLoads_;
  std::unique_ptr<TimelinePlayer> level0_;
  // Levels above 0, by number.
  std::map<int, std::unique_ptr<TimelinePlayer>> levels_;
  // Movies holding sounds loaded by scripts, by id; never shown.
  std::map<uint64_t, std::unique_ptr<TimelinePlayer>> soundMovies_;
  uint64_t lastSoundMovie_ = 0;
  bool unloadRequested_ = false;  // level 0 unloaded by a script: at the next step
  std::unique_ptr<ScriptEngine> script_;
  // Runs its movies in hidden levels and answers the shared objects'
  // limits, so it outlives neither.
  std::unique_ptr<PrivacySettings> privacy_;
  uint32_t startTime_ = 0;
  // Library movies: loaded for imports, never shown, kept until unloadAll.
  std::vector<std::unique_ptr<TimelinePlayer>> libraries_;
  LibraryLoader* libraryLoader_ = nullptr;
  SocketConnections* sockets_ = nullptr;
  SharedObjectStorage* sharedObjectStorage_ = nullptr;
  LocalConnectionBlock* localConnectionBlock_ = nullptr;
  bool servicingLibraries_ = false;
  bool librariesChanged_ = false;
  std::string url_;
  uint8_t scaleMode_ = 0;

  bool hasMovie_ = false;
  bool quitRequested_ = false;
  bool timerRunning_ = false;
  uint32_t framePeriod_ = 1;
  uint32_t nextFrameTime_ = 0;
  uint64_t framesAdvanced_ = 0;

  bool needsDraw_ = true;
  double pixelRatio_ = 1.0;
  RenderTarget offscreen_;
  Renderer renderer_;
  DisplayPainter painter_;

  Quality quality_ = Quality::High;
  bool autoQuality_ = false;
  int measuredSteps_ = 0;
  int lateSteps_ = 0;
  int fastSteps_ = 0;
  int stepsSinceChange_ = 0;

  int cursor_ = -1;  // the kind last set, -1 before the first

  bool printing_ = false;
  bool showMenu_ = true;
  bool stageResized_ = false;  // Stage.onResize is due
  bool zoomed_ = false;
  RECT zoomRect_;
  bool panning_ = false;
  size_t refusedObjects_ = 0;
  size_t refusedTimers_ = 0;
};

}  // namespace kivra
