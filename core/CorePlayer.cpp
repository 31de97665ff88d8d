#include "core/CorePlayer.h"

#include <algorithm>

#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {
constexpr uint32_t kClockMask = 0x7FFFFFFF;
constexpr uint32_t kCaretIntervalMs = 400;

// now < then on the 31-bit clock, allowing for wrap.
bool clockBefore(uint32_t now, uint32_t then) {
  return ((now - then) & kClockMask) > (kClockMask >> 1);
}
}  // namespace

CorePlayer::CorePlayer() : script_(std::make_unique<ScriptEngine>(*this)) {}

CorePlayer::~CorePlayer() {
  actions_.clear();
  script_.reset();
}

void CorePlayer::runQueuedActions() { script_->run(actions_, true); }

void CorePlayer::openMovie(const std::string& url) {
  (void)url;  // kept by the loader once URL streams exist
  unloadAll();
  startTime_ = milliseconds();
  level0_ = std::make_unique<TimelinePlayer>(*this, 0);
  timelines_.insert(timelines_.begin(), level0_.get());
}

void CorePlayer::feedMovie(const uint8_t* data, size_t count) {
  if (level0_) level0_->feed(data, count);
}

void CorePlayer::unloadAll() {
  if (timerRunning_) {
    stopFrameTimer();
    timerRunning_ = false;
  }
  timelines_.clear();
  actions_.clear();
  script_->movieUnloaded();
  level0_.reset();
  hasMovie_ = false;
  background_ = Rgba{255, 255, 255, 255};
  framesAdvanced_ = 0;
  needsDraw_ = true;
}

void CorePlayer::movieDataArrived(TimelinePlayer& timeline, const IntakeReport& report) {
  const MovieBuffer& movie = timeline.movie();
  if (report.corrupt) movieCorrupt();
  if (timeline.level() != 0) return;
  if (report.headerParsed) {
    framePeriod_ = movie.framePeriodMs();
    const RECT& r = movie.frameRect();
    movieSizeChanged((r.xmax - r.xmin) / 20, (r.ymax - r.ymin) / 20);
  }
  // Playback starts as soon as frame 0 has arrived.
  if (!hasMovie_ && movie.headerParsed() && (movie.framesLoaded() >= 0 || movie.complete()))
    startPlayback();
}

void CorePlayer::startPlayback() {
  level0_->seek(0);
  hasMovie_ = true;
  if (!timerRunning_) {
    startFrameTimer(std::max<uint32_t>(1, framePeriod_ / 10), kCaretIntervalMs);
    timerRunning_ = true;
    nextFrameTime_ = milliseconds() & kClockMask;
  }
  needsDraw_ = true;
  runQueuedActions();
}

void CorePlayer::setBackgroundColor(Rgba colour) {
  colour.a = 255;
  if (colour == background_) return;
  background_ = colour;
  needsDraw_ = true;
}

void CorePlayer::advanceTimelines() {
  // A timeline may add or remove timelines while it runs: walk a copy.
  const std::vector<TimelinePlayer*> order = timelines_;
  for (TimelinePlayer* t : order) t->advance();
  ++framesAdvanced_;
}

void CorePlayer::frameStep(bool timerDriven) {
  if (quitRequested_) {
    hostCommand("quit", "");
    unloadAll();
    quitRequested_ = false;
    return;
  }
  if (!hasMovie_) return;

  const uint32_t now = milliseconds() & kClockMask;
  if (serviceStreams() && timerDriven && clockBefore(now, nextFrameTime_)) updateNow();

  // Frames to advance: one, unless a streaming sound sets the pace.
  const int frames = 1;

  if (timerDriven && clockBefore(now, nextFrameTime_)) {
    serviceIntervalTimers(true);
    runQueuedActions();
    return;
  }

  nextFrameTime_ = (now + framePeriod_) & kClockMask;
  for (int i = 0; i < frames; ++i) {
    advanceTimelines();
    serviceIntervalTimers(false);
    runQueuedActions();
  }
  needsDraw_ = true;
  updateNow();
  if (autoQuality_) measureAutoQuality(now, frames);
}

void CorePlayer::measureAutoQuality(uint32_t startMs, int framesAdvanced) {
  const uint32_t took = ((milliseconds() & kClockMask) - startMs) & kClockMask;
  ++measuredSteps_;
  ++stepsSinceChange_;
  if (took > framePeriod_ || framesAdvanced > 1) ++lateSteps_;
  if (took < framePeriod_ / 4) ++fastSteps_;
  if (measuredSteps_ <= 4 || stepsSinceChange_ <= 10) return;
  bool changed = false;
  if (quality_ == Quality::High && measuredSteps_ < 3 * lateSteps_) {
    quality_ = Quality::Low;
    changed = true;
  } else if (quality_ == Quality::Low && measuredSteps_ < 3 * fastSteps_) {
    quality_ = Quality::High;
    changed = true;
  }
  if (changed) {
    measuredSteps_ = lateSteps_ = fastSteps_ = stepsSinceChange_ = 0;
    needsDraw_ = true;
    invalidate();
  }
}

void CorePlayer::mouseMove(int x, int y) {
  pointerX_ = x;
  pointerY_ = y;
}

void CorePlayer::mouseDown() { mouseButtonDown_ = true; }
void CorePlayer::mouseUp() { mouseButtonDown_ = false; }
void CorePlayer::mouseLeft() {}
void CorePlayer::keyDown(const KeyEvent& key) { (void)key; }
void CorePlayer::keyUp(const KeyEvent& key) { (void)key; }
void CorePlayer::typedCharacter(uint32_t character) { (void)character; }
void CorePlayer::focusChanged(bool focused) { (void)focused; }

const RenderTarget& CorePlayer::render() {
  const PixelRect client = clientRectangle();
  if (client.width() != offscreen_.width() || client.height() != offscreen_.height()) {
    if (!offscreen_.resize(std::max(0, client.width()), std::max(0, client.height())))
      offscreen_.resize(0, 0);
    needsDraw_ = true;
  }
  if (needsDraw_) {
    const uint32_t bg = 0xFF000000u | (static_cast<uint32_t>(background_.r) << 16) |
                        (static_cast<uint32_t>(background_.g) << 8) | background_.b;
    offscreen_.fill(bg);
    needsDraw_ = false;
  }
  return offscreen_;
}

}  // namespace kivra
