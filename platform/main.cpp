// kivra-player: plays a movie in a window, or headless for rendering,
// recording and tests. See usageText() for the command line.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/format/MovieBuffer.h"
#include "platform/CommandLine.h"
#include "platform/MovieFile.h"
#include "platform/MovieInfo.h"
#include "platform/PlatformPlayer.h"
#include "platform/ProjectorFile.h"
#include "platform/headless/HeadlessPlayer.h"
#include "platform/headless/Thumbnail.h"
#ifdef KIVRA_HAVE_VIDEO
#include "platform/headless/VideoExport.h"
#endif
#ifdef KIVRA_HAVE_DESKTOP
#include <QGuiApplication>

#include "platform/desktop/DesktopHost.h"
#include "platform/qtprint/QtFilePrinter.h"
#endif

namespace {
using namespace kivra;

// Exit statuses: 1 when the work failed, 2 when it was refused as asked.
constexpr int kFailed = 1;
constexpr int kRefused = 2;

int report(int status, const std::string& message) {
  std::fprintf(stderr, "kivra-player: %s\n", message.c_str());
  return status;
}

int createProjector(const CommandLine& options) {
  // A refusal is checked before anything is read, and again by
  // writeProjector for the window's Create Projector.
  const std::string exe = executablePath();
  const std::string refusal = projectorTargetRefusal(exe, options.createProjector, options.movie);
  if (!refusal.empty()) return report(kRefused, refusal);
  // The projector carries the whole movie.
  MovieBuffer movie;
  std::string error;
  if (!readMovieFile(options.movie, movie, error)) return report(kFailed, error);
  const std::string incomplete = incompleteMovieText(movie);
  if (!incomplete.empty())
    return report(kFailed, options.movie + ": " + incomplete + "; a projector needs all of it");
  if (!writeProjector(exe, options.createProjector, movie.data(), static_cast<size_t>(movie.fileLength()),
                      error, options.movie))
    return report(kFailed, error);
  return 0;
}

// The headless run, printing to the files of --print-to when asked.
int headless(const CommandLine& options) {
  if (options.printTo.empty()) return runHeadless(options);
#ifdef KIVRA_HAVE_DESKTOP
  // Text on the pages needs Qt's font database, which needs an
  // application; off screen, so that no display is needed.
  static char name[] = "kivra-player", platform[] = "-platform", offscreen[] = "offscreen";
  static char* qtArgv[] = {name, platform, offscreen, nullptr};
  static int qtArgc = 3;
  QGuiApplication app(qtArgc, qtArgv);
  // Qt takes the user's locale; the player formats numbers the C way.
  std::setlocale(LC_NUMERIC, "C");
  QtFilePrinter printer(options.printTo);
  const int status = runHeadless(options, &printer);
  if (!printer.failedFile().empty() && status == 0)
    return report(kFailed, cannotText("write", printer.failedFile()));
  return status;
#else
  report(0, "--print-to needs the build with a window (Qt); nothing is printed");
  return runHeadless(options);
#endif
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
  if (!parseCommandLine(argc, argv, options, error))
    return report(kRefused, error + "; " + helpHint());
  if (options.help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(versionText(), stdout);
    return 0;
  }
  if (options.info) return printMovieInfo(options.movie, stdout, stderr);
  if (!options.createProjector.empty()) return createProjector(options);
  if (options.thumbnailSize > 0) return runThumbnail(options);
  if (!options.exportVideo.empty()) {
#ifdef KIVRA_HAVE_VIDEO
    return runVideoExport(options);
#else
    return report(kFailed, "this build cannot export video (FFmpeg's libraries were missing when it was configured)");
#endif
  }
  if (options.headless) return headless(options);
#ifdef KIVRA_HAVE_DESKTOP
  if (!displayAvailable()) return report(kFailed, "no display available (use --headless)");
  return runDesktop(options, argc, argv);
#else
  return report(kFailed, "this build has no window (configured with -DKIVRA_DESKTOP=OFF): use --headless");
#endif
}
