#pragma once
// `kivra-player --thumbnail SIZE MOVIE OUT.png`, for file managers: the
// first of the movie's first kThumbnailFrames frames that shows anything
// but the background, rendered to fit SIZE x SIZE with the movie's aspect.
// Scripts run as usual, with no sound, no network and a short script
// limit; the whole run has kThumbnailSeconds of wall-clock time.
#include "platform/CommandLine.h"

namespace kivra {

constexpr int kThumbnailFrames = 24;
constexpr int kThumbnailSeconds = 10;
constexpr uint32_t kThumbnailScriptSeconds = 2;

// The size that fits a movie of width x height into size x size, keeping
// its aspect (each side at least 1).
void thumbnailSize(int width, int height, int size, int& outWidth, int& outHeight);

// Returns the process exit status: 0, or 1 (nothing written) when the
// movie fails to load, the time runs out or the file cannot be written.
int runThumbnail(const CommandLine& options);

}  // namespace kivra
