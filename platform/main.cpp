// kivra-player: plays a movie in a window, or headless for rendering,
// recording and tests. See usageText() for the command line.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/movie/MovieBuffer.h"
#include "platform/CommandLine.h"
#include "platform/MovieInfo.h"
#include "platform/PlatformPlayer.h"
#include "platform/ProjectorFile.h"
#include "platform/headless/HeadlessPlayer.h"
#ifdef KIVRA_HAVE_DESKTOP
#include "platform/desktop/DesktopHost.h"
#endif

namespace {
using namespace kivra;

// Loads a whole movie file; Create Projector needs it complete.
bool loadCompleteMovie(const std::string& path, MovieBuffer& movie, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = path + ": cannot open";
    return false;
  }
  uint8_t buf[PlatformPlayer::kChunkSize];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && !movie.failed()) movie.feed(buf, n);
  std::fclose(f);
  if (movie.failed() || !movie.headerParsed()) {
    error = path + ": not a movie (bad header)";
    return false;
  }
  if (!movie.complete()) {
    error = path + ": incomplete movie (" + std::to_string(movie.received()) + " of " +
            std::to_string(movie.fileLength()) + " bytes)";
    return false;
  }
  return true;
}

int createProjector(const CommandLine& options) {
  MovieBuffer movie;
  std::string error;
  if (!loadCompleteMovie(options.movie, movie, error) ||
      !writeProjector(executablePath(), options.createProjector, movie.data(),
                      static_cast<size_t>(movie.fileLength()), error)) {
    std::fprintf(stderr, "kivra-player: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

#ifdef KIVRA_HAVE_DESKTOP
bool displayAvailable() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return (x && *x) || (wayland && *wayland) || (platform && *platform);
}
#endif
}  // namespace

int main(int argc, char** argv) {
  CommandLine options;
  std::string error;
  if (!parseCommandLine(argc, argv, options, error)) {
    std::fprintf(stderr, "kivra-player: %s\n%s", error.c_str(), usageText());
    return 2;
  }
  if (options.help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(versionText(), stdout);
    return 0;
  }
  if (options.info) {
    if (options.movie.empty()) {
      std::fprintf(stderr, "kivra-player: --info needs a MOVIE\n%s", usageText());
      return 2;
    }
    return printMovieInfo(options.movie, stdout, stderr);
  }
  if (!options.createProjector.empty()) return createProjector(options);
  if (options.headless) return runHeadless(options);
#ifdef KIVRA_HAVE_DESKTOP
  if (!displayAvailable()) {
    std::fprintf(stderr, "kivra-player: no display available (use --headless)\n");
    return 1;
  }
  return runDesktop(options, argc, argv);
#else
  std::fprintf(stderr, "kivra-player: built without the desktop host (use --headless)\n");
  return 1;
#endif
}
