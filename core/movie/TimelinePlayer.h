#pragma once
// A running tag stream: the movie of a level or library (a root, which owns
// its MovieBuffer and dictionary) or the tag stream of one sprite instance
// (the body of its DefineSprite inside the root's buffer). Definition tags
// take effect when they are read, control tags when the timeline runs them;
// a level never runs ahead of the frames that have completely arrived.
//
// Ownership: the player owns level and library roots; a sprite's display
// object owns the sprite's timeline. Every timeline but a library's is in
// the display's list of timelines while it exists.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/movie/Character.h"
#include "core/movie/MovieBitmaps.h"
#include "core/movie/MovieFonts.h"
#include "core/format/MovieBuffer.h"
#include "core/format/TagCursor.h"

namespace kivra {

class TimelineContext;
class TimelineSoundStream;
class Display;
class DisplayObject;

// Result of dispatching one tag.
enum DispatchResult : int {
  kDispatchDone = 0,        // a tag was processed
  kDispatchIncomplete = 1,  // the next tag has not fully arrived, or an import is awaited
  kDispatchAtEnd = 2,       // the timeline is at its end
  kDispatchError = -1,
};

class TimelinePlayer {
 public:
  // A sound stream is the movie a streaming sound load writes: it plays
  // its frames (and so its sound) without a place on the stage, once.
  enum class RootKind { Level, Library, SoundStream };

  // The root timeline of a level or a library; it owns the movie's bytes.
  TimelinePlayer(TimelineContext& player, int level, std::string url = {}, RootKind kind = RootKind::Level);
  // The timeline of a sprite instance placed as `object`.
  TimelinePlayer(TimelinePlayer& root, DisplayObject& object, const Character& sprite);
  ~TimelinePlayer();
  TimelinePlayer(const TimelinePlayer&) = delete;
  TimelinePlayer& operator=(const TimelinePlayer&) = delete;

  // Appends a piece of the movie (roots only); the player is told what changed.
  IntakeReport feed(const uint8_t* data, size_t count);
  // What its stream brought so far and announced in all, as getBytesLoaded
  // and getBytesTotal report them (what was fed may be a movie made from
  // the stream's bytes). Without an announced total the movie's length
  // counts once known.
  int64_t bytesLoaded() const { return root_->bytesLoaded_; }
  int64_t bytesTotal() const;
  void countBytesLoaded(int64_t count) { root_->bytesLoaded_ += count; }
  void setBytesTotal(int64_t total) { root_->bytesTotal_ = total; }
  // The load ended: nothing more comes, whatever the header announced.
  void endOfData() { root_->dataEnded_ = true; }
  bool dataEnded() const { return root_->dataEnded_; }

  bool isRoot() const { return root_ == this; }
  bool isLibrary() const { return rootKind_ == RootKind::Library; }
  bool isSoundStream() const { return root_->rootKind_ == RootKind::SoundStream; }
  TimelinePlayer& root() const { return *root_; }
  const MovieBuffer& movie() const;
  const std::string& url() const { return root_->url_; }
  // The level number of a root, the depth of a sprite.
  int level() const { return level_; }
  int version() const;
  TimelineContext& context() { return context_; }
  DisplayObject* displayObject() const { return object_; }

  int currentFrame() const { return currentFrame_; }
  int frameCount() const;
  const std::string& currentLabel() const { return label_; }
  bool playing() const { return playing_; }
  bool looping() const { return loop_; }
  bool atEnd() const { return atEnd_; }
  bool seeking() const { return seeking_; }
  bool removed() const { return removed_; }

  DispatchResult dispatchTag();
  DispatchResult runToFrame(int frame);
  // Goes to frame n (0-based; negative is 0) so that only that frame's
  // actions and sounds take effect; returns a dispatch result.
  int seek(int frame);
  // One tick: enterFrame, then the next frame when playing.
  void advance();
  void play(bool restart);
  void stop();
  void gotoAndStop(int frame);
  void setLoop(bool loop) { loop_ = loop; }
  bool loop() const { return loop_; }
  // The timeline already ran this tick; its next advance is skipped.
  void skipNextAdvance() { skipNextAdvance_ = true; }
  // The first frame at index `first` or later labelled `name` (letters
  // compared without case), or -1.
  int findFrameLabel(const std::string& name, int first = 0);

  // ---- Dictionary (a root's; a sprite uses its root's) -------------------
  Dictionary& dictionary() { return root_->dictionary_; }
  const Dictionary& dictionary() const { return root_->dictionary_; }
  // The entry exported under a name; with `chain`, also the exports of the
  // movies this one imported from, recursively.
  std::shared_ptr<Character> exported(const std::string& name, bool chain = false, int hops = 0) const;
  // The library this root waits for, or null.
  TimelinePlayer* importWait() const { return root_->importWait_; }
  // Libraries: every tag that has arrived is read and the movie is complete.
  bool libraryComplete() const;
  // Called by the player when the awaited library is complete.
  void resolveImport();
  // The root's bitmap characters and their decoded pixels.
  MovieBitmaps& bitmaps() { return *root_->bitmaps_; }
  // The root's fonts: glyphs for static text and the font-name registry.
  MovieFonts& fonts() { return *root_->fonts_; }
  // The shared JPEG tables of a root (a pointer into the buffer), or null.
  const uint8_t* jpegTables() const { return root_->jpegTables_; }
  size_t jpegTablesLength() const { return root_->jpegTablesLength_; }

  // ---- Streaming sound ---------------------------------------------------
  // The stream of the last SoundStreamHead, or null.
  TimelineSoundStream* soundStream() { return soundStream_.get(); }
  // A reader over this timeline's tags (as far as they have arrived) and
  // where they end.
  TagCursor tagCursor() const;
  int64_t tagStreamEnd() const;
  // A definition tag the stream met ahead of the frame reader (the reader
  // meets it again later and keeps the first definition).
  void defineAhead(const TagHeader& tag);

  // ---- Used by the display --------------------------------------------
  // The display object went away (a level root being unloaded).
  void displayObjectGone() { object_ = nullptr; }
  void setDisplayObject(DisplayObject* o) { object_ = o; }
  void markRemoved() { removed_ = true; }
  // The pseudo-character that stands for this root's movie in its level.
  std::shared_ptr<Character> levelCharacter();

 private:
  void rewindCursor();
  bool waitingForImport() const;
  void defineTag(const TagHeader& tag);
  void runControlTag(const TagHeader& tag);
  void placeObject(const TagHeader& tag, bool second);
  void importAssets(const TagHeader& tag);
  void defineFont(const TagHeader& tag);
  void defineFontInfo(const TagHeader& tag);
  void exportAssets();
  void queueLibraryInitActions(TimelinePlayer& library);
  std::shared_ptr<Character> newCharacter(uint16_t id, CharacterKind kind, uint16_t tagCode);
  Display& display() const;

  TimelineContext& context_;
  TimelinePlayer* root_;
  RootKind rootKind_ = RootKind::Level;
  int level_ = 0;
  DisplayObject* object_ = nullptr;
  TagCursor cursor_;
  int64_t firstTag_ = 0;
  int64_t streamEnd_ = 0;  // a sprite's body end
  uint16_t spriteFrames_ = 0;
  int spriteVersion_ = 6;

  int currentFrame_ = -1;
  std::string label_;
  bool playing_ = true;
  bool loop_ = true;
  bool atEnd_ = false;
  bool seeking_ = false;
  bool skipNextAdvance_ = false;
  bool removed_ = false;

  // Root state.
  std::string url_;
  int64_t bytesLoaded_ = 0;
  int64_t bytesTotal_ = -1;
  bool dataEnded_ = false;
  MovieBuffer movie_;
  Dictionary dictionary_;
  std::unique_ptr<MovieBitmaps> bitmaps_;  // roots only
  std::unique_ptr<MovieFonts> fonts_;      // roots only
  std::map<std::string, std::shared_ptr<Character>> exports_;
  std::vector<TimelinePlayer*> importSources_;
  TimelinePlayer* importWait_ = nullptr;
  int64_t importTagBody_ = 0;
  int64_t importTagEnd_ = 0;
  bool libraryInitActionsQueued_ = false;
  const uint8_t* jpegTables_ = nullptr;
  size_t jpegTablesLength_ = 0;
  std::shared_ptr<Character> levelCharacter_;
  std::unique_ptr<TimelineSoundStream> soundStream_;
};

}  // namespace kivra
