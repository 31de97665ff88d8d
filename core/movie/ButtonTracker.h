#pragma once
// The button tracking state of a display: the tracked object (a button or a
// sprite acting as one), what identifies it (parent, character, depth and
// ratio, so that a button the timeline re-creates at the same place keeps
// its state) and the tracking mode. track() runs the state machine for the
// object under the pointer and reports each transition to a sink.
//
// Runs on the player's thread. The tracker never dereferences the parent
// it remembers; the display tells it when tracked objects go away.
#include <cstdint>

#include "core/movie/ButtonRecords.h"

namespace kivra {

struct Character;
class DisplayObject;

// What the tracker needs from the input side.
class ButtonTrackerSink {
 public:
  virtual ~ButtonTrackerSink() = default;
  // The object's `enabled` property (true when it has none).
  virtual bool buttonEnabled(DisplayObject& object) = 0;
  // Whether the object tracks as a menu.
  virtual bool tracksAsMenu(DisplayObject& object) = 0;
  // The object made transition `transition`; its mode is already set and,
  // for a button, the records of the new mode are shown. Actions are only
  // queued from here.
  virtual void buttonTransition(DisplayObject& object, int transition) = 0;
  // A disabled tracked object was forced back to idle.
  virtual void buttonForcedIdle(DisplayObject& object) = 0;
};

class ButtonTracker {
 public:
  DisplayObject* tracked() const { return tracked_; }
  ButtonMode mode() const { return tracked_ ? mode_ : ButtonMode::Idle; }

  // Runs the state machine once (twice when leaving one object and entering
  // another happen in one step). Returns whether any transition was made.
  bool track(DisplayObject* target, bool pressed, ButtonTrackerSink& sink);

  // Forgets the tracked object without any transition (a movie unloaded).
  void clear();
  // A placed button: when it stands where the tracked one stood, it takes
  // its mode; when the tracked one is gone, it becomes the tracked object.
  // Returns the mode the new button starts in.
  ButtonMode adopt(DisplayObject& button);
  // A rewind kept `kept` in place of `fresh`.
  void replaced(DisplayObject* fresh, DisplayObject* kept);
  // An object is being destroyed.
  void objectDestroyed(DisplayObject* object);

 private:
  void apply(DisplayObject& object, int transition, ButtonTrackerSink& sink);

  DisplayObject* tracked_ = nullptr;
  ButtonMode mode_ = ButtonMode::Idle;
  // The identity of the object last tracked in a mode other than idle.
  const DisplayObject* parent_ = nullptr;
  const Character* character_ = nullptr;
  int32_t depth_ = 0;
  uint16_t ratio_ = 0;
  bool remembered_ = false;
};

}  // namespace kivra
