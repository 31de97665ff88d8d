#include "core/CorePlayer.h"

#include <algorithm>

#include "core/HostCommand.h"

namespace kivra {

namespace {
constexpr uint32_t kClockMask = 0x7FFFFFFF;
constexpr uint32_t kCaretIntervalMs = 400;

// now < then on the 31-bit clock, allowing for wrap.
bool clockBefore(uint32_t now, uint32_t then) {
  return ((now - then) & kClockMask) > (kClockMask >> 1);
}
}  // namespace

CorePlayer::CorePlayer() = default;
CorePlayer::~CorePlayer() = default;

void CorePlayer::openMovie(const std::string& url) {
  (void)url;  // kept by the loader once URL streams exist
  unloadAll();
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
  level0_.reset();
  hasMovie_ = false;
  zoomed_ = false;
  panning_ = false;
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
  // While panning, the zoomed part follows the pointer.
  if (panning_) pan(x - pointerX_, y - pointerY_);
  pointerX_ = x;
  pointerY_ = y;
}

void CorePlayer::mouseDown() {
  mouseButtonDown_ = true;
  // No buttons or text fields yet: a press on a zoomed view always lands on
  // the background and starts panning.
  if (zoomed_ && movieReady()) {
    panning_ = true;
    setCursor(CursorKind::Grab);
  }
}

void CorePlayer::mouseUp() {
  mouseButtonDown_ = false;
  endPanning();
}

void CorePlayer::mouseLeft() { endPanning(); }

void CorePlayer::endPanning() {
  if (!panning_) return;
  panning_ = false;
  setCursor(CursorKind::Arrow);
}
void CorePlayer::keyDown(const KeyEvent& key) { (void)key; }
void CorePlayer::keyUp(const KeyEvent& key) { (void)key; }
void CorePlayer::typedCharacter(uint32_t character) { (void)character; }
void CorePlayer::focusChanged(bool focused) { (void)focused; }

bool CorePlayer::movieReady() const {
  return level0_ && level0_->movie().headerParsed() && !level0_->movie().failed();
}

void CorePlayer::redrawAll() {
  needsDraw_ = true;
  invalidate();
}

// ---- Host commands from scripts -------------------------------------------------

bool CorePlayer::routeHostCommandUrl(const std::string& url, const std::string& target, bool* handled) {
  std::string_view name;
  if (!splitHostCommandUrl(url, name)) return false;
  const bool done = hostCommand(std::string(name), target);
  if (handled) *handled = done;
  return true;
}

void CorePlayer::setShowMenuFromScript(bool show) {
  if (show == showMenu_) return;
  showMenu_ = show;
  hostCommand("showmenu", show ? "true" : "false");
}

// ---- View ------------------------------------------------------------------------

RECT CorePlayer::frameRect() const {
  if (!level0_ || !level0_->movie().headerParsed()) return RECT{};
  return level0_->movie().frameRect();
}

ViewTransform CorePlayer::view() {
  const PixelRect client = clientRectangle();
  // The zoom rectangle frames the view except in noScale mode.
  const RECT framed = zoomed_ && scaleMode_ != ScaleMode::NoScale ? zoomRect_ : frameRect();
  const int factor = quality_ >= Quality::High ? 4 : quality_ == Quality::Medium ? 2 : 1;
  return computeView(client.width(), client.height(), framed, scaleMode_, align_, factor);
}

void CorePlayer::setScaleMode(ScaleMode mode, uint8_t align) {
  scaleMode_ = mode;
  align_ = align;
  redrawAll();
}

void CorePlayer::zoom(Fixed16 factor) { applyZoom(factor, false, 0, 0); }
void CorePlayer::zoomAt(Fixed16 factor, int x, int y) { applyZoom(factor, true, x, y); }

void CorePlayer::applyZoom(Fixed16 factor, bool atPoint, int x, int y) {
  if (!movieReady()) return;
  if (scaleMode_ == ScaleMode::NoScale) scaleMode_ = ScaleMode::ShowAll;
  const PixelRect client = clientRectangle();
  const ViewTransform v = view();
  const RECT visible = visibleRectangle(v, client.width(), client.height());
  int32_t cx = (visible.xmin + visible.xmax) / 2;
  int32_t cy = (visible.ymin + visible.ymax) / 2;
  if (atPoint) clientToMovie(v, x, y, cx, cy);
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
  if (scaleMode_ == ScaleMode::NoScale) scaleMode_ = ScaleMode::ShowAll;
  zoomed_ = false;
  redrawAll();
}

void CorePlayer::showActualSize() {
  zoomed_ = false;
  scaleMode_ = ScaleMode::NoScale;
  redrawAll();
}

void CorePlayer::pan(int dx, int dy) {
  if (!zoomed_ || (dx == 0 && dy == 0)) return;
  const ViewTransform v = view();
  // Dragging the picture right shows what lies to its left.
  const int32_t tx = static_cast<int32_t>(-(static_cast<int64_t>(dx) * v.factor << 16) / v.scaleX);
  const int32_t ty = static_cast<int32_t>(-(static_cast<int64_t>(dy) * v.factor << 16) / v.scaleY);
  const RECT moved = panRectangle(zoomRect_, frameRect(), tx, ty);
  if (moved == zoomRect_) return;
  zoomRect_ = moved;
  redrawAll();
}

const RenderTarget& CorePlayer::render() {
  const PixelRect client = clientRectangle();
  if (client.width() != offscreen_.width() || client.height() != offscreen_.height()) {
    if (!offscreen_.resize(std::max(0, client.width()), std::max(0, client.height())))
      offscreen_.resize(0, 0);
    needsDraw_ = true;
  }
  // A changed view redraws everything.
  const ViewTransform v = view();
  if (!(v == lastView_)) {
    lastView_ = v;
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
