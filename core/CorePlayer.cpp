#include "core/CorePlayer.h"

#include <cmath>

#include "core/script/DisplayClipBridge.h"

#include <algorithm>

#include "core/format/CaseInsensitive.h"
#include "core/MovieLoads.h"
#include "core/PrivacySettings.h"
#include "core/host/HostCommand.h"
#include "core/net/UrlRecord.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/TimelineSoundStream.h"
#include "core/script/ScriptEngine.h"
#include "core/script/SharedObjects.h"

namespace kivra {

namespace {
constexpr uint32_t kClockMask = 0x7FFFFFFF;
constexpr uint32_t kCaretIntervalMs = 400;

// now < then on the 31-bit clock, allowing for wrap.
bool clockBefore(uint32_t now, uint32_t then) {
  return ((now - then) & kClockMask) > (kClockMask >> 1);
}
}  // namespace

CorePlayer::CorePlayer(const Host& host)
    : host_(host),
      input_(std::make_unique<InputDispatch>(*this, display_)),
      movieLoads_(std::make_unique<MovieLoads>(*this)),
      script_(std::make_unique<ScriptEngine>(*this)),
      privacy_(std::make_unique<PrivacySettings>(*this)),
      libraryLoader_(&host.libraries) {
  script_->sharedObjects().setLimits(privacy_.get());
  mixer_.setTransformSource(this);
  input_->setButtonSoundSink(this);
}

CorePlayer::~CorePlayer() {
  teardown();
  script_->sharedObjects().setLimits(nullptr);
  script_.reset();
}

void CorePlayer::runQueuedActions() {
  script_->run(actions_, true);
  // GetURL requests wait for the end of the run; what they queue (an
  // "asfunction:" call's actions, more requests) follows, a bounded number
  // of rounds.
  UrlRequests& requests = script_->displayClips().urlRequests();
  for (int round = 0; round < 16 && !requests.empty(); ++round) {
    requests.process();
    script_->run(actions_, true);
  }
  // Bound fields follow their variables once the actions have run.
  script_->displayClips().fieldBindings().refresh(display_);
}

void CorePlayer::seedRandom(uint32_t seed) { script_->seedRandom(seed); }

void CorePlayer::teardown() {
  // Shared objects written now still ask for their limits.
  privacy_->movieClosing();
  // Channels point into the movies' buffers.
  mixer_.stopAll();
  // Queued blocks and cached constant pools point into the movies.
  actions_.clear();
  if (movieLoads_) movieLoads_->clear();
  if (script_) script_->movieUnloaded();
  display_.clear();
  levels_.clear();
  level0_.reset();
  if (libraryLoader_) libraryLoader_->cancelAll();
  libraries_.clear();
  soundMovies_.clear();
  actions_.clear();
  privacy_->movieClosed();
}

void CorePlayer::openMovie(const std::string& url) {
  unloadAll();
  startTime_ = milliseconds();
  url_ = url;
  display_.clearBackground();
  level0_ = std::make_unique<TimelinePlayer>(*this, 0, url);
  // The movie's memory is what the player holds beyond this.
  script_->setMemoryBaseline(memoryInUse());
}

void CorePlayer::setMemoryBudget(size_t bytes) { script_->setMemoryBudget(bytes); }

size_t CorePlayer::releaseUnlockedBitmaps() {
  size_t freed = level0_ ? level0_->bitmaps().releaseUnlocked() : 0;
  for (const auto& [number, level] : levels_) freed += level->bitmaps().releaseUnlocked();
  for (const auto& library : libraries_) freed += library->bitmaps().releaseUnlocked();
  return freed;
}

void CorePlayer::feedMovie(const uint8_t* data, size_t count) {
  if (!level0_) return;
  level0_->countBytesLoaded(static_cast<int64_t>(count));
  level0_->feed(data, count);
}

void CorePlayer::unloadAll() {
  if (timerRunning_) {
    host_.timer.stopFrameTimer();
    timerRunning_ = false;
  }
  teardown();
  hasMovie_ = false;
  zoomed_ = false;
  panning_ = false;
  framesAdvanced_ = 0;
  needsDraw_ = true;
}

void CorePlayer::movieDataArrived(TimelinePlayer& timeline, const IntakeReport& report) {
  const MovieBuffer& movie = timeline.movie();
  if (report.corrupt) movieCorrupt();
  if (timeline.isLibrary()) {
    serviceLibraries();
    return;
  }
  if (timeline.isSoundStream()) return;  // it starts on its own at the next step
  if (&timeline != level0_.get()) {
    movieLoads_->dataArrived(timeline);
    return;
  }
  if (report.headerParsed) {
    framePeriod_ = movie.framePeriodMs();
    const RECT& r = movie.frameRect();
    host_.window.movieSizeChanged((r.xmax - r.xmin) / 20, (r.ymax - r.ymin) / 20);
    updateView();
  }
  // Playback starts as soon as frame 0 has arrived.
  if (!hasMovie_ && movie.headerParsed() && (movie.framesLoaded() >= 0 || movie.complete()))
    startPlayback();
}

void serviceIntervalTimers(ScriptEngine& engine, bool shortOnly, uint32_t framePeriodMs);

void CorePlayer::serviceIntervalTimers(bool shortOnly) {
  kivra::serviceIntervalTimers(*script_, shortOnly, framePeriod_);
}

void CorePlayer::startPlayback() {
  level0_->seek(0);
  hasMovie_ = true;
  // A still picture has no frame rate to keep up: draw it at its best.
  if (autoQuality_ && level0_->frameCount() == 1 && quality_ != Quality::High) {
    quality_ = Quality::High;
    measuredSteps_ = lateSteps_ = fastSteps_ = stepsSinceChange_ = 0;
  }
  if (!timerRunning_) {
    host_.timer.startFrameTimer(std::max<uint32_t>(1, framePeriod_ / 10), kCaretIntervalMs);
    timerRunning_ = true;
    nextFrameTime_ = milliseconds() & kClockMask;
  }
  needsDraw_ = true;
  runQueuedActions();
  display_.releaseUnloaded();  // their unload handlers have run
}

void CorePlayer::setBackgroundColor(Rgba colour) {
  const uint32_t argb = 0xFF000000u | (static_cast<uint32_t>(colour.r) << 16) |
                        (static_cast<uint32_t>(colour.g) << 8) | colour.b;
  display_.setBackgroundColor(argb, 1);  // the movie's own colour: the first one wins
}

Rgba CorePlayer::backgroundColor() const {
  const uint32_t c = display_.background();
  return Rgba{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 255};
}

void CorePlayer::setScaleMode(uint8_t modeAndAlign) {
  scaleMode_ = modeAndAlign;
  updateView();  // scripts read the new stage size at once
  redrawAll();
}

bool CorePlayer::updateView() {
  ViewRequest request;
  const PixelRect client = clientRectangle();
  request.client = DeviceRect{client.left, client.top, client.right, client.bottom};
  if (level0_ && level0_->movie().headerParsed()) request.frame = level0_->movie().frameRect();
  request.modeAndAlign = scaleMode_;
  // The zoom rectangle frames the view, except in noScale mode.
  if (zoomed_) request.zoom = &zoomRect_;
  switch (quality_) {
    case Quality::Low: request.quality = 0; break;
    case Quality::Medium: request.quality = 1; break;
    case Quality::High:
    case Quality::Best: request.quality = 2; break;
  }
  const int width = display_.stageWidth();
  const int height = display_.stageHeight();
  const bool changed = display_.setView(request);
  // In noScale mode the stage is the window: Stage listeners hear of a
  // new size at the next frame step.
  if (scaleMode() == ScaleMode::NoScale && hasMovie_ &&
      (width != display_.stageWidth() || height != display_.stageHeight()))
    stageResized_ = true;
  return changed;
}

void CorePlayer::advanceTimelines() {
  display_.advanceTimelines();
  ++framesAdvanced_;
}

bool CorePlayer::importAllowed(const std::string& base, const std::string& url) const {
  std::string absolute;
  if (dataLoadPermitted(base, url, absolute)) return true;
  host_.debug.debugLog("[security] Blocking insecure request for " + absolute + " requested by " + base + "\n");
  return false;
}

TimelinePlayer& CorePlayer::libraryFor(const std::string& base, const std::string& url) {
  const std::string resolved = libraryLoader_ ? libraryLoader_->resolve(base, url) : url;
  for (auto& lib : libraries_)
    if (equalsIgnoringCase(lib->url(), resolved)) return *lib;
  // Library n loads into the target "_level" + n, counted over all loads.
  const int slot = static_cast<int>(libraries_.size());
  libraries_.push_back(std::make_unique<TimelinePlayer>(*this, slot, resolved, TimelinePlayer::RootKind::Library));
  TimelinePlayer& lib = *libraries_.back();
  if (libraryLoader_) libraryLoader_->load(resolved, lib);
  return lib;
}

void CorePlayer::serviceLibraries() {
  // Reading a library may load another one, which reports back here: note it
  // and go round again instead of reading libraries from inside each other.
  if (servicingLibraries_) {
    librariesChanged_ = true;
    return;
  }
  servicingLibraries_ = true;
  for (bool progress = true; progress;) {
    librariesChanged_ = false;
    // By index: reading a library may append to the list.
    for (size_t i = 0; i < libraries_.size(); ++i) {
      TimelinePlayer* lib = libraries_[i].get();
      while (lib->dispatchTag() == kDispatchDone) {
      }
    }
    progress = false;
    auto resolveWaiter = [&](TimelinePlayer* root) {
      if (root && root->importWait() && root->importWait()->libraryComplete()) {
        root->resolveImport();
        progress = true;
      }
    };
    resolveWaiter(level0_.get());
    for (const auto& [number, level] : levels_) resolveWaiter(level.get());
    for (size_t i = 0; i < libraries_.size(); ++i) resolveWaiter(libraries_[i].get());
    progress = progress || librariesChanged_;
  }
  servicingLibraries_ = false;
}

void CorePlayer::frameStep(bool timerDriven) {
  // A print job is visiting frames: the host's timer waits for it.
  if (printing_) return;
  if (quitRequested_) {
    host_.commands.hostCommand("quit", "");
    unloadAll();
    quitRequested_ = false;
    return;
  }
  if (unloadRequested_) {
    unloadRequested_ = false;
    unloadAll();
    redrawAll();
    return;
  }
  if (!hasMovie_) return;
  if (stageResized_) {
    stageResized_ = false;
    script_->broadcast("Stage", "onResize", nullptr, 0);
  }

  const uint32_t now = milliseconds() & kClockMask;
  if (serviceStreams() && timerDriven && clockBefore(now, nextFrameTime_)) updateNow();

  // Frames to advance: one, unless a streaming sound sets the pace.
  const std::optional<int> ahead = framesAheadOfStream(now);
  if (ahead && *ahead <= 0) {
    // Wait for the sound.
    runQueuedActions();
    display_.releaseUnloaded();
    return;
  }
  const int frames = ahead ? *ahead : 1;

  if (!ahead && timerDriven && clockBefore(now, nextFrameTime_)) {
    serviceIntervalTimers(true);
    runQueuedActions();
    display_.releaseUnloaded();  // their unload handlers have run
    return;
  }

  nextFrameTime_ = (now + framePeriod_) & kClockMask;
  for (int i = 0; i < frames; ++i) {
    advanceTimelines();
    serviceIntervalTimers(false);
    runQueuedActions();
    display_.releaseUnloaded();  // their unload handlers have run
  }
  // Remote calls queued this frame go out together.
  script_->displayClips().remoting().flush();
  // Messages between players: at most one posted a frame.
  if (script_->displayClips().localConnections().poll()) {
    runQueuedActions();
    display_.releaseUnloaded();
  }
  // Settings requests: the panel shows the first one waiting.
  if (privacy_->processQueue()) {
    runQueuedActions();
    display_.releaseUnloaded();
  }
  // Sounds that ended since the last step tell their Sound objects.
  if (std::vector<std::shared_ptr<SoundChannel>> done = mixer_.takeCompleted(); !done.empty()) {
    script_->clips().soundsCompleted(done);
    runQueuedActions();
  }
  // Buttons may have moved under a pointer that stood still.
  input_->trackAfterFrame();
  input_->blinkCaret();
  if (input_->takeActivity()) {
    runQueuedActions();
    display_.releaseUnloaded();
    input_->afterActions();
    updateCursor();
  }
  reportRefusals();
  // What changed is in the display's dirty area; render() repaints that.
  updateNow();
  if (autoQuality_) measureAutoQuality(now, frames);
}

void CorePlayer::reportRefusals() {
  const size_t objects = display_.objectsRefused();
  if (objects != refusedObjects_) {
    debugLog("display: " + std::to_string(objects - refusedObjects_) + " placements ignored: " +
             std::to_string(Display::kMaxObjects) + " display objects are alive\n");
    refusedObjects_ = objects;
  }
  const size_t timers = script_->timers().refused();
  if (timers != refusedTimers_) {
    debugLog("setInterval: " + std::to_string(timers - refusedTimers_) + " calls made no timer: " +
             std::to_string(IntervalTimers::kMaxTimers) + " interval timers are alive\n");
    refusedTimers_ = timers;
  }
}

void CorePlayer::measureAutoQuality(uint32_t startMs, int framesAdvanced) {
  const uint32_t took = ((milliseconds() & kClockMask) - startMs) & kClockMask;
  if (took > framePeriod_ || framesAdvanced > 1) ++lateSteps_;
  else if (took < framePeriod_ / 4) ++fastSteps_;
  ++measuredSteps_;
  ++stepsSinceChange_;
  if (measuredSteps_ <= 4 || stepsSinceChange_ <= 10) return;
  // Only LOW and HIGH switch, and only to each other; MEDIUM stays.
  bool changed = false;
  if (quality_ == Quality::High && measuredSteps_ < 3 * lateSteps_) {
    quality_ = Quality::Low;
    changed = true;
  } else if (quality_ == Quality::Low && measuredSteps_ < 3 * fastSteps_) {
    quality_ = Quality::High;
    changed = true;
  }
  if (changed) {
    // The counts of the old quality say nothing about the new one.
    measuredSteps_ = lateSteps_ = fastSteps_ = stepsSinceChange_ = 0;
    needsDraw_ = true;
    host_.window.invalidate();
  }
}

void CorePlayer::setAutoQuality(bool on) {
  autoQuality_ = on;
  measuredSteps_ = lateSteps_ = fastSteps_ = stepsSinceChange_ = 0;
}

void CorePlayer::mouseMove(int x, int y) {
  // While panning, the zoomed part follows the pointer.
  if (panning_) pan(x - input_->pointerX(), y - input_->pointerY());
  input_->mouseMove(x, y, false);
  afterInput();
}

void CorePlayer::mouseDown() {
  input_->mouseDown();
  // A press that no button took starts panning a zoomed view.
  if (zoomed_ && movieReady() && !display_.trackedButton()) {
    panning_ = true;
    host_.window.setCursor(CursorKind::Grab);
    cursor_ = static_cast<int>(CursorKind::Grab);
  }
  afterInput();
}

void CorePlayer::mouseUp() {
  input_->mouseUp();
  endPanning();
  afterInput();
}

void CorePlayer::mouseLeft() {
  endPanning();
  input_->mouseLeft();
  afterInput();
}

void CorePlayer::captureLost() {
  endPanning();
  input_->captureLost();
  updateCursor();
}

void CorePlayer::endPanning() {
  if (!panning_) return;
  panning_ = false;
  updateCursor();
}

void CorePlayer::keyDown(const KeyEvent& key) {
  input_->keyDown(key);
  afterInput();
}

void CorePlayer::keyUp(const KeyEvent& key) {
  input_->keyUp(key);
  afterInput();
}

TextEditAbilities CorePlayer::textEditAbilities() const { return input_->text().abilities(); }

bool CorePlayer::textFieldAt(int x, int y) const {
  if (input_->text().focused()) return true;
  double sx = 0, sy = 0;
  return display_.view().clientToStage(x, y, sx, sy) && input_->text().fieldAt(sx, sy) != nullptr;
}

bool CorePlayer::textCaretRect(int& x, int& y, int& width, int& height) const {
  double sx0 = 0, sy0 = 0, sx1 = 0, sy1 = 0;
  if (!input_->text().caretOnStage(sx0, sy0, sx1, sy1)) return false;
  double px0 = 0, py0 = 0, px1 = 0, py1 = 0;
  display_.view().stageToClient(sx0, sy0, px0, py0);
  display_.view().stageToClient(sx1, sy1, px1, py1);
  auto clampPx = [](double v) { return static_cast<int>(std::clamp(std::round(v), -1e6, 1e6)); };
  x = clampPx(std::min(px0, px1));
  y = clampPx(std::min(py0, py1));
  width = std::max(1, clampPx(std::max(px0, px1)) - x);
  height = std::max(1, clampPx(std::max(py0, py1)) - y);
  return true;
}

void CorePlayer::editText(EditCode code) {
  input_->editText(code);
  afterInput();
}

void CorePlayer::typeText(std::u16string_view units) {
  input_->typeText(units);
  afterInput();
}

void CorePlayer::typedCharacter(uint32_t character) {
  input_->typedCharacter(character);
  afterInput();
}

void CorePlayer::focusChanged(bool focused) {
  // Text fields, which lose their caret with the window's focus, are not
  // there yet; the pointer state is the capture's business.
  (void)focused;
}

void CorePlayer::afterInput() {
  if (input_->takeActivity()) {
    // The actions run at once; a frame step follows, which advances only
    // when a frame is due anyway.
    frameStep(true);
    input_->afterActions();
    if (input_->takeActivity()) runQueuedActions();
    needsDraw_ = true;
    updateNow();
  }
  updateCursor();
}

CursorKind CorePlayer::cursorKind() {
  if (panning_) return CursorKind::Grab;
  return static_cast<CursorKind>(input_->cursorKind());
}

void CorePlayer::updateCursor() {
  const CursorKind kind = cursorKind();
  if (static_cast<int>(kind) == cursor_) return;
  cursor_ = static_cast<int>(kind);
  host_.window.setCursor(kind);
}

bool CorePlayer::movieReady() const {
  return level0_ && level0_->movie().headerParsed() && !level0_->movie().failed();
}

bool CorePlayer::mixAudio(size_t frames) {
  constexpr uint32_t kFrames = SoundMixer::kBufferFrames;
  if (!audioBuffer_) audioBuffer_ = std::make_unique<int16_t[]>(kFrames * AudioOutput::kChannels);
  while (frames > 0) {
    if (audioSent_ == kFrames) {
      const int slot = mixer_.mixBuffer(audioBuffer_.get());
      audioSent_ = 0;
      // Never more in flight than the mixer has credit slots.
      if (unplayed_.size() >= SoundChannel::kCreditSlots - 1) {
        mixer_.bufferDone(unplayed_.front().slot, milliseconds());
        unplayed_.erase(unplayed_.begin());
      }
      unplayed_.push_back(SentBuffer{slot, audioFrames_ + kFrames});
    }
    const size_t n = std::min<size_t>(frames, kFrames - audioSent_);
    if (!host_.audio.write(audioBuffer_.get() + size_t{audioSent_} * AudioOutput::kChannels, n)) return false;
    audioSent_ += static_cast<uint32_t>(n);
    audioFrames_ += n;
    frames -= n;
    completeAudioBuffers();
  }
  return true;
}

void CorePlayer::completeAudioBuffers() {
  const uint64_t played = host_.audio.framesPlayed(audioFrames_);
  size_t done = 0;
  while (done < unplayed_.size() && unplayed_[done].end <= played) mixer_.bufferDone(unplayed_[done++].slot, milliseconds());
  unplayed_.erase(unplayed_.begin(), unplayed_.begin() + static_cast<std::ptrdiff_t>(done));
}

SoundTransform& CorePlayer::soundTransform(const TimelinePlayer* clip) {
  if (!clip) return globalSoundTransform_;
  for (auto& [owner, t] : clipSoundTransforms_)
    if (owner == clip) return t;
  clipSoundTransforms_.emplace_back(clip, SoundTransform{});
  return clipSoundTransforms_.back().second;
}

// From the volume clip up through the clips that hold it, then the player's.
SoundTransform CorePlayer::effectiveSoundTransform(const void* volumeClip) {
  SoundTransform t;
  if (!clipSoundTransforms_.empty()) {
    // Volume clips are live timelines: the mixer is told when one goes.
    const DisplayObject* object = static_cast<const TimelinePlayer*>(volumeClip)->displayObject();
    for (int depth = 0; object && depth < 256; object = object->parent(), ++depth) {
      const TimelinePlayer* clip = object->timeline();
      for (const auto& [owner, own] : clipSoundTransforms_)
        if (owner == clip) t = t.then(own);
    }
  }
  return t.then(globalSoundTransform_);
}

std::shared_ptr<SoundChannel> CorePlayer::startScriptSound(const Character& sound, const SoundInfo& info,
                                                           TimelinePlayer& clip) {
  return startSoundChannel(sound, info, &clip, &clip);
}

std::shared_ptr<SoundChannel> CorePlayer::startSoundChannel(const Character& sound, const SoundInfo& info,
                                                            const void* startClip, const void* volumeClip) {
  const Character::SoundPart* part = std::get_if<Character::SoundPart>(&sound.part);
  if (!part) return nullptr;
  SoundRecord record;
  record.format = SoundFormat(part->format);
  record.sampleCount = part->sampleCount;
  record.data = sound.data;
  record.length = sound.dataLength;
  record.seekSamples = part->seekSamples;
  std::shared_ptr<SoundChannel> channel = SoundChannel::make(record, &sound, info);
  channel->startClip = startClip;
  channel->volumeClip = volumeClip;
  return mixer_.addChannel(channel, milliseconds()) ? channel : nullptr;
}

void CorePlayer::startSound(TimelinePlayer& timeline, const Character& sound, const uint8_t* info, size_t length) {
  if (printing_) return;  // frames visited for printing are silent
  SoundInfo parsed;
  readSoundInfo(info, length, parsed);
  startSoundChannel(sound, parsed, &timeline, &timeline);
}

void CorePlayer::startButtonSound(DisplayObject& button, const Character& sound, const uint8_t* soundInfo,
                                  size_t length) {
  SoundInfo parsed;
  readSoundInfo(soundInfo, length, parsed);
  // Button sounds take no sound transform, not even the player's.
  const DisplayObject* clip = button.timeline() ? &button : button.parent();
  startSoundChannel(sound, parsed, clip ? static_cast<const void*>(clip->timeline()) : nullptr, nullptr);
}

void CorePlayer::startSoundStream(TimelineSoundStream& stream, int64_t tagStart, int frame) {
  if (printing_) return;
  stream.start(mixer_, tagStart, frame, milliseconds());
}

std::optional<int> CorePlayer::framesAheadOfStream(uint32_t now) {
  TimelinePlayer* root = level0_.get();
  TimelineSoundStream* stream = root ? root->soundStream() : nullptr;
  const SoundChannel* channel = stream ? stream->channel() : nullptr;
  stepNow_ = now;
  syncTimeline_ = nullptr;
  if (!channel || channel->done || channel->starving) return std::nullopt;
  syncTimeline_ = root;
  int64_t ahead = mixer_.channelPosition(*channel, now).frame - root->currentFrame();
  if (root->version() >= 6) {
    // Steps that come late are made up by running further ahead of the sound.
    lateness_[latenessNext_] = clockBefore(now, nextFrameTime_) ? 0 : ((now - nextFrameTime_) & kClockMask);
    latenessNext_ = (latenessNext_ + 1) % 5;
    uint64_t sum = 0;
    uint32_t largest = 0;
    for (uint32_t l : lateness_) {
      sum += l;
      largest = std::max(largest, l);
    }
    const uint64_t h = (sum - largest) / 4;
    const uint64_t blockMs = (uint64_t{stream->samplesPerBlock()} << channel->record.format.shift()) * 10 / 441;
    if (h > 10 && h < 1000 && blockMs > 0) {
      ahead += static_cast<int64_t>((framePeriod_ * 3 / 2 + h) / blockMs);
    } else if (largest > 0) {
      std::fill(std::begin(lateness_), std::end(lateness_), 0u);
    }
  }
  return static_cast<int>(std::clamp<int64_t>(ahead, -1, 1000));
}

int CorePlayer::soundBufferFrames() {
  const int64_t ms = soundBufferMs();
  return framePeriod_ > 0 ? static_cast<int>(ms / framePeriod_) : 100;
}

uint32_t CorePlayer::soundBufferMs() {
  return static_cast<uint32_t>(std::clamp<int64_t>(int64_t{script_->clips().soundBufferSeconds()} * 1000, 0, INT32_MAX));
}

// Other timelines with streams of their own wait while they are ahead of
// them; one whose stream has ended runs on.
bool CorePlayer::heldByStream(TimelinePlayer& timeline) {
  TimelineSoundStream* stream = timeline.soundStream();
  if (&timeline == syncTimeline_ || !stream || !stream->playing() || stream->streamEnded()) return false;
  return mixer_.channelPosition(*stream->channel(), stepNow_).frame < timeline.currentFrame();
}

void CorePlayer::timelineGone(TimelinePlayer& timeline) {
  if (movieLoads_) movieLoads_->timelineGone(timeline);
  if (syncTimeline_ == &timeline) syncTimeline_ = nullptr;
  std::erase_if(clipSoundTransforms_, [&](const auto& entry) { return entry.first == &timeline; });
  mixer_.clipRemoved(&timeline, timeline.isRoot() ? nullptr : &timeline.root());
}

// ---- Privacy settings ----------------------------------------------------------------

void CorePlayer::showSettingsFromHost() {
  if (!settingsAvailable()) return;
  privacy_->showSettings(-1);
  // The panel shows at once, not at the next frame.
  if (privacy_->processQueue()) afterInput();
}

void CorePlayer::showSettings(int tab) { privacy_->showSettings(tab); }

bool CorePlayer::settingsPanel(const TimelinePlayer& root) {
  auto it = levels_.find(kSettingsPanelLevel);
  return it != levels_.end() && it->second.get() == &root;
}

void CorePlayer::settingsPanelAnswer(const ScriptValue& value, ScriptValue& result) {
  privacy_->panelAnswer(value, result);
}

bool CorePlayer::captureSourceMuted(ScriptObject& source, const char* className, const std::string& movieUrl) {
  return privacy_->addCaptureSource(source, className, movieUrl);
}

// ---- Movies loaded by scripts ---------------------------------------------------

void CorePlayer::loadMovieIntoLevel(int level, const UrlStreamRequest& request) {
  movieLoads_->loadLevel(level, request);
}

void CorePlayer::loadMovieIntoClip(DisplayObject& clip, const UrlStreamRequest& request) {
  movieLoads_->loadClip(clip, request);
}

TimelinePlayer& CorePlayer::replaceLevel(int level, const std::string& url) {
  if (level == 0) {
    openMovie(url);
    return *level0_;
  }
  unloadLevel(level);
  auto& slot = levels_[level];
  slot = std::make_unique<TimelinePlayer>(*this, level, url);
  return *slot;
}

void CorePlayer::unloadLevel(int level) {
  if (level == 0) {
    // Scripts of the movie may still be running: it goes at the next step.
    unloadRequested_ = true;
    return;
  }
  auto it = levels_.find(level);
  if (it == levels_.end()) return;
  // The level's objects go before the timeline they play.
  DisplayObject& root = display_.root();
  if (DisplayObject* placed = root.childAt(level); placed && placed->timeline() == it->second.get())
    display_.remove(root, level);
  levels_.erase(it);
  needsDraw_ = true;
}

DisplayObject* CorePlayer::createEmptyLevel(int level) {
  if (level <= 0) return nullptr;
  // Header, an empty frame rectangle, 12 frames per second, one frame;
  // ShowFrame, End.
  static constexpr uint8_t kEmptyMovie[] = {'X', 'V', 'Q', 6, 17, 0, 0, 0, 0, 0, 12, 1, 0, 0x40, 0, 0, 0};
  TimelinePlayer& timeline = replaceLevel(level, url_);
  timeline.countBytesLoaded(sizeof kEmptyMovie);
  timeline.feed(kEmptyMovie, sizeof kEmptyMovie);
  timeline.seek(0);
  return timeline.displayObject();
}

uint64_t CorePlayer::adoptSoundMovie(const std::vector<uint8_t>& movie, const std::string& url) {
  // A library kind of root: its tags define, nothing is placed or played.
  auto root = std::make_unique<TimelinePlayer>(*this, 0, url, TimelinePlayer::RootKind::Library);
  root->countBytesLoaded(static_cast<int64_t>(movie.size()));
  root->feed(movie.data(), movie.size());
  while (root->dispatchTag() == kDispatchDone) {
  }
  const std::shared_ptr<Character> sound = root->dictionary().find(1);
  if (!sound || sound->kind != CharacterKind::Sound) return 0;
  soundMovies_[++lastSoundMovie_] = std::move(root);
  return lastSoundMovie_;
}

std::shared_ptr<Character> CorePlayer::loadedSound(uint64_t id) {
  auto it = soundMovies_.find(id);
  return it == soundMovies_.end() || !it->second->isLibrary() ? nullptr : it->second->dictionary().find(1);
}

uint64_t CorePlayer::openSoundStreamMovie(const std::string& url) {
  soundMovies_[++lastSoundMovie_] = std::make_unique<TimelinePlayer>(*this, 0, url, TimelinePlayer::RootKind::SoundStream);
  return lastSoundMovie_;
}

void CorePlayer::feedSoundStreamMovie(uint64_t id, const uint8_t* data, size_t count, bool end) {
  TimelinePlayer* timeline = soundStreamTimeline(id);
  if (!timeline) return;
  if (count > 0) timeline->feed(data, count);
  if (end) timeline->endOfData();
}

TimelinePlayer* CorePlayer::soundStreamTimeline(uint64_t id) {
  auto it = soundMovies_.find(id);
  return it == soundMovies_.end() || !it->second->isSoundStream() ? nullptr : it->second.get();
}

void CorePlayer::releaseSoundMovie(uint64_t id) {
  // A stream's channel stops as its timeline goes; event sounds may still
  // play from their movie's buffer and stay until everything unloads.
  if (soundStreamTimeline(id)) soundMovies_.erase(id);
}

void CorePlayer::unloadClip(DisplayObject& clip) {
  // What the clip plays now is an empty sprite of the movie that placed it.
  TimelinePlayer* owner = clip.parent() && clip.parent()->timeline() ? &clip.parent()->timeline()->root() : nullptr;
  if (!owner) return;
  std::shared_ptr<Character> empty = makeEmptySprite(owner);
  auto timeline = std::make_unique<TimelinePlayer>(*owner, clip, *empty);
  display_.replaceContent(clip, std::move(empty), std::move(timeline));
}

void CorePlayer::redrawAll() {
  needsDraw_ = true;
  host_.window.invalidate();
}

// ---- Host commands from scripts -------------------------------------------------

bool CorePlayer::routeHostCommandUrl(const std::string& url, const std::string& target, bool* handled) {
  std::string_view name;
  if (!splitHostCommandUrl(url, name)) return false;
  const bool done = host_.commands.hostCommand(std::string(name), target);
  if (handled) *handled = done;
  return true;
}

void CorePlayer::openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
  host_.urls.openInBrowser(url, window, postData);
}

void CorePlayer::setShowMenuFromScript(bool show) {
  if (show == showMenu_) return;
  showMenu_ = show;
  host_.commands.hostCommand("showmenu", show ? "true" : "false");
}

// ---- View ------------------------------------------------------------------------

RECT CorePlayer::frameRect() const {
  if (!level0_ || !level0_->movie().headerParsed()) return RECT{};
  return level0_->movie().frameRect();
}

const ViewTransform& CorePlayer::view() {
  updateView();
  return display_.view();
}

void CorePlayer::zoom(Fixed16 factor) { applyZoom(factor, false, 0, 0); }
void CorePlayer::zoomAt(Fixed16 factor, int x, int y) { applyZoom(factor, true, x, y); }

void CorePlayer::applyZoom(Fixed16 factor, bool atPoint, int x, int y) {
  if (!movieReady()) return;
  const PixelRect client = clientRectangle();
  // Zoom what is on screen: at 100% that is the 100% view, before the
  // zoom rectangle (which 100% ignores) takes over from it.
  const ViewTransform v = view();
  const RECT visible = visibleRectangle(v, client.width(), client.height());
  int32_t cx = (visible.xmin + visible.xmax) / 2;
  int32_t cy = (visible.ymin + visible.ymax) / 2;
  if (atPoint) clientToMovie(v, x, y, cx, cy);
  if (scaleMode() == ScaleMode::NoScale) scaleMode_ = alignment();
  RECT zoomed;
  if (!zoomRectangle(visible, frameRect(), factor, cx, cy, client.width(), client.height(), zoomed)) {
    showAll();
    return;
  }
  zoomRect_ = zoomed;
  zoomed_ = true;
  redrawAll();
}

void CorePlayer::showAll() {
  if (scaleMode() == ScaleMode::NoScale) scaleMode_ = alignment();
  zoomed_ = false;
  redrawAll();
}

void CorePlayer::showActualSize() {
  zoomed_ = false;
  scaleMode_ = static_cast<uint8_t>(ScaleMode::NoScale) | alignment();
  redrawAll();
}

void CorePlayer::pan(int dx, int dy) {
  if (!zoomed_ || (dx == 0 && dy == 0)) return;
  int32_t tx = 0, ty = 0;
  // Dragging the picture right shows what lies to its left.
  pixelsToTwips(view(), -dx, -dy, tx, ty);
  const RECT moved = panRectangle(zoomRect_, frameRect(), tx, ty);
  if (moved == zoomRect_) return;
  zoomRect_ = moved;
  redrawAll();
}

FrameSetup CorePlayer::frameSetup() const {
  FrameSetup setup;
  setup.background = backgroundColor();
  if (input_->focusRectShown()) {
    const WindowRect& r = input_->focus().rect();
    setup.focus = ClipRect{r.left, r.top, r.right, r.bottom};
    if (pixelRatio_ != 1.0) {
      // On whole bitmap pixels, outward, with bands as wide as at 1:1.
      setup.focus = ClipRect{static_cast<int32_t>(std::floor(r.left * pixelRatio_)),
                             static_cast<int32_t>(std::floor(r.top * pixelRatio_)),
                             static_cast<int32_t>(std::ceil(r.right * pixelRatio_)),
                             static_cast<int32_t>(std::ceil(r.bottom * pixelRatio_))};
      setup.focusWidth = std::max(1, static_cast<int>(std::lround(setup.focusWidth * pixelRatio_)));
    }
  }
  return setup;
}

void CorePlayer::setPixelRatio(double ratio) {
  if (!(ratio >= 1.0 / 16 && ratio <= 16)) ratio = 1.0;
  if (ratio == pixelRatio_) return;
  pixelRatio_ = ratio;
  needsDraw_ = true;
}

const RenderTarget& CorePlayer::render() {
  const PixelRect client = clientRectangle();
  int width = std::max(0, client.width());
  int height = std::max(0, client.height());
  if (pixelRatio_ != 1.0) {
    width = static_cast<int>(std::min<double>(std::ceil(width * pixelRatio_), INT32_MAX));
    height = static_cast<int>(std::min<double>(std::ceil(height * pixelRatio_), INT32_MAX));
  }
  if (width != offscreen_.width() || height != offscreen_.height()) {
    if (!offscreen_.resize(width, height))
      (void)offscreen_.resize(0, 0);  // too large: draw nothing; an empty target never fails
    needsDraw_ = true;
  }
  if (updateView()) needsDraw_ = true;
  display_.update();
  const DirtyArea& dirty = display_.dirtyArea();
  FrameSetup setup = frameSetup();
  if (needsDraw_) {
    setup.dirty = ClipRect{0, 0, offscreen_.width(), offscreen_.height()};
    painter_.paint(display_, renderer_, offscreen_, setup, false, pixelRatio_);
    needsDraw_ = false;
  } else {
    // Only the dirty rectangles: the rest of the bitmap still holds the
    // previous frame. They are in sub-pixels; a pixel partly inside counts.
    const int f = std::max(1, display_.view().aaFactor);
    for (int i = 0; i < dirty.count(); ++i) {
      const DeviceRect r = pixelRatio_ == 1.0 ? dirty.rect(i).inPixels(f) : bitmapPixels(dirty.rect(i), f);
      setup.dirty = ClipRect{r.left, r.top, r.right, r.bottom};
      painter_.paint(display_, renderer_, offscreen_, setup, true, pixelRatio_);
    }
  }
  display_.dirtyArea().clear();
  return offscreen_;
}

DeviceRect CorePlayer::bitmapPixels(const DeviceRect& subPixels, int factor) const {
  // Sub-pixels to bitmap pixels, outward, kept inside the bitmap. The
  // scaled view puts the stage on whole bitmap pixels, up to half a pixel
  // from the exact scale: one more pixel on each side covers that.
  const double k = pixelRatio_ / std::max(1, factor);
  auto down = [k](int32_t v, int limit) {
    return static_cast<int32_t>(std::clamp<double>(std::floor(v * k) - 1, 0, limit));
  };
  auto up = [k](int32_t v, int limit) {
    return static_cast<int32_t>(std::clamp<double>(std::ceil(v * k) + 1, 0, limit));
  };
  return DeviceRect{down(subPixels.left, offscreen_.width()), down(subPixels.top, offscreen_.height()),
                    up(subPixels.right, offscreen_.width()), up(subPixels.bottom, offscreen_.height())};
}

bool CorePlayer::redrawInto(RenderTarget& target) {
  if ((target.width() != offscreen_.width() || target.height() != offscreen_.height()) &&
      !target.resize(offscreen_.width(), offscreen_.height()))
    return false;
  FrameSetup setup = frameSetup();
  setup.dirty = ClipRect{0, 0, target.width(), target.height()};
  painter_.paint(display_, renderer_, target, setup, false, pixelRatio_);
  return true;
}

const CodePage& CorePlayer::codePage() const { return script_->codePage(); }

}  // namespace kivra
