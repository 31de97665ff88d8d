#pragma once
// The desktop host object: a PlatformPlayer whose host operations are served
// by a Qt window, a precise frame timer and a monotonic clock.
//
// Threading: everything, timers included, runs on the Qt GUI thread; a
// QApplication must exist before one is constructed. The player owns its
// window; the window's widgets call back into the player for input and
// painting.
//
// Re-entry: while a script runs long the player processes window events
// from inside the core (scriptClock, the slow-script question). Meanwhile
// coreBusy() is true and nothing may call into the core: the frame tick,
// input, commands and drops are refused, and the stage paints the last
// picture it rendered.
#include <cstdint>
#include <memory>
#include <string>

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include "platform/CommandLine.h"
#include "platform/PlatformPlayer.h"
#include "platform/desktop/QtAudioOutput.h"
#include "platform/desktop/QtDialogPrinter.h"

namespace kivra {

class PlayerWindow;
class StageWidget;

class DesktopPlayer : public PlatformPlayer {
 public:
  // The client size when no movie says otherwise.
  static constexpr int kDefaultWidth = 550;
  static constexpr int kDefaultHeight = 400;
  static constexpr const char* kProductName = "Vantorel Kivra Player 6";
  // The application name, which window titles end with.
  static constexpr const char* kAppName = "Kivra Player";
  // How often a long-running script lets the window repaint.
  static constexpr int kEventPumpMs = 50;
  // The headline of the message box when a movie does not open.
  static constexpr const char* kCannotOpenMovie = "The movie could not be opened.";

  // `options` supplies the stage size (--size) and quality; nothing is
  // loaded yet and the window is not shown.
  // Sound goes to `audio` (not owned; it must outlive the player), or
  // nowhere.
  explicit DesktopPlayer(const CommandLine& options, QtAudioOutput* audio = nullptr);
  ~DesktopPlayer() override;

  PlayerWindow& window() { return *window_; }
  StageWidget& stage() { return *stage_; }

  // Opens a movie file as the level-0 movie. The file is checked first: a
  // file that would not load leaves the playing movie as it was. Returns
  // the result; reports nothing.
  LoadResult openMovieFile(const std::string& path);
  // What a file dropped on the window does: openMovieFile, and a failure
  // is reported (reportError).
  LoadResult openDroppedFile(const std::string& path);
  // What Open Location's OK does: a local path or a file: URL is opened as
  // by openDroppedFile; a network URL is refused and reported.
  LoadResult openLocation(const QString& location);
  // Create Projector to `target`: this executable with the level-0 movie.
  bool createProjector(const std::string& target, std::string& error);

  // Loads a file that checkMovieFile passed, refreshes the window and
  // prints a warning about an incomplete movie.
  LoadResult loadCheckedMovie(const std::string& path);

  // Tells the person: `line` goes to stderr after "kivra-player: " and into
  // a message box over the window under `headline` (openDialog() while it
  // is open; it does not block).
  void reportError(const char* headline, const std::string& line);

  // A command from the menu bar, a shortcut or a popup menu; disabled
  // commands do nothing. Dialogs open without blocking.
  void runCommand(int id);
  // The dialog a command or an error opened, while it is open (tests
  // drive it).
  QDialog* openDialog() const { return dialog_.data(); }
  // The client size that full screen will give back.
  QSize restoreClientSize() const { return restoreClient_; }

  // One tick of the frame timer: a timer-driven frame step, skipped while
  // the core is busy (see above).
  void tick();
  bool frameTimerActive() const { return frameTimer_.isActive(); }
  int tickInterval() const { return frameTimer_.interval(); }
  bool caretVisible() const { return caretVisible_; }
  // Set once the player quit (the "quit" host command, Exit).
  bool quitRequestedByMovie() const { return quitByMovie_; }
  // Whether window events are being handled from inside a core call.
  bool coreBusy() const { return coreBusy_; }
  // The person aborted a slow script: playback is paused until Play.
  bool pausedAfterAbort() const { return pausedAfterAbort_; }
  // Closing the window while a script runs aborts the script; the window
  // closes once the core has returned.
  void closeWhenIdle();
  // The focus changed while the core was busy: tell it at the next tick.
  void focusChangedWhileBusy() { focusOutOfDate_ = true; }

  // ---- Host operations ---------------------------------------------------
  void startFrameTimer(uint32_t tickMs, uint32_t caretMs) override;
  void stopFrameTimer() override;
  PixelRect clientRectangle() override;
  void updateNow() override;
  void invalidate() override;
  void movieSizeChanged(int width, int height) override;
  bool setCursor(CursorKind kind) override;
  bool askToAbortSlowScript() override;
  // A message box, the first time only.
  void scriptOverMemoryBudget(size_t budgetBytes) override;
  void fillBackground(Rgba colour) override;
  uint32_t milliseconds() override;
  // Real time; while a script runs, window events are processed here (no
  // more often than every kEventPumpMs) so that the window repaints.
  uint32_t scriptClock() override;
  // The desktop's default browser (xdg-open); a browser takes no post data.
  void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) override;

 protected:
  void quitPlayer() override;
  void applyFullScreen(bool on) override;
  void applyMenuBar(bool shown) override;
  void movieUrlFailed(const std::string& error) override;

 private:
  void showDialog(QDialog* dialog);
  void askCreateProjector();
  // Processes pending events other than input, with the core marked busy.
  void pumpEvents();
  // Work that waited for the core to return: a pause after an abort, a
  // focus change, a close.
  void afterCoreReturned();

  int forcedWidth_ = 0;  // --size, which wins over the movie's rectangle
  int forcedHeight_ = 0;

  std::unique_ptr<PlayerWindow> window_;
  // Prints over the window; declared after it, so it goes first.
  std::unique_ptr<QtDialogPrinter> printer_;
  StageWidget* stage_ = nullptr;  // owned by window_

  QElapsedTimer clock_;
  QElapsedTimer sincePump_;  // since events were last processed
  QTimer frameTimer_;
  // Keeps the sound output fed while a movie plays.
  QtAudioOutput* audio_ = nullptr;
  QTimer audioTimer_;
  QTimer caretTimer_;
  QTimer streamTimer_;
  bool tickPending_ = false;
  bool coreBusy_ = false;
  bool caretVisible_ = false;
  bool quitByMovie_ = false;
  bool abortAnswered_ = false;  // yes to the slow-script question, not acted on yet
  bool pausedAfterAbort_ = false;
  bool focusOutOfDate_ = false;
  bool closeWanted_ = false;
  bool destroying_ = false;
  bool memoryNoticeShown_ = false;
  uint32_t closeClockJump_ = 0;  // how far scriptClock() runs ahead after a close

  // Full screen gives back this window rectangle and client size; a movie
  // that changes size meanwhile updates the client size.
  QRect restoreGeometry_;
  QSize restoreClient_;
  QPointer<QDialog> dialog_;
};

}  // namespace kivra
