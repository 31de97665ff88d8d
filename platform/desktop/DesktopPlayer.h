#pragma once
// The desktop host object: a PlatformPlayer whose host operations are served
// by a Qt window, a precise frame timer and a monotonic clock.
//
// Threading: everything, timers included, runs on the Qt GUI thread; a
// QApplication must exist before one is constructed. The player owns its
// window; the window's widgets call back into the player for input and
// painting.
#include <cstdint>
#include <memory>
#include <string>

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>

#include "platform/CommandLine.h"
#include "platform/PlatformPlayer.h"

#include <QDialog>

namespace kivra {

class PlayerWindow;
class StageWidget;


class DesktopPlayer : public PlatformPlayer {
 public:
  // The client size when no movie says otherwise.
  static constexpr int kDefaultWidth = 550;
  static constexpr int kDefaultHeight = 400;
  static constexpr const char* kProductName = "Vantorel Kivra Player 6";

  // `options` supplies the stage size (--size) and quality; nothing is
  // loaded yet and the window is not shown.
  explicit DesktopPlayer(const CommandLine& options);
  ~DesktopPlayer() override;

  PlayerWindow& window() { return *window_; }
  StageWidget& stage() { return *stage_; }

  // Replaces the level-0 movie with a file dropped on the window.
  LoadResult openDroppedFile(const std::string& path);
  // What Open Location's OK does: a local path or a file: URL becomes the
  // level-0 movie after the stage is cleared.
  LoadResult openLocation(const QString& location);
  // Create Projector to `target`: this executable with the level-0 movie.
  bool createProjector(const std::string& target, std::string& error);

  // A command from the menu bar, a shortcut or a popup menu; disabled
  // commands do nothing. Dialogs open without blocking.
  void runCommand(int id);
  // The dialog a command opened, while it is open (tests drive it).
  QDialog* openDialog() const { return dialog_.data(); }
  // The client size that full screen will give back.
  QSize restoreClientSize() const { return restoreClient_; }

  // One tick of the frame timer: a timer-driven frame step, skipped while a
  // tick is still running or a modal dialog is up (its nested event loop
  // would otherwise re-enter the core).
  void tick();
  bool frameTimerActive() const { return frameTimer_.isActive(); }
  int tickInterval() const { return frameTimer_.interval(); }
  bool caretVisible() const { return caretVisible_; }
  // Set once the player quit (the "quit" host command, Exit).
  bool quitRequestedByMovie() const { return quitByMovie_; }

  // ---- Host operations ---------------------------------------------------
  void startFrameTimer(uint32_t tickMs, uint32_t caretMs) override;
  void stopFrameTimer() override;
  PixelRect clientRectangle() override;
  void updateNow() override;
  void invalidate() override;
  void movieSizeChanged(int width, int height) override;
  bool setCursor(CursorKind kind) override;
  bool askToAbortSlowScript() override;
  void fillBackground(Rgba colour) override;
  uint32_t milliseconds() override;

 protected:
  void quitPlayer() override;
  void applyFullScreen(bool on) override;
  void applyMenuBar(bool shown) override;

 private:
  void showDialog(QDialog* dialog);
  void askCreateProjector();

  int forcedWidth_ = 0;  // --size, which wins over the movie's rectangle
  int forcedHeight_ = 0;

  std::unique_ptr<PlayerWindow> window_;
  StageWidget* stage_ = nullptr;  // owned by window_

  QElapsedTimer clock_;
  QTimer frameTimer_;
  QTimer caretTimer_;
  bool tickPending_ = false;
  bool modal_ = false;
  bool caretVisible_ = false;
  bool quitByMovie_ = false;

  // Full screen gives back this window rectangle and client size; a movie
  // that changes size meanwhile updates the client size.
  QRect restoreGeometry_;
  QSize restoreClient_;
  QPointer<QDialog> dialog_;
};

}  // namespace kivra
