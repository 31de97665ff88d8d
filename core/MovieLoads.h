#pragma once
// Movies loaded by URL into levels and clips (loadMovie, loadMovieNum). Each
// load is a URL stream whose bytes feed a new root timeline:
// - a level is replaced when its stream starts (level 0: the player's whole
//   movie, as if it had been opened);
// - a clip's content is replaced at once, and the clip fills as the bytes
//   come.
// The loaded movie starts in its place once its first frame is in. A load
// whose timeline goes away (the clip removed, the level replaced) stops its
// stream.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/host/UrlStreams.h"

namespace kivra {

class CorePlayer;
class DisplayObject;
class TimelinePlayer;

class MovieLoads {
 public:
  explicit MovieLoads(CorePlayer& player);
  ~MovieLoads();
  MovieLoads(const MovieLoads&) = delete;
  MovieLoads& operator=(const MovieLoads&) = delete;

  void loadLevel(int level, const UrlStreamRequest& request);
  void loadClip(DisplayObject& clip, const UrlStreamRequest& request);
  // Bytes arrived for a root timeline: a loaded movie whose first frame is
  // in starts. False when no load feeds `timeline`.
  bool dataArrived(TimelinePlayer& timeline);
  // The timeline went away: its load stops.
  void timelineGone(TimelinePlayer& timeline);
  // Every load stops (the movie is replaced or the player closes), except
  // the one now replacing level 0.
  void clear();

 private:
  class Load;
  void start(std::unique_ptr<Load> load, const UrlStreamRequest& request);
  void sweep();

  CorePlayer& player_;
  std::vector<std::unique_ptr<Load>> loads_;
  const Load* replacingLevel0_ = nullptr;
};

}  // namespace kivra
