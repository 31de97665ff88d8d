#pragma once
// The Qt desktop host: one top-level window sized to the movie, a precise
// frame timer, painting of the off-screen bitmap, input forwarded to the core.
#include "platform/CommandLine.h"

namespace kivra {

// Creates the application and the player window, loads the movie (the one on
// the command line, else the embedded one, else none) and runs the event
// loop. Returns the process exit status: the loop's status, or 1 when the
// movie could not be loaded (the reason goes to stderr).
int runDesktop(const CommandLine& options, int argc, char** argv);

}  // namespace kivra
