#pragma once
// The Qt desktop host: one top-level window sized to the movie, a precise
// frame timer, painting of the off-screen bitmap, input forwarded to the core.
#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace kivra {

class DesktopPlayer;

// Creates the application and the player window, loads the movie (the one on
// the command line, else the embedded one, else none) and runs the event
// loop. Returns the process exit status: the loop's status, or 1 when the
// movie on the command line could not be opened (the window then shows why
// until it is closed).
int runDesktop(const CommandLine& options, int argc, char** argv);

// What runDesktop does before the event loop: shows the window and opens the
// start movie. A movie that does not open is reported on stderr and in a
// message box over the empty window; returns false then.
bool startDesktopPlayer(DesktopPlayer& player, const CommandLine& options);

// The options on a command line that only a headless run uses, in the order
// given, each once.
std::vector<std::string> headlessOnlyOptions(int argc, const char* const* argv);

}  // namespace kivra
