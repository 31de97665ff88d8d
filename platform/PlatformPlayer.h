#pragma once
// What both hosts share on Linux: finding and reading the movie (a file, or
// the one embedded at the end of the executable), and the result of a load.
// Subclasses implement the window or the headless run.
#include <string>

#include "core/CorePlayer.h"
#include "platform/FileLibraryLoader.h"

namespace kivra {

struct LoadResult {
  bool ok = false;
  std::string error;  // one line, for stderr, when !ok
};

class PlatformPlayer : public CorePlayer {
 public:
  static constexpr size_t kChunkSize = 1024;

  // Imported libraries come from local files beside the movie.
  PlatformPlayer() { setLibraryLoader(&libraries_); }

  // Opens a movie file into level 0 and feeds it in 1,024-byte chunks. A
  // missing or unreadable file, or a bad header, is an error; a file shorter
  // than its header says plays as far as it goes.
  LoadResult loadMovieFile(const std::string& path);
  // Reads the movie appended to the executable, if it has a trailer. Returns
  // false (no movie, no message) when there is none; `embedded()` is set
  // whenever a trailer was found.
  bool loadEmbeddedMovie(const std::string& executablePath);
  bool embedded() const { return embedded_; }
  // A warning about an incomplete movie after a load, or empty.
  std::string loadWarning() const;

 private:
  bool embedded_ = false;
  FileLibraryLoader libraries_;
};

// The path of the running executable.
std::string executablePath();

}  // namespace kivra
