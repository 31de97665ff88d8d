#pragma once
// The kivra-player command line. Parsing never exits; main() decides.
#include <optional>
#include <string>

#include "core/CorePlayer.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

// --size takes each side from 1 to this many pixels.
constexpr int kMaxStageSide = 16000;
// --thumbnail's SIZE is at most this.
constexpr int kMaxThumbnailSide = 4096;

struct CommandLine {
  std::string movie;  // empty: the embedded movie, else an empty window
  bool headless = false;
  std::optional<long> frames;
  bool trace = false;
  std::string screenshot;
  int width = 0;  // 0: the movie's frame rectangle / 20
  int height = 0;
  std::string inputFile;
  std::string wavFile;
  std::optional<Quality> quality;
  bool autoQuality = false;  // --quality auto...: switch with the frame times
  std::optional<uint32_t> seed;  // the random generator's first state
  // (headless) seconds a URL stream may bring nothing before it fails
  int loadTimeout = 30;
  // The interpreter runs every record the general way (ScriptEngine::setFastPaths).
  bool noFastPaths = false;
  int codePage = 1252;  // the system code page of older movies' text
  bool info = false;
  bool dumpDisplay = false;
  // The player's diagnostic lines (limits reached, refused accesses) go to
  // stderr.
  bool debug = false;
  // (headless) at every step and after every input event, repaint through
  // the window's dirty rectangles and compare with a full redraw.
  bool auditRepaint = false;
  // (headless) draw every step through the dirty rectangles, as the window
  // does, and report the drawing time on stderr.
  bool renderEveryStep = false;
  // (headless) seconds a script may run before it is aborted.
  uint32_t scriptTimeout = 15;
  // Megabytes a movie may hold beyond the player's own; past them the
  // running script is aborted.
  uint32_t memoryLimitMb = static_cast<uint32_t>(kDefaultMemoryBudget >> 20);
  // (headless) where print jobs go: a PDF file, or a folder of PNG pages.
  std::string printTo;
  std::string createProjector;
  // --export-video OUT: the headless run recorded as a video file.
  std::string exportVideo;
  // --thumbnail SIZE MOVIE OUT: the first frame that shows something,
  // fitted into SIZE x SIZE, as PNG.
  int thumbnailSize = 0;  // 0: no thumbnail asked for
  std::string thumbnailFile;
  // Timings and counts of the run on stderr (--export-video).
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// Fills `out` from argv; on a bad option returns false with a one-line reason.
[[nodiscard]] bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error);
const char* usageText();
// The build's version, then the player version it plays movies as.
const char* versionText();
// What follows a bad option's reason, instead of the whole usage.
const char* helpHint();

}  // namespace kivra
