#include "platform/CommandLine.h"

#include "platform/SystemCodePage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kivra {

namespace {
bool parseCount(const char* text, long& out) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != 0 || v < 0) return false;
  out = v;
  return true;
}

// "WxH" with both from 1 to kMaxStageSide; false with the reason.
bool parseSize(const char* text, int& w, int& h, std::string& error) {
  long a = 0, b = 0;
  const char* x = std::strchr(text, 'x');
  const std::string first = x ? std::string(text, x) : std::string();
  if (!x || !parseCount(first.c_str(), a) || !parseCount(x + 1, b)) {
    error = std::string("--size: expected WxH in pixels, e.g. 640x480, got ") + text;
    return false;
  }
  if (a < 1 || b < 1 || a > kMaxStageSide || b > kMaxStageSide) {
    error = "--size: width and height must be 1 to " + std::to_string(kMaxStageSide) + ", got " + text;
    return false;
  }
  w = static_cast<int>(a);
  h = static_cast<int>(b);
  return true;
}
}  // namespace

const char* usageText() {
  return "usage: kivra-player [OPTIONS] [MOVIE]\n"
         "       kivra-player --export-video OUT [--frames N] [--size WxH] [--input F] [--seed N] MOVIE\n"
         "       kivra-player --thumbnail SIZE MOVIE OUT.png\n"
         "  MOVIE               a movie file; none: the embedded movie, else an empty window\n"
         "  --headless          no window, no audio device, virtual clock (one frame period per frame step)\n"
         "  --frames N          (headless) after the movie's first frame has run, run N more frame steps, then exit 0\n"
         "  --trace             print the string of every trace action on its own line to standard output\n"
         "  --screenshot FILE   (headless) after the last step write the stage as PNG (8-bit RGB)\n"
         "  --size WxH          stage size in pixels (default: the movie's frame rectangle / 20)\n"
         "  --input FILE        (headless) replay input events, one a line (see README)\n"
         "  --wav FILE          write the run's sound as 44.1 kHz 16-bit stereo WAV\n"
         "  --quality Q         low | medium | high | best | autolow | automedium | autohigh\n"
         "  --seed N            start the random generator (random, Math.random) from N, 0 to 2147483647\n"
         "  --load-timeout S    (headless) loads finish before each step; one silent for S seconds fails (30)\n"
         "  --no-fast-paths     run every script action the general way (to check the fast paths against it)\n"
         "  --codepage N        the code page of text in movies before version 6: 1252 (default, Western),\n"
         "                      932 (Japanese), 936, 949, 950 or any other the system converts\n"
         "  --info              print the header fields and one line per tag, then exit\n"
         "  --dump-display      (headless) print the display tree after the last step\n"
         "  --debug             print the player's diagnostic lines (limits reached, access refused) on stderr\n"
         "  --audit-repaint     (headless) check every repaint of the dirty area against a full redraw\n"
         "  --render-every-step (headless) draw every step as the window would and report the time it took\n"
         "  --script-timeout S  (headless) abort a script that runs longer than S seconds (1 to 15, default 15)\n"
         "  --memory-limit MB   abort a script once the movie holds more than MB megabytes (16 to 65536, default 512)\n"
         "  --print-to PATH     (headless) print requests answer the dialog with their defaults and print to\n"
         "                      PATH: PATH.pdf is one PDF (A4, 300 dpi), any other PATH a folder of\n"
         "                      page-1.png, page-2.png, ... (A4 at 150 dpi); later jobs of the run go to\n"
         "                      numbered siblings (out-2.pdf, pages-2, ...); without it nothing is printed\n"
         "  --create-projector OUT\n"
         "                      write OUT: this player with MOVIE embedded\n"
         "  --export-video OUT  render the movie headless into a video file with its sound: OUT.mp4 (H.264\n"
         "                      and AAC), OUT.webm (VP9 and Opus) or OUT.mkv (lossless FFV1 and 16-bit PCM);\n"
         "                      frame i is what --screenshot shows after i steps, the sound is --wav's; with\n"
         "                      --frames N it holds N+1 frames, else it ends once the movie's last frame is\n"
         "                      shown, at a quit, or after 10 minutes of movie time\n"
         "  --thumbnail SIZE MOVIE OUT.png\n"
         "                      write the first of the movie's first 24 frames that shows something, fitted\n"
         "                      into SIZE x SIZE pixels (1 to 4096), without sound or network\n"
         "  -v, --verbose       (--export-video) print the frame count and the time spent rendering and encoding\n"
         "  --help, --version\n";
}

// The second line names the player as the About box does; the third says
// what movies see of it: the version their scripts read back.
const char* versionText() {
  return "kivra-player " KIVRA_VERSION "\n"
         "Vantorel Kivra Player 6, Version 6,0,95,0 (as in Help > About)\n"
         "plays movies as player version 6; to their scripts it reports \"WIN 6,0,95,0\"\n";
}

const char* helpHint() { return "try 'kivra-player --help'"; }

bool parseCommandLine(int argc, const char* const* argv, CommandLine& out, std::string& error) {
  auto needValue = [&](int& i, const char* option) -> const char* {
    if (i + 1 >= argc) {
      error = std::string(option) + " needs a value";
      return nullptr;
    }
    return argv[++i];
  };
  // "--option N" with N a whole number from `low` to `high`.
  auto rangedValue = [&](int& i, const char* option, long low, long high, const char* unit, long& n) {
    const char* text = needValue(i, option);
    if (!text) return false;
    if (!parseCount(text, n) || n < low || n > high) {
      error = std::string(option) + ": expected " + unit + " from " + std::to_string(low) + " to " +
              std::to_string(high) + ", got " + text;
      return false;
    }
    return true;
  };
  bool moviesDone = false;
  std::vector<std::string> names;  // the arguments that are not options
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = nullptr;
    if (!moviesDone && std::strcmp(a, "--") == 0) {
      moviesDone = true;
    } else if (moviesDone || a[0] != '-' || a[1] == 0) {
      names.push_back(a);
    } else if (!std::strcmp(a, "--headless")) {
      out.headless = true;
    } else if (!std::strcmp(a, "--frames")) {
      if (!(v = needValue(i, a))) return false;
      long n = 0;
      if (!parseCount(v, n)) {
        error = std::string("--frames: not a count: ") + v;
        return false;
      }
      out.frames = n;
    } else if (!std::strcmp(a, "--trace")) {
      out.trace = true;
    } else if (!std::strcmp(a, "--screenshot")) {
      if (!(v = needValue(i, a))) return false;
      out.screenshot = v;
    } else if (!std::strcmp(a, "--size")) {
      if (!(v = needValue(i, a))) return false;
      if (!parseSize(v, out.width, out.height, error)) return false;
    } else if (!std::strcmp(a, "--input")) {
      if (!(v = needValue(i, a))) return false;
      out.inputFile = v;
    } else if (!std::strcmp(a, "--wav")) {
      if (!(v = needValue(i, a))) return false;
      out.wavFile = v;
    } else if (!std::strcmp(a, "--quality")) {
      if (!(v = needValue(i, a))) return false;
      out.autoQuality = !std::strncmp(v, "auto", 4);
      if (!std::strcmp(v, "low")) out.quality = Quality::Low;
      else if (!std::strcmp(v, "medium")) out.quality = Quality::Medium;
      else if (!std::strcmp(v, "high")) out.quality = Quality::High;
      else if (!std::strcmp(v, "best")) out.quality = Quality::Best;
      else if (!std::strcmp(v, "autolow")) out.quality = Quality::Low;
      else if (!std::strcmp(v, "automedium")) out.quality = Quality::Medium;
      else if (!std::strcmp(v, "autohigh")) out.quality = Quality::High;
      else {
        error = std::string("--quality: expected low, medium, high, best, autolow, automedium or autohigh, got ") + v;
        return false;
      }
    } else if (!std::strcmp(a, "--seed")) {
      if (!(v = needValue(i, a))) return false;
      long n = 0;
      if (!parseCount(v, n) || n > 2147483647L) {
        error = std::string("--seed: expected a number from 0 to 2147483647, got ") + v;
        return false;
      }
      out.seed = static_cast<uint32_t>(n);
    } else if (!std::strcmp(a, "--load-timeout")) {
      if (!(v = needValue(i, a))) return false;
      long n = 0;
      if (!parseCount(v, n) || n < 1 || n > 3600) {
        error = std::string("--load-timeout: expected seconds from 1 to 3600, got ") + v;
        return false;
      }
      out.loadTimeout = static_cast<int>(n);
    } else if (!std::strcmp(a, "--codepage")) {
      if (!(v = needValue(i, a))) return false;
      long n = 0;
      if (!parseCount(v, n) || n < 1 || n > 65535 || !loadSystemCodePage(static_cast<int>(n))) {
        error = std::string("--codepage: expected a code page this system can convert (such as 1252 or 932), got ") + v;
        return false;
      }
      out.codePage = static_cast<int>(n);
    } else if (!std::strcmp(a, "--no-fast-paths")) {
      out.noFastPaths = true;
    } else if (!std::strcmp(a, "--info")) {
      out.info = true;
    } else if (!std::strcmp(a, "--dump-display")) {
      out.dumpDisplay = true;
    } else if (!std::strcmp(a, "--debug")) {
      out.debug = true;
    } else if (!std::strcmp(a, "--audit-repaint")) {
      out.auditRepaint = true;
    } else if (!std::strcmp(a, "--render-every-step")) {
      out.renderEveryStep = true;
    } else if (!std::strcmp(a, "--script-timeout")) {
      long n = 0;
      if (!rangedValue(i, a, 1, 15, "seconds", n)) return false;
      out.scriptTimeout = static_cast<uint32_t>(n);
    } else if (!std::strcmp(a, "--memory-limit")) {
      long n = 0;
      if (!rangedValue(i, a, 16, 65536, "megabytes", n)) return false;
      out.memoryLimitMb = static_cast<uint32_t>(n);
    } else if (!std::strcmp(a, "--print-to")) {
      if (!(v = needValue(i, a))) return false;
      out.printTo = v;
    } else if (!std::strcmp(a, "--create-projector")) {
      if (!(v = needValue(i, a))) return false;
      out.createProjector = v;
    } else if (!std::strcmp(a, "--export-video")) {
      if (!(v = needValue(i, a))) return false;
      out.exportVideo = v;
    } else if (!std::strcmp(a, "--thumbnail")) {
      long n = 0;
      if (!rangedValue(i, a, 1, kMaxThumbnailSide, "pixels", n)) return false;
      out.thumbnailSize = static_cast<int>(n);
    } else if (!std::strcmp(a, "--verbose") || !std::strcmp(a, "-v")) {
      out.verbose = true;
    } else if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      out.help = true;
    } else if (!std::strcmp(a, "--version")) {
      out.version = true;
    } else {
      error = std::string("unknown option: ") + a;
      return false;
    }
  }
  // A thumbnail names its movie, then its file.
  if (out.thumbnailSize > 0) {
    if (names.size() != 2) {
      error = "--thumbnail needs SIZE, a MOVIE and an output file";
      return false;
    }
    out.movie = names[0];
    out.thumbnailFile = names[1];
  } else if (names.size() > 1) {
    error = "only one movie may be given";
    return false;
  } else if (!names.empty()) {
    out.movie = names[0];
  }
  if (!out.exportVideo.empty()) {
    if (out.thumbnailSize > 0) {
      error = "--export-video and --thumbnail cannot be combined";
      return false;
    }
    out.headless = true;  // a recording has no window
  }
  if (!out.createProjector.empty() && out.movie.empty()) {
    error = "--create-projector needs a MOVIE";
    return false;
  }
  if (out.info && out.movie.empty() && !out.help && !out.version) {
    error = "--info needs a MOVIE";
    return false;
  }
  return true;
}

}  // namespace kivra
