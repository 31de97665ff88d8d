#pragma once
// A running tag stream: the movie of a level (which owns its MovieBuffer) or
// the tag stream of one sprite instance. Definition tags take effect when
// they are read, control tags when the timeline runs them; a level never runs
// ahead of the frames that have completely arrived.
#include <cstdint>
#include <memory>
#include <string>

#include "core/movie/MovieBuffer.h"
#include "core/movie/TagCursor.h"

namespace kivra {

class CorePlayer;

// Result of dispatching one tag.
enum DispatchResult : int {
  kDispatchDone = 0,        // a tag was processed
  kDispatchIncomplete = 1,  // the next tag has not fully arrived
  kDispatchAtEnd = 2,       // the timeline is at its end
  kDispatchError = -1,
};

class TimelinePlayer {
 public:
  // The root timeline of a level; it owns the movie's bytes.
  TimelinePlayer(CorePlayer& player, int level);
  ~TimelinePlayer();
  TimelinePlayer(const TimelinePlayer&) = delete;
  TimelinePlayer& operator=(const TimelinePlayer&) = delete;

  // Appends a piece of the movie; the player is told what changed.
  IntakeReport feed(const uint8_t* data, size_t count);

  const MovieBuffer& movie() const { return movie_; }
  int level() const { return level_; }
  int version() const;
  int currentFrame() const { return currentFrame_; }
  int frameCount() const { return movie_.frameCount(); }
  const std::string& currentLabel() const { return label_; }
  bool playing() const { return playing_; }
  bool atEnd() const { return atEnd_; }
  bool seeking() const { return seeking_; }

  DispatchResult dispatchTag();
  DispatchResult runToFrame(int frame);
  // Goes to frame n (0-based) so that only that frame's actions and sounds
  // take effect; returns a dispatch result.
  int seek(int frame);
  void advance();
  void play(bool restart);
  void stop() { playing_ = false; }
  void setLoop(bool loop) { loop_ = loop; }
  bool loop() const { return loop_; }

 private:
  void rewind();
  void runControlTag(const TagHeader& tag);

  CorePlayer& player_;
  int level_;
  MovieBuffer movie_;
  TagCursor cursor_;
  int currentFrame_ = -1;
  std::string label_;
  bool playing_ = true;
  bool loop_ = true;
  bool atEnd_ = false;
  bool seeking_ = false;
};

}  // namespace kivra
