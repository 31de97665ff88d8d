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
#include <QTimer>

#include "platform/CommandLine.h"
#include "platform/PlatformPlayer.h"

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

  // One tick of the frame timer: a timer-driven frame step, skipped while a
  // tick is still running or a modal dialog is up (its nested event loop
  // would otherwise re-enter the core).
  void tick();
  bool frameTimerActive() const { return frameTimer_.isActive(); }
  int tickInterval() const { return frameTimer_.interval(); }
  bool caretVisible() const { return caretVisible_; }
  // Set once the "quit" host command arrived.
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
  void hostCommand(const std::string& command, const std::string& argument) override;

 private:
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
};

}  // namespace kivra
