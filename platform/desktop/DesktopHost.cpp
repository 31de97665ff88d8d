#include "platform/desktop/DesktopHost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"

namespace kivra {

namespace {
// A message box placed before its window is on screen lands in a corner:
// let the window manager put the window up first, for at most `limitMs`.
void waitUntilExposed(QWidget& window, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) && clock.elapsed() < limitMs) {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
}
}  // namespace

std::vector<std::string> headlessOnlyOptions(int argc, const char* const* argv) {
  static constexpr const char* kHeadlessOnly[] = {"--frames", "--screenshot", "--input", "--dump-display",
                                                  "--audit-repaint", "--script-timeout", "--print-to"};
  // Their values are skipped, whatever they look like.
  static constexpr const char* kWithValue[] = {"--frames", "--screenshot", "--size", "--input", "--wav",
                                               "--quality", "--seed", "--script-timeout", "--create-projector",
                                               "--print-to"};
  std::vector<std::string> found;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--") == 0) break;
    for (const char* name : kHeadlessOnly) {
      if (std::strcmp(a, name) == 0 && std::find(found.begin(), found.end(), a) == found.end())
        found.emplace_back(a);
    }
    for (const char* name : kWithValue) {
      if (std::strcmp(a, name) == 0) {
        ++i;
        break;
      }
    }
  }
  return found;
}

bool startDesktopPlayer(DesktopPlayer& player, const CommandLine& options) {
  auto show = [&player] {
    player.window().show();
    player.stage().setFocus(Qt::OtherFocusReason);
  };
  if (options.movie.empty()) {
    player.loadEmbeddedMovie(executablePath());  // none: an empty window
    const std::string warning = player.loadWarning();
    if (!warning.empty()) std::fprintf(stderr, "kivra-player: %s\n", warning.c_str());
    // A movie may have asked to quit before the loop runs.
    if (!player.quitRequestedByMovie()) show();
    player.window().refreshCommandStates();
    return true;
  }
  // The window shows before the movie loads, so that a long first-frame
  // script has a window to repaint; the check gives it the movie's size.
  const MovieCheck check = PlatformPlayer::checkMovieFile(options.movie);
  if (check.result.ok) player.movieSizeChanged(check.width, check.height);
  show();
  if (!check.result.ok) {
    waitUntilExposed(player.window(), 1000);
    player.reportError(DesktopPlayer::kCannotOpenMovie, check.result.error);
    return false;
  }
  const LoadResult result = player.loadCheckedMovie(options.movie);
  if (!result.ok) {
    player.reportError(DesktopPlayer::kCannotOpenMovie, result.error);
    return false;
  }
  return true;
}

int runDesktop(const CommandLine& options, int argc, char** argv) {
  int qtArgc = argc;  // QApplication keeps a reference to it
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QString::fromUtf8(DesktopPlayer::kAppName));
  QGuiApplication::setDesktopFileName(QStringLiteral("kivra-player"));

  const std::vector<std::string> ignored = headlessOnlyOptions(argc, argv);
  if (!ignored.empty()) {
    std::string line;
    for (const std::string& name : ignored) line += (line.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "kivra-player: ignored without --headless: %s\n", line.c_str());
  }

  // Sound, or a silent stand-in when there is no sound server or device.
  QtAudioOutput audio;
  DesktopPlayer player(options, &audio);
  const bool started = startDesktopPlayer(player, options);
  if (player.quitRequestedByMovie()) return 0;
  const int status = app.exec();
  return started ? status : 1;
}

}  // namespace kivra
