#pragma once
// How ImportAssets gets its library movies. The host supplies one (local
// files and URL streams); the core asks it on the player's thread.
#include <string>

namespace kivra {

class TimelinePlayer;

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // The URL that `url` names when a movie at `base` asks for it. Libraries
  // are found again by this resolved form (compared without case).
  virtual std::string resolve(const std::string& base, const std::string& url) = 0;
  // Starts loading: the loader feeds the bytes to `library.feed()`, at once
  // or on later ticks. `library` stays alive until the player unloads
  // everything. A load that fails feeds nothing; its importers wait.
  virtual void load(const std::string& resolvedUrl, TimelinePlayer& library) = 0;
  // The libraries are about to go (the player unloads everything): nothing
  // more may reach them.
  virtual void cancelAll() {}
};

}  // namespace kivra
