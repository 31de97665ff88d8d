#include "platform/headless/VideoExport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/MovieFile.h"
#include "platform/headless/HeadlessPlayer.h"
#include "platform/headless/VideoEncoder.h"
#include "platform/headless/WavFileSink.h"

namespace kivra {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

int refuse(const std::string& message) {
  std::fprintf(stderr, "kivra-player: %s\n", message.c_str());
  return 2;
}

// The run's sound goes to the encoder, and to --wav's file when asked.
class ExportAudio : public AudioOutput {
 public:
  ExportAudio(VideoEncoder& encoder, WavFileSink* wav) : encoder_(encoder), wav_(wav) {}
  bool write(const int16_t* samples, size_t frames) override {
    if (wav_ && !wav_->write(samples, frames)) wavFailed_ = true;
    if (!encoder_.addAudio(samples, frames)) failed_ = true;
    return !failed_;
  }
  bool failed() const { return failed_; }
  bool wavFailed() const { return wavFailed_; }

 private:
  VideoEncoder& encoder_;
  WavFileSink* wav_;
  bool failed_ = false;
  bool wavFailed_ = false;
};

// A path the encoder could not even start: a missing or unwritable
// folder, or a folder in the file's place. Empty when it looks writable.
std::string outputRefusal(const std::string& path) {
  VideoContainer container;
  if (!videoContainerFor(path, container))
    return "cannot write " + path + ": unknown video type (use .mp4, .webm or .mkv)";
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || ::access(folder.c_str(), W_OK | X_OK) != 0)
    return cannotText("write", path);
  if (!S_ISDIR(info.st_mode)) return "cannot write " + path + ": " + folder + " is not a folder";
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return "cannot write " + path + ": it is a folder";
  return {};
}

// "frame 120/360, 48.0 fps, 4.0x real time", rewritten in place.
void showProgress(long done, long total, double seconds, uint32_t frameMs, bool last) {
  const double fps = seconds > 0 ? done / seconds : 0;
  std::fprintf(stderr, "\rkivra-player: frame %ld/%ld, %.1f fps, %.1fx real time%s", done, total, fps,
               fps * frameMs / 1000.0, last ? "\n" : "   ");
  std::fflush(stderr);
}
}  // namespace

int runVideoExport(const CommandLine& options) {
  const std::string refusal = outputRefusal(options.exportVideo);
  if (!refusal.empty()) return refuse(refusal);
  std::vector<InputEvent> input;
  if (!options.inputFile.empty() && !readInputEvents(options.inputFile, input)) return 2;

  const auto start = Clock::now();
  VideoEncoder encoder;
  WavFileSink wav;
  ExportAudio audio(encoder, options.wavFile.empty() ? nullptr : &wav);
  HeadlessPlayer player(options, &audio);
  if (!loadCommandLineMovie(player, options)) return 1;
  if (!options.wavFile.empty() && !wav.open(options.wavFile)) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.wavFile).c_str());
    return 1;
  }

  const uint32_t frameMs = std::max<uint32_t>(1, player.core().framePeriod());
  const TimelinePlayer* root = player.core().level0();
  const long lastFrame = root && root->frameCount() > 0 ? root->frameCount() - 1 : 0;
  const long maxSteps = static_cast<long>(kMaxExportMs / frameMs);
  // Without --frames: until the root shows its last frame, for at most
  // kMaxExportMs; the total shown in the progress line is a guess then.
  const long total = options.frames ? *options.frames : std::min(lastFrame, maxSteps);
  const bool untilLast = !options.frames;
  const bool progress = ::isatty(2) == 1;

  double renderSeconds = 0;
  auto renderFrame = [&]() {
    const auto t = Clock::now();
    const RenderTarget& target = player.core().render();
    renderSeconds += secondsSince(t);
    return &target;
  };
  const RenderTarget* target = renderFrame();
  if (target->empty()) {
    std::fprintf(stderr, "kivra-player: cannot write %s: the movie has no stage to record\n", options.exportVideo.c_str());
    return 1;
  }
  const int width = target->width(), height = target->height();
  std::string error;
  if (!encoder.open(options.exportVideo, width, height, frameMs, error)) {
    std::fprintf(stderr, "kivra-player: %s\n", error.c_str());
    return 1;
  }
  auto addFrame = [&](const RenderTarget& t) {
    const ptrdiff_t stride = t.height() > 1 ? t.rowData(1) - t.rowData(0) : static_cast<ptrdiff_t>(t.rowBytes());
    return encoder.addFrame(t.rowData(0), stride);
  };

  bool ok = addFrame(*target);
  long frames = 1;
  size_t next = 0;
  auto lastShown = Clock::now();
  bool capped = false;
  for (long step = 1; ok; ++step) {
    if (player.quit() || player.core().quitRequested()) break;  // asked for in the frame just shown
    if (untilLast && root && root->currentFrame() >= lastFrame) break;
    if (!untilLast && step > total) break;
    if (untilLast && step > maxSteps) {
      capped = true;
      break;
    }
    // The step's time, less the sound it handed to the encoder.
    const auto t = Clock::now();
    const double encodedBefore = encoder.encodeSeconds();
    player.runStep(step, input, next);
    renderSeconds += secondsSince(t) - (encoder.encodeSeconds() - encodedBefore);
    // The frame of a quit step is never shown.
    if (player.quit() || player.core().quitRequested() || audio.failed()) break;
    target = renderFrame();
    if (target->width() != width || target->height() != height) {
      error = "cannot write " + options.exportVideo + ": the stage changed size";
      ok = false;
      break;
    }
    ok = addFrame(*target);
    ++frames;
    if (progress && secondsSince(lastShown) >= 0.25) {
      showProgress(frames - 1, total, secondsSince(start), frameMs, false);
      lastShown = Clock::now();
    }
  }
  if (progress) showProgress(frames - 1, total, secondsSince(start), frameMs, true);
  if (audio.failed()) ok = false;
  if (ok) ok = encoder.finish();
  if (!ok) {
    encoder.abandon();
    std::fprintf(stderr, "kivra-player: %s\n", !error.empty() ? error.c_str() : encoder.error().c_str());
    return 1;
  }
  if (capped)
    std::fprintf(stderr, "kivra-player: %s: stopped after %u minutes of movie time (%ld frames)\n",
                 options.exportVideo.c_str(), kMaxExportMs / 60000, frames);
  if (!options.wavFile.empty() && (audio.wavFailed() || !wav.close())) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.wavFile).c_str());
    return 1;
  }
  if (!options.screenshot.empty() && !player.writeScreenshot(options.screenshot)) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.screenshot).c_str());
    return 1;
  }
  if (options.verbose) {
    const double all = secondsSince(start);
    const double encode = encoder.encodeSeconds();
    std::fprintf(stderr,
                 "kivra-player: exported %ld frames (%.2f s of movie) in %.2f s: %.1f fps, %.1fx real time; "
                 "playing and rendering %.2f s (%.0f%%), encoding %.2f s (%.0f%%)\n",
                 frames, frames * frameMs / 1000.0, all, frames / all, frames * frameMs / 1000.0 / all, renderSeconds,
                 100 * renderSeconds / all, encode, 100 * encode / all);
  }
  return 0;
}

}  // namespace kivra
