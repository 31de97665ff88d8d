#include "platform/headless/HeadlessPlayer.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/net/UrlRecord.h"
#include "core/script/ScriptEngine.h"
#include "core/sound/SoundMixer.h"
#include "core/movie/DisplayDump.h"
#include "platform/PngImage.h"
#include "platform/headless/WavFileSink.h"

namespace kivra {

HeadlessPlayer::HeadlessPlayer(const CommandLine& options, AudioOutput* audio)
    : PlatformPlayer(audio),
      trace_(options.trace), audit_(options.auditRepaint), renderEveryStep_(options.renderEveryStep),
      scriptTimeoutS_(options.scriptTimeout),
      loadTimeoutMs_(static_cast<uint32_t>(options.loadTimeout) * 1000) {
  core().script().setSlowScriptLimit(scriptTimeoutS_ * 1000);
  core().setMemoryBudget(size_t{options.memoryLimitMb} << 20);
  setDebug(options.debug);
  if (options.width > 0 && options.height > 0) {
    width_ = options.width;
    height_ = options.height;
    sizeFixed_ = true;
  }
  if (options.quality) core().setQuality(*options.quality);
  if (options.autoQuality) core().setAutoQuality(true);
  if (options.seed) core().seedRandom(*options.seed);
  if (options.noFastPaths) core().script().setFastPaths(false);
  if (options.codePage != 1252) useCodePage(options.codePage);
}

void HeadlessPlayer::startFrameTimer(uint32_t tickMs, uint32_t caretMs) {
  (void)tickMs;
  (void)caretMs;
  timerRunning_ = true;
}

PixelRect HeadlessPlayer::clientRectangle() {
  if (width_ > 0 && height_ > 0) return PixelRect{0, 0, width_, height_};
  return PixelRect{0, 0, kDefaultWidth, kDefaultHeight};
}

void HeadlessPlayer::movieSizeChanged(int width, int height) {
  if (sizeFixed_) return;
  // A movie with an empty or inverted frame rectangle still gets a stage.
  width_ = width > 0 ? width : 1;
  height_ = height > 0 ? height : 1;
}

void HeadlessPlayer::applyFullScreen(bool on) {
  // Like a window: the menu bar goes in full screen and comes back as wanted.
  menuBarShown_ = on ? false : menuBarWanted();
}

void HeadlessPlayer::applyMenuBar(bool shown) { menuBarShown_ = shown; }

std::string HeadlessPlayer::hostStateText() const {
  static const char* const kModes[] = {"showAll", "noBorder", "exactFit", "noScale"};
  char line[176];
  std::snprintf(line, sizeof line,
                "host fullscreen=%d menubar=%d showmenu=%d scale=%s align=0x%02x trapallkeys=%d cursor=%d\n",
                fullScreen() ? 1 : 0, menuBarShown_ ? 1 : 0, core().showMenu() ? 1 : 0,
                kModes[static_cast<int>(core().scaleMode()) & 3], core().alignment(), trapAllKeys() ? 1 : 0,
                static_cast<int>(cursor_));
  return line;
}

void HeadlessPlayer::deliver(const InputEvent& ev) {
  switch (ev.kind) {
    case InputEvent::Kind::Mouse:
      core().mouseMove(ev.x, ev.y);
      break;
    case InputEvent::Kind::Down:
      core().mouseDown();
      break;
    case InputEvent::Kind::Up:
      core().mouseUp();
      break;
    case InputEvent::Kind::KeyDown:
      core().keyDown(ev.key);
      break;
    case InputEvent::Kind::KeyUp:
      core().keyUp(ev.key);
      break;
    case InputEvent::Kind::Type:
      core().typedCharacter(ev.character);
      break;
  }
}

bool HeadlessPlayer::askToAbortSlowScript() {
  const TimelinePlayer* root = core().level0();
  std::fprintf(stderr, "kivra-player: script aborted after %u s in frame %d\n", scriptTimeoutS_,
               root ? root->currentFrame() + 1 : 0);
  return true;
}

void HeadlessPlayer::scriptOverMemoryBudget(size_t budgetBytes) {
  const TimelinePlayer* root = core().level0();
  std::fprintf(stderr, "kivra-player: script aborted: the movie holds more than %zu MB, in frame %d\n",
               budgetBytes >> 20, root ? root->currentFrame() + 1 : 0);
}

bool HeadlessPlayer::auditRepaint(const std::string& when) {
  // The rectangles about to be repainted, in pixels, for the report.
  core().updateView();
  core().display().update();
  std::string repainted;
  const DirtyArea& dirty = core().display().dirtyArea();
  const int f = std::max(1, core().display().view().aaFactor);
  for (int i = 0; i < dirty.count(); ++i) {
    const DeviceRect r = dirty.rect(i).inPixels(f);
    repainted += (i ? ", " : "") + std::to_string(r.left) + "," + std::to_string(r.top) + " to " +
                 std::to_string(r.right) + "," + std::to_string(r.bottom);
  }
  if (repainted.empty()) repainted = "nothing";
  const RenderTarget& partial = core().render();
  if (!core().redrawInto(auditTarget_)) return true;  // no stage to compare
  int left = partial.width(), top = partial.height(), right = -1, bottom = -1;
  long count = 0;
  for (int y = 0; y < partial.height(); ++y) {
    const uint32_t* a = partial.row(y);
    const uint32_t* b = auditTarget_.row(y);
    for (int x = 0; x < partial.width(); ++x) {
      if (a[x] == b[x]) continue;
      ++count;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (count == 0) return true;
  if (++auditFailures_ <= kMaxAuditReports)
    std::fprintf(stderr,
                 "kivra-player: repaint audit: %s: %ld pixels in x %d..%d, y %d..%d differ from a full redraw "
                 "(repainted %s)\n",
                 when.c_str(), count, left, right, top, bottom, repainted.c_str());
  // Start the next comparison from a right picture.
  core().redrawAll();
  core().render();
  return false;
}

namespace {

// The process's CPU time: drawing times that other work on the machine
// does not stretch.
double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

void HeadlessPlayer::run(long steps, const std::vector<InputEvent>& input) {
  size_t next = 0;
  if (audit_) auditRepaint("first frame");
  for (long step = 1; step <= steps && !quit_; ++step) runStep(step, input, next);
  // A quit asked for during the last step still takes effect.
  if (!quit_ && core().quitRequested()) core().frameStep(true);
}

void HeadlessPlayer::runStep(long step, const std::vector<InputEvent>& input, size_t& next) {
  while (next < input.size() && input[next].step < step) ++next;
  for (; next < input.size() && input[next].step == step && !quit_; ++next) {
    deliver(input[next]);
    if (audit_) auditRepaint("step " + std::to_string(step) + ", after input line " + std::to_string(input[next].line));
  }
  // The sound of the frames so far plays until this step's time.
  runMs_ += core().framePeriod();
  mixUntil(runMs_);
  clock_ += core().framePeriod();
  // Every load started so far arrives before the step: runs do not
  // depend on how fast the server answers.
  settleStreams(loadTimeoutMs_);
  const double stepStart = renderEveryStep_ ? cpuMs() : 0;
  core().frameStep(true);
  reapPrograms();
  ++stepsRun_;
  if (audit_) auditRepaint("step " + std::to_string(step));
  if (renderEveryStep_) {
    // What the window's repaint after the step draws: the dirty area.
    const double start = cpuMs();
    core().render();
    const double end = cpuMs();
    renderMs_ += end - start;
    stepMs_ += end - stepStart;
    ++stepsRendered_;
  }
}

void HeadlessPlayer::mixUntil(uint64_t ms) {
  const uint64_t target = ms * AudioOutput::kSampleRate / 1000;
  if (audioFailed_ || target <= mixedFrames_) return;
  // The sink plays on the virtual clock: a buffer is heard when the clock
  // passes its end, and the mixer is told at that moment.
  const uint32_t start = clock_;
  const uint64_t from = mixedFrames_;
  constexpr uint64_t kBuffer = SoundMixer::kBufferFrames;
  while (!audioFailed_ && mixedFrames_ < target) {
    const uint64_t next = std::min(target, (mixedFrames_ / kBuffer + 1) * kBuffer);
    clock_ = start + static_cast<uint32_t>((next - from) * 1000 / AudioOutput::kSampleRate);
    audioFailed_ = !core().mixAudio(static_cast<size_t>(next - mixedFrames_));
    mixedFrames_ = next;
  }
  clock_ = start;
  mixedFrames_ = target;
}

bool HeadlessPlayer::writeScreenshot(const std::string& path) {
  const RenderTarget& target = core().render();
  PngImage image;
  image.width = target.width();
  image.height = target.height();
  image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
  uint8_t* out = image.rgb.data();
  for (int y = 0; y < target.height(); ++y) {
    const uint32_t* row = target.row(y);
    for (int x = 0; x < target.width(); ++x) {
      // The stage is opaque: premultiplied and straight colours agree.
      const uint32_t p = row[x];
      *out++ = static_cast<uint8_t>(p >> 16);
      *out++ = static_cast<uint8_t>(p >> 8);
      *out++ = static_cast<uint8_t>(p);
    }
  }
  return writePng(path, image);
}

void HeadlessPlayer::trace(const std::string& line) {
  if (!trace_) return;
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

uint32_t HeadlessPlayer::scriptClock() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool readInputEvents(const std::string& file, std::vector<InputEvent>& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kivra-player: cannot read input file %s\n", file.c_str());
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  if (!parseInputScript(text.str(), out, error)) {
    std::fprintf(stderr, "kivra-player: %s: %s\n", file.c_str(), error.c_str());
    return false;
  }
  return true;
}

bool loadCommandLineMovie(HeadlessPlayer& player, const CommandLine& options) {
  if (options.movie.empty()) {
    player.loadEmbeddedMovie(executablePath());
    return true;
  }
  // A movie by URL arrives whole before the first step, as loads do.
  const LoadResult loaded = isNetworkUrl(options.movie)
                                ? player.loadMovieUrl(options.movie, static_cast<uint32_t>(options.loadTimeout) * 1000)
                                : player.loadMovieFile(options.movie);
  if (!loaded.ok) {
    std::fprintf(stderr, "kivra-player: %s\n", loaded.error.c_str());
    return false;
  }
  const std::string warning = player.loadWarning();
  if (!warning.empty()) std::fprintf(stderr, "kivra-player: %s: %s\n", options.movie.c_str(), warning.c_str());
  return true;
}

int runHeadless(const CommandLine& options, Printer* printer) {
  std::vector<InputEvent> input;
  if (!options.inputFile.empty() && !readInputEvents(options.inputFile, input)) return 2;

  // The player's sound goes to the WAV file, if one is asked for.
  WavFileSink wav;
  HeadlessPlayer player(options, options.wavFile.empty() ? nullptr : &wav);
  player.setPrinter(printer);
  if (!loadCommandLineMovie(player, options)) return 1;

  if (!options.wavFile.empty() && !wav.open(options.wavFile)) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.wavFile).c_str());
    return 1;
  }

  // Without --frames the movie plays through once.
  long steps = 0;
  if (options.frames) {
    steps = *options.frames;
  } else if (const TimelinePlayer* root = player.core().level0()) {
    steps = root->frameCount() > 0 ? root->frameCount() - 1 : 0;
  }
  player.run(steps, input);
  if (options.renderEveryStep && player.stepsRendered() > 0) {
    const double n = static_cast<double>(player.stepsRendered());
    std::fprintf(stderr, "kivra-player: rendered %ld steps: %.3f ms per step drawing, %.3f ms per step in all (CPU)\n",
                 player.stepsRendered(), player.renderMs() / n, player.stepMs() / n);
  }
  if (options.dumpDisplay) std::fputs(dumpDisplay(player.core().display()).c_str(), stdout);

  // The mix of the whole run, as long as the steps it ran.
  if (!options.wavFile.empty()) {
    if (!wav.close()) {
      std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.wavFile).c_str());
      return 1;
    }
  }
  if (options.dumpDisplay) std::fputs(player.hostStateText().c_str(), stdout);
  if (!options.screenshot.empty() && !player.writeScreenshot(options.screenshot)) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.screenshot).c_str());
    return 1;
  }
  if (player.auditFailures() > 0) {
    std::fprintf(stderr, "kivra-player: repaint audit: %d repaints differ from a full redraw\n",
                 player.auditFailures());
    return 3;
  }
  return 0;
}

}  // namespace kivra
