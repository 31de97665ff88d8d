#include "platform/headless/Thumbnail.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include "core/net/UrlRecord.h"
#include "platform/MovieFile.h"
#include "platform/PngImage.h"
#include "platform/ProjectorFile.h"
#include "platform/headless/HeadlessPlayer.h"

namespace kivra {

namespace {

// Ends the process with status 1 if the run is not done in time: a movie
// may load or run slowly in ways no script limit covers. The file is only
// written once done() has won, so nothing is left behind.
class Watchdog {
 public:
  explicit Watchdog(int seconds)
      : thread_([this, seconds] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) return;
          std::fprintf(stderr, "kivra-player: thumbnail: gave up after %d s\n", seconds);
          std::fflush(stderr);
          ::_exit(1);
        }) {}
  ~Watchdog() {
    done();
    thread_.join();
  }
  void done() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;  // last: it uses the members above
};

bool showsSomething(const RenderTarget& target, Rgba background) {
  const uint32_t bg = uint32_t{background.r} << 16 | uint32_t{background.g} << 8 | background.b;
  for (int y = 0; y < target.height(); ++y) {
    const uint32_t* row = target.row(y);
    for (int x = 0; x < target.width(); ++x)
      if ((row[x] & 0xFFFFFF) != bg) return true;
  }
  return false;
}

// Writes under a temporary name beside `path`, then renames it into place.
bool writeWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temp = path + ".part-" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = ::close(fd) == 0 && done == bytes.size() && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    const int saved = errno;
    std::remove(temp.c_str());
    errno = saved;
  }
  return ok;
}
}  // namespace

void thumbnailSize(int width, int height, int size, int& outWidth, int& outHeight) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  const double scale = static_cast<double>(size) / std::max(width, height);
  outWidth = std::clamp(static_cast<int>(std::lround(width * scale)), 1, size);
  outHeight = std::clamp(static_cast<int>(std::lround(height * scale)), 1, size);
}

int runThumbnail(const CommandLine& options) {
  Watchdog watchdog(kThumbnailSeconds);
  if (isNetworkUrl(options.movie)) {
    std::fprintf(stderr, "kivra-player: %s: thumbnails are made of local files only\n", options.movie.c_str());
    return 1;
  }
  // A projector (.qvp) carries its movie at its end.
  ProjectorTrailer trailer;
  const bool projector = readProjectorTrailer(options.movie, trailer) && trailer.movieInFile();
  MovieCheck check;
  if (!projector) {
    check = PlatformPlayer::checkMovieFile(options.movie);
    if (!check.result.ok) {
      std::fprintf(stderr, "kivra-player: %s\n", check.result.error.c_str());
      return 1;
    }
  }
  CommandLine run = options;
  if (!projector) thumbnailSize(check.width, check.height, options.thumbnailSize, run.width, run.height);
  run.scriptTimeout = std::min(run.scriptTimeout, kThumbnailScriptSeconds);
  run.wavFile.clear();
  HeadlessPlayer player(run);
  player.setOffline();
  if (projector) {
    if (!player.loadEmbeddedMovie(options.movie)) {
      std::fprintf(stderr, "kivra-player: %s: the projector's movie does not load\n", options.movie.c_str());
      return 1;
    }
    // Its size is known once loaded: the stage takes the fitted one now.
    const PixelRect natural = player.clientRectangle();
    int w = 0, h = 0;
    thumbnailSize(natural.right - natural.left, natural.bottom - natural.top, options.thumbnailSize, w, h);
    player.movieSizeChanged(w, h);
    player.core().updateView();
  } else if (!loadCommandLineMovie(player, run)) {
    return 1;
  }

  const std::vector<InputEvent> noInput;
  size_t next = 0;
  const RenderTarget* target = &player.core().render();
  for (int step = 1; step < kThumbnailFrames && !showsSomething(*target, player.core().backgroundColor()); ++step) {
    player.runStep(step, noInput, next);
    if (player.quit()) break;
    target = &player.core().render();
  }
  if (target->empty()) {
    std::fprintf(stderr, "kivra-player: %s: the movie has no stage to show\n", options.movie.c_str());
    return 1;
  }
  PngImage image;
  image.width = target->width();
  image.height = target->height();
  image.rgb.reserve(static_cast<size_t>(image.width) * image.height * 3);
  for (int y = 0; y < image.height; ++y) {
    const uint32_t* row = target->row(y);
    for (int x = 0; x < image.width; ++x)
      image.rgb.insert(image.rgb.end(), {static_cast<uint8_t>(row[x] >> 16), static_cast<uint8_t>(row[x] >> 8),
                                         static_cast<uint8_t>(row[x])});
  }
  const std::vector<uint8_t> png = encodePng(image);
  watchdog.done();
  if (png.empty() || !writeWhole(options.thumbnailFile, png)) {
    std::fprintf(stderr, "kivra-player: %s\n", cannotText("write", options.thumbnailFile).c_str());
    return 1;
  }
  return 0;
}

}  // namespace kivra
