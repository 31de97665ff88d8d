#pragma once
// What a timeline needs from the player that runs it: the display it places
// into, the action queue, the background colour, and the libraries it
// imports from. The player implements it; tests may give a timeline a stub.
// Player thread only; the context outlives every timeline it is given to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/format/CodePage.h"
#include "core/format/MovieBuffer.h"
#include "core/format/Records.h"

namespace kivra {

class ActionQueue;
class FontSource;
class Display;
class TimelinePlayer;
struct Character;
class TimelineSoundStream;

class TimelineContext {
 public:
  virtual ~TimelineContext() = default;

  virtual Display& display() = 0;
  // The pending action lists the timeline queues frame and init actions on.
  virtual ActionQueue& actions() = 0;
  // A root timeline was fed `report`'s bytes.
  virtual void movieDataArrived(TimelinePlayer& timeline, const IntakeReport& report) = 0;
  // The movie turned out damaged: the player quits at its next step.
  virtual void movieCorrupt() = 0;
  // The movie's SetBackgroundColor tag.
  virtual void setBackgroundColor(Rgba colour) = 0;
  // The host's system fonts, for fonts the movie defines without outlines.
  virtual FontSource* deviceFonts() { return nullptr; }
  // How the text of movies before version 6 is encoded.
  virtual const CodePage& codePage() const { return CodePage::windows1252(); }
  // A line for the debug log (warnings about the movie's data).
  virtual void debugLog(const std::string& line) { (void)line; }
  // Whether a version-6 movie at `base` may import from `url`.
  virtual bool importAllowed(const std::string& base, const std::string& url) const = 0;
  // The library movie for an import, loaded on first request; it lives as
  // long as the context's movies.
  virtual TimelinePlayer& libraryFor(const std::string& base, const std::string& url) = 0;
  // A StartSound tag: `sound` with the SoundInfo bytes that follow its id.
  virtual void startSound(TimelinePlayer& timeline, const Character& sound, const uint8_t* info, size_t length) {
    (void)timeline;
    (void)sound;
    (void)info;
    (void)length;
  }
  // A timeline's stream met its first block (the tag at `tagStart`, in
  // frame `frame`): its channel starts on the player's mixer.
  virtual void startSoundStream(TimelineSoundStream& stream, int64_t tagStart, int frame) {
    (void)stream;
    (void)tagStart;
    (void)frame;
  }
  // Frames a stream that ran dry lets arrive before it plays on: the sound
  // buffer time in frames of the movie.
  virtual int soundBufferFrames() { return 100; }
  // The same time in ms, and the clock it is measured on.
  virtual uint32_t soundBufferMs() { return 5000; }
  virtual uint32_t milliseconds() { return 0; }
  // Whether `timeline`, whose own stream plays, is ahead of that sound and
  // so holds its frame this tick (the timeline that sets the pace never is).
  virtual bool heldByStream(TimelinePlayer& timeline) {
    (void)timeline;
    return false;
  }
  // A timeline is being destroyed: nothing may refer to it afterwards.
  virtual void timelineGone(TimelinePlayer& timeline) { (void)timeline; }
};

}  // namespace kivra
