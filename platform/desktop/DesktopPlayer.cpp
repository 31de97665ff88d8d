#include "platform/desktop/DesktopPlayer.h"

#include <algorithm>
#include <cstdio>

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QColor>
#include <QCursor>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include "core/net/UrlRecord.h"
#include "platform/ProjectorFile.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/PlayerWindow.h"
#include "platform/desktop/QtClipboard.h"

namespace kivra {

namespace {
// Each call of scriptClock() after the window was closed during a script
// runs this far ahead, so that the core's next check finds the script slow.
constexpr uint32_t kCloseClockJumpMs = 20000;
}  // namespace

DesktopPlayer::DesktopPlayer(const CommandLine& options, QtAudioOutput* audio)
    : PlatformPlayer(audio, std::make_unique<QtClipboard>()), forcedWidth_(options.width), forcedHeight_(options.height), audio_(audio) {
  clock_.start();
  sincePump_.start();
  if (options.quality) core().setQuality(*options.quality);
  if (options.autoQuality) core().setAutoQuality(true);
  if (options.seed) core().seedRandom(*options.seed);
  if (options.noFastPaths) core().script().setFastPaths(false);
  if (options.codePage != 1252) useCodePage(options.codePage);
  core().setMemoryBudget(size_t{options.memoryLimitMb} << 20);
  setDebug(options.debug);

  window_ = std::make_unique<PlayerWindow>(*this);
  stage_ = &window_->stage();
  printer_ = std::make_unique<QtDialogPrinter>(window_.get());
  setPrinter(printer_.get());
  if (forcedWidth_ > 0 && forcedHeight_ > 0)
    window_->resizeClientTo(forcedWidth_, forcedHeight_);
  else
    window_->resizeClientTo(kDefaultWidth, kDefaultHeight);

  // The default coarse timer allows 5% slack; frames need the precise one.
  frameTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&frameTimer_, &QTimer::timeout, &frameTimer_, [this] { tick(); });
  QObject::connect(&caretTimer_, &QTimer::timeout, &caretTimer_,
                   [this] { caretVisible_ = !caretVisible_; });
  // Every half of a mixer buffer (46 ms) the output gets what it has room for.
  audioTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&audioTimer_, &QTimer::timeout, &audioTimer_, [this] {
    if (audio_ && !coreBusy_) core().mixAudio(audio_->framesWanted());
  });
  // Streams arrive between frame ticks too: before a movie plays (the main
  // movie by URL) and while it is stopped.
  QObject::connect(&streamTimer_, &QTimer::timeout, &streamTimer_, [this] {
    if (tickPending_ || coreBusy_ || frameTimer_.isActive()) return;
    tickPending_ = true;
    deliverStreams();
    tickPending_ = false;
    afterCoreReturned();
  });
  streamTimer_.start(15);
}

DesktopPlayer::~DesktopPlayer() {
  // Unload while this object's host operations still exist, and without
  // handling window events from the scripts that unloading runs.
  destroying_ = true;
  delete dialog_.data();
  core().unloadAll();
  frameTimer_.stop();
  caretTimer_.stop();
  audioTimer_.stop();
  streamTimer_.stop();
}

// ---- Opening movies -------------------------------------------------------------

LoadResult DesktopPlayer::openMovieFile(const std::string& path) {
  const MovieCheck check = checkMovieFile(path);
  if (!check.result.ok) return check.result;
  return loadCheckedMovie(path);
}

LoadResult DesktopPlayer::loadCheckedMovie(const std::string& path) {
  const LoadResult result = loadMovieFile(path);
  if (!result.ok) {
    // The file changed since it was checked: the old movie is gone anyway.
    fillBackground(Rgba{255, 255, 255, 255});
  } else if (const std::string warning = loadWarning(); !warning.empty()) {
    std::fprintf(stderr, "kivra-player: %s: %s\n", path.c_str(), warning.c_str());
  }
  stage_->update();
  window_->refreshCommandStates();
  return result;
}

LoadResult DesktopPlayer::openDroppedFile(const std::string& path) {
  const LoadResult result = openMovieFile(path);
  if (!result.ok) reportError(kCannotOpenMovie, result.error);
  return result;
}

void DesktopPlayer::movieUrlFailed(const std::string& error) { reportError(kCannotOpenMovie, error); }

LoadResult DesktopPlayer::openLocation(const QString& location) {
  const QString text = location.trimmed();
  QString path = text;
  const QUrl url(text);
  if (url.isLocalFile()) {
    path = url.toLocalFile();
  } else if (isNetworkUrl(text.toStdString())) {
    // The window stays responsive while the server answers; a failure is
    // reported when it comes.
    return loadMovieUrl(text.toStdString(), 0);
  } else if (url.scheme().size() > 1) {
    // A one-letter scheme would be a drive letter elsewhere.
    const LoadResult result{false, text.toStdString() + ": only http, https, ftp and file locations can be opened"};
    reportError(kCannotOpenMovie, result.error);
    return result;
  }
  return openDroppedFile(QFile::encodeName(path).toStdString());
}

bool DesktopPlayer::createProjector(const std::string& target, std::string& error) {
  const TimelinePlayer* root = core().level0();
  if (embedded() || !root || !root->movie().complete()) {
    error = "no completely loaded movie";
    return false;
  }
  const MovieBuffer& movie = root->movie();
  return writeProjector(executablePath(), target, movie.data(), static_cast<size_t>(movie.fileLength()),
                        error);
}

void DesktopPlayer::reportError(const char* headline, const std::string& line) {
  std::fprintf(stderr, "kivra-player: %s\n", line.c_str());
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kAppName), QString::fromUtf8(headline),
                              QMessageBox::Ok, window_.get());
  box->setInformativeText(QString::fromLocal8Bit(line));
  showDialog(box);
}

// ---- Commands -----------------------------------------------------------------------

void DesktopPlayer::runCommand(int id) {
  if (coreBusy_ || !commandState(id).enabled) return;
  if (!playerCommand(id)) {
    switch (id) {
      case command::kOpen: {
        auto* dialog = new OpenLocationDialog(window_.get());
        QObject::connect(dialog, &QDialog::accepted, dialog, [this, dialog] {
          // Opened from the event loop, once the dialog is done with its
          // signals: a long first-frame script processes events, and with
          // them the dialog's deletion.
          QMetaObject::invokeMethod(
              window_.get(), [this, location = dialog->location()] {
                // A failure is already shown in a message box.
                (void)openLocation(location);
              },
              Qt::QueuedConnection);
        });
        showDialog(dialog);
        break;
      }
      case command::kAbout:
      case command::kAboutFromContextMenu:
        showDialog(new AboutDialog(window_.get()));
        break;
      case command::kCreateProjector:
        askCreateProjector();
        break;
      case command::kPrint:
        // Modal: the frame step waits until the job is done.
        core().printFromHost();
        break;
      case command::kSettings:
        core().showSettingsFromHost();
        break;
      default:
        break;
    }
  }
  // Play goes on from a pause that an aborted script left.
  if (id == command::kPlay && pausedAfterAbort_ && core().hasMovie()) {
    pausedAfterAbort_ = false;
    frameTimer_.start();
  }
  window_->refreshCommandStates();
}

void DesktopPlayer::showDialog(QDialog* dialog) {
  // One dialog at a time; open() keeps the frame timer running. The old
  // one may be the dialog whose signal got us here: it goes later.
  if (QDialog* old = dialog_.data()) {
    old->hide();
    old->deleteLater();
  }
  dialog_ = dialog;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

void DesktopPlayer::askCreateProjector() {
  auto* dialog = new QFileDialog(window_.get(), QStringLiteral("Create Projector"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  // Executables here carry no extension.
  dialog->setNameFilter(QStringLiteral("Projector (*)"));
  QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [this](const QString& file) {
    std::string error;
    if (!createProjector(QFile::encodeName(file).toStdString(), error))
      reportError("The projector could not be created.", QFile::encodeName(file).toStdString() + ": " + error);
  });
  showDialog(dialog);
}

// ---- The frame tick and re-entry ------------------------------------------------------

void DesktopPlayer::tick() {
  // The event loop is running: a script that starts now has not run long.
  sincePump_.start();
  // A QTimer never queues more than one timeout, so at most one tick is
  // pending; tickPending_ only keeps nested event loops from re-entering.
  if (tickPending_ || coreBusy_) return;
  afterCoreReturned();
  if (pausedAfterAbort_ || quitByMovie_) return;
  tickPending_ = true;
  deliverStreams();
  core().frameStep(true);
  tickPending_ = false;
  afterCoreReturned();
  reapPrograms();
  // Shortcuts of disabled commands must not fire: keep the states current.
  if (!quitByMovie_) window_->refreshCommandStates();
}

void DesktopPlayer::afterCoreReturned() {
  if (closeWanted_) {
    closeWanted_ = false;
    window_->close();
    return;
  }
  if (abortAnswered_) {
    // A frame script that never ends would run again as soon as the
    // timeline comes back to its frame, and an enterFrame or interval
    // handler at the next step: each time another stall until the question.
    // Pause instead; Play goes on.
    abortAnswered_ = false;
    if (TimelinePlayer* root = core().level0()) root->stop();
    frameTimer_.stop();
    pausedAfterAbort_ = true;
    window_->refreshCommandStates();
  }
  if (focusOutOfDate_) {
    focusOutOfDate_ = false;
    core().focusChanged(stage_->hasFocus());
  }
}

void DesktopPlayer::closeWhenIdle() {
  closeWanted_ = true;
}

void DesktopPlayer::pumpEvents() {
  coreBusy_ = true;
  // Input waits in the queue until the script is over; paints, exposes,
  // window-manager pings and timers (which do nothing while busy) run now.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  coreBusy_ = false;
  sincePump_.start();
}

uint32_t DesktopPlayer::scriptClock() {
  if (!coreBusy_ && !destroying_ && sincePump_.hasExpired(kEventPumpMs)) pumpEvents();
  // After a close the script clock runs ahead, so the core asks about the
  // script at its next check and askToAbortSlowScript says yes.
  if (closeWanted_) closeClockJump_ += kCloseClockJumpMs;
  return milliseconds() + closeClockJump_;
}

bool DesktopPlayer::askToAbortSlowScript() {
  if (closeWanted_) return true;
  coreBusy_ = true;
  const QMessageBox::StandardButton answer = QMessageBox::warning(
      window_.get(), QString::fromUtf8(kProductName),
      QStringLiteral("A script in this movie is causing Vantorel Kivra Player 6 to run slowly.  "
                     "If it continues to run, your computer may become unresponsive.  "
                     "Do you want to abort the script?"),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  coreBusy_ = false;
  sincePump_.start();
  // The dialog may have covered the stage; the script still runs, so the
  // repaint waits for the next pump or the end of the script.
  stage_->update();
  if (closeWanted_ || answer == QMessageBox::Yes) {
    abortAnswered_ = !closeWanted_;
    return true;
  }
  return false;
}

void DesktopPlayer::scriptOverMemoryBudget(size_t budgetBytes) {
  // The script stops at once; the person hears of it once per player.
  if (memoryNoticeShown_ || closeWanted_) return;
  memoryNoticeShown_ = true;
  std::fprintf(stderr, "kivra-player: script aborted: the movie holds more than %zu MB\n", budgetBytes >> 20);
  coreBusy_ = true;
  QMessageBox::warning(window_.get(), QString::fromUtf8(kProductName),
                       QStringLiteral("A script in this movie used more memory than the player allows (%1 MB), "
                                      "so it was stopped. The movie plays on; parts of it may not work.")
                           .arg(static_cast<qulonglong>(budgetBytes >> 20)));
  coreBusy_ = false;
  sincePump_.start();
  stage_->update();
}

// ---- Host operations ----------------------------------------------------------

void DesktopPlayer::startFrameTimer(uint32_t tickMs, uint32_t caretMs) {
  // A new movie: whatever the last picture was, it is not this movie's.
  stage_->forgetPicture();
  window_->refreshTitle();
  pausedAfterAbort_ = false;
  abortAnswered_ = false;
  caretTimer_.start(static_cast<int>(std::max<uint32_t>(1, caretMs)));
  frameTimer_.start(static_cast<int>(std::max<uint32_t>(1, tickMs)));
  if (audio_) audioTimer_.start(23);
}

void DesktopPlayer::stopFrameTimer() {
  caretTimer_.stop();
  frameTimer_.stop();
  audioTimer_.stop();
  pausedAfterAbort_ = false;
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
  // In full screen the new size waits until full screen is left.
  if (fullScreen()) {
    restoreClient_ = QSize(width, height);
    return;
  }
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

void DesktopPlayer::fillBackground(Rgba colour) {
  // Qt paints only inside paint events: remember the colour and repaint.
  stage_->setEmptyColour(QColor(colour.r, colour.g, colour.b));
}

uint32_t DesktopPlayer::milliseconds() { return static_cast<uint32_t>(clock_.elapsed()); }

void DesktopPlayer::openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
  PlatformPlayer::openInBrowser(url, window, postData);
  const QUrl target(QString::fromStdString(url));
  if (target.isValid()) QDesktopServices::openUrl(target);
}

void DesktopPlayer::quitPlayer() {
  quitByMovie_ = true;
  stopFrameTimer();
  delete dialog_.data();
  window_->close();
  QCoreApplication::exit(0);
}

void DesktopPlayer::applyFullScreen(bool on) {
  QMenuBar* bar = window_->menuBar();
  if (on) {
    restoreGeometry_ = window_->geometry();
    restoreClient_ = stage_->size();
    bar->hide();
    window_->showFullScreen();
  } else {
    window_->showNormal();
    bar->setVisible(menuBarWanted());
    window_->setGeometry(restoreGeometry_);
    window_->resizeClientTo(restoreClient_.width(), restoreClient_.height());
  }
  core().redrawAll();
}

void DesktopPlayer::applyMenuBar(bool shown) {
  window_->menuBar()->setVisible(shown);
  core().redrawAll();
}

}  // namespace kivra
