#include "platform/desktop/DesktopPlayer.h"

#include <algorithm>

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QMessageBox>

#include "platform/desktop/PlayerWindow.h"

namespace kivra {

namespace {
// Host command names are compared with a-z folded to A-Z.
bool sameCommand(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return i == a.size() && !b[i];
}
}  // namespace

DesktopPlayer::DesktopPlayer(const CommandLine& options)
    : forcedWidth_(options.width), forcedHeight_(options.height) {
  clock_.start();
  if (options.quality) setQuality(*options.quality);

  window_ = std::make_unique<PlayerWindow>(*this);
  stage_ = &window_->stage();
  if (forcedWidth_ > 0 && forcedHeight_ > 0)
    window_->resizeClientTo(forcedWidth_, forcedHeight_);
  else
    window_->resizeClientTo(kDefaultWidth, kDefaultHeight);

  // The default coarse timer allows 5% slack; frames need the precise one.
  frameTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&frameTimer_, &QTimer::timeout, &frameTimer_, [this] { tick(); });
  QObject::connect(&caretTimer_, &QTimer::timeout, &caretTimer_,
                   [this] { caretVisible_ = !caretVisible_; });
}

DesktopPlayer::~DesktopPlayer() {
  // Unload while this object's host operations still exist.
  unloadAll();
  frameTimer_.stop();
  caretTimer_.stop();
}

LoadResult DesktopPlayer::openDroppedFile(const std::string& path) {
  LoadResult result = loadMovieFile(path);
  stage_->update();
  return result;
}

void DesktopPlayer::tick() {
  // A QTimer never queues more than one timeout, so at most one tick is
  // pending; this flag only keeps nested event loops from re-entering.
  if (tickPending_ || modal_) return;
  tickPending_ = true;
  frameStep(true);
  tickPending_ = false;
}

// ---- Host operations ----------------------------------------------------------

void DesktopPlayer::startFrameTimer(uint32_t tickMs, uint32_t caretMs) {
  caretTimer_.start(static_cast<int>(std::max<uint32_t>(1, caretMs)));
  frameTimer_.start(static_cast<int>(std::max<uint32_t>(1, tickMs)));
}

void DesktopPlayer::stopFrameTimer() {
  caretTimer_.stop();
  frameTimer_.stop();
}

PixelRect DesktopPlayer::clientRectangle() {
  if (!stage_) return {};
  return PixelRect{0, 0, stage_->width(), stage_->height()};
}

void DesktopPlayer::updateNow() {
  if (stage_ && stage_->isVisible()) stage_->repaint();
}

void DesktopPlayer::invalidate() {
  if (stage_) stage_->update();
}

void DesktopPlayer::movieSizeChanged(int width, int height) {
  if (forcedWidth_ > 0 && forcedHeight_ > 0) {
    width = forcedWidth_;
    height = forcedHeight_;
  }
  if (width <= 0 || height <= 0) return;
  window_->resizeClientTo(width, height);
}

bool DesktopPlayer::setCursor(CursorKind kind) {
  Qt::CursorShape shape;
  switch (static_cast<int>(kind)) {
    case 0: shape = Qt::BlankCursor; break;          // a movie hid the pointer
    case 1: shape = Qt::ArrowCursor; break;
    case 2: shape = Qt::PointingHandCursor; break;   // over a button or link
    case 3: shape = Qt::ClosedHandCursor; break;     // panning a zoomed view
    case 4: shape = Qt::IBeamCursor; break;          // over selectable text
    default: return false;
  }
  stage_->setCursor(QCursor(shape));
  return true;
}

bool DesktopPlayer::askToAbortSlowScript() {
  modal_ = true;
  const QMessageBox::StandardButton answer = QMessageBox::warning(
      window_.get(), QString::fromUtf8(kProductName),
      QStringLiteral("A script in this movie is causing Vantorel Kivra Player 6 to run slowly.  "
                     "If it continues to run, your computer may become unresponsive.  "
                     "Do you want to abort the script?"),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  modal_ = false;
  // The dialog may have covered the stage.
  if (stage_->isVisible()) stage_->repaint();
  return answer == QMessageBox::Yes;
}

void DesktopPlayer::fillBackground(Rgba colour) {
  // Qt paints only inside paint events: remember the colour and repaint.
  stage_->setEmptyColour(QColor(colour.r, colour.g, colour.b));
}

uint32_t DesktopPlayer::milliseconds() { return static_cast<uint32_t>(clock_.elapsed()); }

void DesktopPlayer::hostCommand(const std::string& command, const std::string& argument) {
  (void)argument;
  if (sameCommand(command, "quit")) {
    quitByMovie_ = true;
    stopFrameTimer();
    window_->close();
    QCoreApplication::exit(0);
  }
  // The other host commands (full screen, scaling, menus, exec) come with
  // the menus.
}

}  // namespace kivra
