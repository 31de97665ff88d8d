#pragma once
// The headless host: no window, no audio device. A virtual millisecond clock
// advances exactly one frame period before every frame step, so every run is
// deterministic.
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/InputScript.h"
#include "platform/PlatformPlayer.h"

namespace kivra {

class HeadlessPlayer : public PlatformPlayer {
 public:
  // Stage used when there is no movie and no --size.
  static constexpr int kDefaultWidth = 550;
  static constexpr int kDefaultHeight = 400;
  // Repaint audit differences reported before the rest are only counted.
  static constexpr int kMaxAuditReports = 10;

  // Sound goes to `audio` (not owned; it must outlive the player), or nowhere.
  explicit HeadlessPlayer(const CommandLine& options, AudioOutput* audio = nullptr);
  // Unloads while this object's host operations still exist: unloading
  // writes shared objects, which may run the settings' scripts.
  ~HeadlessPlayer() override { core().unloadAll(); }

  void startFrameTimer(uint32_t tickMs, uint32_t caretMs) override;
  void stopFrameTimer() override { timerRunning_ = false; }
  PixelRect clientRectangle() override;
  void updateNow() override {}
  void invalidate() override {}
  void movieSizeChanged(int width, int height) override;
  // Only remembered: the host state line shows the last kind.
  bool setCursor(CursorKind kind) override {
    cursor_ = kind;
    return true;
  }
  // Nobody can answer: a runaway script is always aborted, with a line on
  // stderr.
  bool askToAbortSlowScript() override;
  void scriptOverMemoryBudget(size_t budgetBytes) override;
  void fillBackground(Rgba) override {}
  uint32_t milliseconds() override { return clock_; }
  // With --trace, every Trace action's string goes to standard output.
  void trace(const std::string& line) override;
  // The virtual clock stands still while a script runs: time scripts by
  // the real clock.
  uint32_t scriptClock() override;

  // Runs `steps` timer-driven frame steps, delivering the input events of
  // each step just before it. Stops early when the movie quits.
  void run(long steps, const std::vector<InputEvent>& input);
  // One of those steps, numbered from 1; `next` is the first event of
  // `input` not yet delivered, and moves past this step's.
  void runStep(long step, const std::vector<InputEvent>& input, size_t& next);
  bool quit() const { return quit_; }
  long stepsRun() const { return stepsRun_; }
  bool timerRunning() const { return timerRunning_; }
  void advanceClock(uint32_t ms) { clock_ += ms; }
  // Sends the mix up to `ms` on the virtual clock to the audio output: the
  // output plays what it is given at once, so a buffer is heard exactly
  // when the clock passes its end. Stops sending once the output failed.
  void mixUntil(uint64_t ms);
  uint64_t mixedFrames() const { return mixedFrames_; }

  // With --audit-repaint: repaints the dirty area as the window would and
  // compares the result with a full redraw; a difference is reported on
  // stderr with `when` and the rectangle that differs. Returns false then.
  bool auditRepaint(const std::string& when);
  int auditFailures() const { return auditFailures_; }
  // With --render-every-step: the steps drawn and the CPU time spent drawing
  // them and in the whole steps (drawing included), in milliseconds.
  long stepsRendered() const { return stepsRendered_; }
  double renderMs() const { return renderMs_; }
  double stepMs() const { return stepMs_; }

  // The stage as 8-bit RGB.
  bool writeScreenshot(const std::string& path);

  // There is no window: host commands only change this recorded state.
  bool menuBarShown() const { return menuBarShown_; }
  // One line of host state for --dump-display.
  std::string hostStateText() const;

 protected:
  void quitPlayer() override { quit_ = true; }
  void applyFullScreen(bool on) override;
  void applyMenuBar(bool shown) override;

 private:
  void deliver(const InputEvent& ev);

  uint64_t mixedFrames_ = 0;
  uint64_t runMs_ = 0;  // the virtual time the steps have covered
  bool audioFailed_ = false;
  int width_ = 0;
  int height_ = 0;
  bool sizeFixed_ = false;
  bool trace_ = false;
  uint32_t clock_ = 0;
  bool timerRunning_ = false;
  bool quit_ = false;
  bool menuBarShown_ = true;
  CursorKind cursor_ = CursorKind::Arrow;  // the arrow until the player sets one
  long stepsRun_ = 0;
  bool audit_ = false;
  int auditFailures_ = 0;
  RenderTarget auditTarget_;
  bool renderEveryStep_ = false;
  long stepsRendered_ = 0;
  double renderMs_ = 0;
  double stepMs_ = 0;
  uint32_t scriptTimeoutS_ = 15;
  uint32_t loadTimeoutMs_ = 30000;  // a stream silent this long fails
};

// Reads --input's events; on failure prints one line and returns false.
bool readInputEvents(const std::string& file, std::vector<InputEvent>& out);
// Loads the command line's movie (a file, a URL, or the embedded one); on
// failure prints one line and returns false. Warnings are printed too.
bool loadCommandLineMovie(HeadlessPlayer& player, const CommandLine& options);

// The whole headless run for main(): returns the process exit status.
// Print jobs go to `printer` (not owned), or nowhere.
int runHeadless(const CommandLine& options, Printer* printer = nullptr);

}  // namespace kivra
