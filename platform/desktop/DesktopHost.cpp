#include "platform/desktop/DesktopHost.h"

#include <cstdio>

#include <QApplication>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"

namespace kivra {

int runDesktop(const CommandLine& options, int argc, char** argv) {
  int qtArgc = argc;  // QApplication keeps a reference to it
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Kivra Player"));
  QGuiApplication::setDesktopFileName(QStringLiteral("kivra-player"));

  DesktopPlayer player(options);
  // A movie on the command line wins over the embedded one.
  if (!options.movie.empty()) {
    const LoadResult result = player.loadMovieFile(options.movie);
    if (!result.ok) {
      std::fprintf(stderr, "%s\n", result.error.c_str());
      return 1;
    }
  } else {
    player.loadEmbeddedMovie(executablePath());  // none: an empty window
  }
  const std::string warning = player.loadWarning();
  if (!warning.empty()) std::fprintf(stderr, "%s\n", warning.c_str());

  // A movie may have asked to quit before the loop runs.
  if (player.quitRequestedByMovie()) return 0;
  player.window().show();
  player.stage().setFocus(Qt::OtherFocusReason);
  return app.exec();
}

}  // namespace kivra
