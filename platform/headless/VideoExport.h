#pragma once
// `kivra-player --export-video OUT`: the headless run, with every frame
// rendered and encoded into a video file along with the run's sound.
#include "platform/CommandLine.h"

namespace kivra {

// Movie time an export without --frames records at most.
constexpr uint32_t kMaxExportMs = 10 * 60 * 1000;

// Returns the process exit status: 0, 1 when the movie or the encoding
// failed, 2 for an output path or input file refused before any work.
int runVideoExport(const CommandLine& options);

}  // namespace kivra
