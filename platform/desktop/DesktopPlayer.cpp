#include "platform/desktop/DesktopPlayer.h"

#include <algorithm>

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include "platform/ProjectorFile.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/PlayerWindow.h"

namespace kivra {

DesktopPlayer::DesktopPlayer(const CommandLine& options)
    : forcedWidth_(options.width), forcedHeight_(options.height) {
  clock_.start();
  if (options.quality) setQuality(*options.quality);
  if (options.autoQuality) setAutoQuality(true);
  if (options.seed) seedRandom(*options.seed);

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
  delete dialog_.data();
  unloadAll();
  frameTimer_.stop();
  caretTimer_.stop();
}

LoadResult DesktopPlayer::openDroppedFile(const std::string& path) {
  LoadResult result = loadMovieFile(path);
  stage_->update();
  window_->refreshCommandStates();
  return result;
}

LoadResult DesktopPlayer::openLocation(const QString& location) {
  const QString text = location.trimmed();
  QString path = text;
  const QUrl url(text);
  if (url.isLocalFile()) {
    path = url.toLocalFile();
  } else if (url.scheme().size() > 1) {
    // A one-letter scheme would be a drive letter elsewhere; here anything
    // with a real scheme needs the network.
    unloadAll();
    fillBackground(Rgba{255, 255, 255, 255});
    window_->refreshCommandStates();
    return LoadResult{false, text.toStdString() + ": network locations cannot be opened yet"};
  }
  fillBackground(Rgba{255, 255, 255, 255});
  return openDroppedFile(QFile::encodeName(path).toStdString());
}

bool DesktopPlayer::createProjector(const std::string& target, std::string& error) {
  const TimelinePlayer* root = level0();
  if (embedded() || !root || !root->movie().complete()) {
    error = "no completely loaded movie";
    return false;
  }
  const MovieBuffer& movie = root->movie();
  return writeProjector(executablePath(), target, movie.data(), static_cast<size_t>(movie.fileLength()),
                        error);
}

void DesktopPlayer::runCommand(int id) {
  if (!commandState(id).enabled) return;
  if (!playerCommand(id)) {
    switch (id) {
      case command::kOpen: {
        auto* dialog = new OpenLocationDialog(window_.get());
        QObject::connect(dialog, &QDialog::accepted, dialog, [this, dialog] {
          const LoadResult result = openLocation(dialog->location());
          if (!result.ok) std::fprintf(stderr, "%s\n", result.error.c_str());
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
      default:
        // Print and Settings wait for printing and the settings panel.
        break;
    }
  }
  window_->refreshCommandStates();
}

void DesktopPlayer::showDialog(QDialog* dialog) {
  // One dialog at a time; open() keeps the frame timer running.
  delete dialog_.data();
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
      std::fprintf(stderr, "%s\n", error.c_str());
  });
  showDialog(dialog);
}
void DesktopPlayer::tick() {
  // A QTimer never queues more than one timeout, so at most one tick is
  // pending; this flag only keeps nested event loops from re-entering.
  if (tickPending_ || modal_) return;
  tickPending_ = true;
  frameStep(true);
  tickPending_ = false;
  reapPrograms();
  // Shortcuts of disabled commands must not fire: keep the states current.
  if (!quitByMovie_) window_->refreshCommandStates();
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
  redrawAll();
}

void DesktopPlayer::applyMenuBar(bool shown) {
  window_->menuBar()->setVisible(shown);
  redrawAll();
}

}  // namespace kivra
