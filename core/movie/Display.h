#pragma once
// The display: the tree of display objects (its root holds the level roots,
// the movie of level n at depth n), the timelines that advance every tick,
// the background colour, the dirty area and the view transform. One per
// player, owned by it; everything here runs on the player's thread.
//
// Timelines edit the tree with place / move / remove and the rewind merge;
// the renderer reads it through walk(), which hands out every object in
// drawing order with its combined transforms.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/movie/ButtonTracker.h"
#include "core/render/DirtyArea.h"
#include "core/movie/DisplayObject.h"
#include "core/format/Records.h"
#include "core/view/ViewTransform.h"
#include "core/movie/ActionQueue.h"

namespace kivra {

class TimelinePlayer;

// PlaceObject2 flag bits; PlaceObject uses character, matrix and (when one
// follows) colour transform.
enum PlaceFlag : uint8_t {
  kPlaceMove = 0x01,
  kPlaceHasCharacter = 0x02,
  kPlaceHasMatrix = 0x04,
  kPlaceHasCxform = 0x08,
  kPlaceHasRatio = 0x10,
  kPlaceHasName = 0x20,
  kPlaceHasClipDepth = 0x40,
  kPlaceHasClipActions = 0x80,
};

struct PlaceInfo {
  uint8_t flags = 0;
  std::shared_ptr<Character> character;  // aliases already followed
  int32_t depth = 0;
  MATRIX matrix;
  CXFORM cxform;
  uint16_t ratio = 0;
  uint16_t clipDepth = 0;
  std::string name;
  const uint8_t* clipActions = nullptr;  // the rest of the PlaceObject2 body
  size_t clipActionsLength = 0;
  int version = 6;  // the placing movie's version
  // A sprite normally runs its frame 0 at once; script placements may not.
  bool skipFrameZero = false;
};

enum class PlaceResult { Placed, Ignored, NoCharacter };

// One object handed out by walk().
struct DisplayWalkItem {
  const DisplayObject& object;
  int nesting;          // 0 for a level root
  MATRIX matrix;        // the object's space to stage twips (parents combined)
  MATRIX deviceMatrix;  // the object's space to device sub-pixels (view applied)
  CXFORM cxform;        // parents combined
};

// Whether a timeline mask placed at `maskNesting` with clip depth
// `clipDepth` has ended once a walk reaches an object at `nesting` and
// `depth`: the walk has left the mask's parent or passed its clip depth. A
// negative nesting (the walk's end) ends every mask.
inline bool maskEnded(int maskNesting, int32_t clipDepth, int nesting, int32_t depth) {
  return nesting < 0 || maskNesting > nesting || (maskNesting == nesting && depth > clipDepth);
}

class DisplayVisitor {
 public:
  virtual ~DisplayVisitor() = default;
  // Called in drawing order (ascending depth); false skips the children.
  // An object with a non-zero clipDepth() is a mask: the siblings after it
  // with depth <= its clip depth are drawn only inside it.
  virtual bool enter(const DisplayWalkItem& item) = 0;
  virtual void leave(const DisplayWalkItem& item) { (void)item; }
};

// Told when a display object is destroyed, so that holders of plain
// pointers (input state, keyboard focus, the script engine's clip objects)
// can drop them. Called from the object's destructor, while its parent
// chain is still intact.
class DisplayObserver {
 public:
  virtual ~DisplayObserver() = default;
  virtual void displayObjectDestroyed(DisplayObject* object) = 0;
};

class Display {
 public:
  // Sprites nested deeper than this are not placed: a sprite that places
  // itself would otherwise recurse without end.
  static constexpr int kMaxNesting = 64;
  // Display objects alive at once: a placement past it is ignored.
  static constexpr size_t kMaxObjects = 100000;
  size_t objectCount() const { return objectCount_; }
  // Placements ignored because kMaxObjects objects were alive (diagnostics).
  size_t objectsRefused() const { return objectsRefused_; }
  static constexpr uint32_t kDefaultBackground = 0xFFFFFFFF;

  explicit Display(ActionQueue& actions);
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  DisplayObject& root() { return *root_; }
  const DisplayObject& root() const { return *root_; }
  ActionQueue& actions() { return actions_; }

  // ---- Tree edits -------------------------------------------------------
  PlaceResult place(DisplayObject& parent, const PlaceInfo& info, DisplayObject** placed = nullptr);
  // PlaceObject2 with the move flag; null when nothing changed.
  DisplayObject* move(DisplayObject& parent, const PlaceInfo& info);
  // Removes the first child at exactly that depth; false when none.
  bool remove(DisplayObject& parent, int32_t depth);
  // The level root for a level's timeline, at depth = level.
  DisplayObject* placeLevel(TimelinePlayer& timeline, int level, std::shared_ptr<Character> character);
  // A movie loaded into a clip (or unloaded from it) takes the place of
  // its content: the children, scripted drawing, queued actions and script
  // object go; the clip keeps its depth, name, transform and clip actions
  // and plays `timeline` (which it owns) as `character`.
  void replaceContent(DisplayObject& clip, std::shared_ptr<Character> character,
                      std::unique_ptr<TimelinePlayer> timeline);
  // Seeking backwards: the parent's children are detached and kept until
  // endRewind merges them with what the replay placed.
  std::vector<std::unique_ptr<DisplayObject>> beginRewind(DisplayObject& parent);
  void endRewind(DisplayObject& parent, std::vector<std::unique_ptr<DisplayObject>> old);
  // Moves the object to a depth, exchanging places with the object there.
  bool swapDepths(DisplayObject& object, int32_t depth);
  // Removed objects with unload handlers, kept at -(depth + 1) until their
  // unload actions ran, are freed here.
  void releaseUnloaded();
  // Frees every object.
  void clear();

  // Fires a clip event on one object: its clip-action records, and from
  // version 6 an event block for the script object's method.
  void fireEvent(DisplayObject& object, uint32_t event, uint8_t keyCode = 0);

  // ---- Timelines ------------------------------------------------------
  // Every new timeline goes to the head: the newest advances first.
  void addTimeline(TimelinePlayer* t);
  void removeTimeline(TimelinePlayer* t);
  void advanceTimelines();
  size_t timelineCount() const;
  // In advance order.
  std::vector<TimelinePlayer*> timelines() const;

  // ---- Background -------------------------------------------------------
  // A request with a priority not above the current one is ignored.
  void setBackgroundColor(uint32_t argb, int priority);
  // Before a new movie: white at priority 0, unless a priority above 1 holds.
  void clearBackground();
  uint32_t background() const { return background_; }
  int backgroundPriority() const { return backgroundPriority_; }

  // ---- Redraw -----------------------------------------------------------
  void invalidate(DisplayObject& object);
  void invalidateAll();
  bool changed() const { return changed_; }
  // Re-transforms dirty objects and adds their old and new device bounds to
  // the dirty area.
  void update();
  DirtyArea& dirtyArea() { return dirty_; }
  const DirtyArea& dirtyArea() const { return dirty_; }

  // ---- View -------------------------------------------------------------
  // Recomputes the view; when it changed everything is redrawn. Returns
  // whether it changed.
  [[nodiscard]] bool setView(const ViewRequest& request);
  const ViewTransform& view() const { return view_; }
  int aaFactor() const { return view_.aaFactor; }
  // The stage size scripts see, in pixels.
  int stageWidth() const { return stageWidth_; }
  int stageHeight() const { return stageHeight_; }

  // ---- Walking ------------------------------------------------------------
  void walk(DisplayVisitor& visitor) const;
  // Walks one object and everything below it, with the transforms of its
  // place in the tree.
  void walkSubtree(const DisplayObject& object, DisplayVisitor& visitor) const;

  // ---- Other display state --------------------------------------------
  DisplayObject* trackedButton() const { return tracker_.tracked(); }
  ButtonTracker& buttonTracker() { return tracker_; }
  const ButtonTracker& buttonTracker() const { return tracker_; }
  bool holdsDeviceText() const { return deviceText_; }
  // Edit text fields alive (their changes are looked for on update).
  void fieldMade() { ++fields_; }
  void fieldGone() { --fields_; }
  int fieldCount() const { return fields_; }
  void setHoldsDeviceText() { deviceText_ = true; }
  int instanceCounter() const { return instanceCounter_; }

  // A script moved the object: it takes the matrix and timeline moves no
  // longer change it.
  void setMatrixFromScript(DisplayObject& object, const MATRIX& matrix);

  // Observers are not owned and must remove themselves before they go.
  void addObserver(DisplayObserver* o) { observers_.push_back(o); }
  void removeObserver(DisplayObserver* o);

  // Called by DisplayObject's destructor.
  void objectCreated() { ++objectCount_; }
  void objectDestroyed(DisplayObject* object);
  // Forgets what refers to the object: its queued actions, its tracking
  // as a button and what observers keep for it.
  void forgetObject(DisplayObject* object);
  // The object's instance name changed (a script renamed it).
  void rename(DisplayObject& object, std::string name) { object.name_ = std::move(name); }
  // Script edits of an object's transform; the object becomes script-controlled.
  void setMatrix(DisplayObject& object, const MATRIX& m);
  void setCxform(DisplayObject& object, const CXFORM& c);
  void setVisible(DisplayObject& object, bool visible);
  // Makes `mask` the script mask of `object`, or with null removes its mask.
  // A new link first drops every earlier mask link of both objects.
  void setMask(DisplayObject& object, DisplayObject* mask);

 private:
  void insertChild(DisplayObject& parent, std::unique_ptr<DisplayObject> child);
  std::unique_ptr<DisplayObject> detachChild(DisplayObject& parent, DisplayObject* child);
  // Takes an object out of the tree: unload events, then parked or freed.
  void retire(DisplayObject& parent, std::unique_ptr<DisplayObject> object);
  bool fireUnload(DisplayObject& object);
  void markRemoved(DisplayObject& object);
  void addDrawnArea(const DisplayObject& object);
  void markSubtreeDirty(DisplayObject& object);
  bool keepOldOnRewind(DisplayObject& old, DisplayObject& fresh);
  int nesting(const DisplayObject& object) const;
  void updateObject(DisplayObject& object, const MATRIX& parentMatrix, bool ancestorDirty);
  void walkObject(const DisplayObject& object, const MATRIX& parentMatrix, const MATRIX& parentDevice,
                  const CXFORM& parentCxform, int nesting, DisplayVisitor& visitor) const;

  ActionQueue& actions_;
  std::shared_ptr<Character> rootCharacter_;

  std::vector<TimelinePlayer*> timelines_;
  std::vector<TimelinePlayer*> addedWhileWalking_;
  int walkingTimelines_ = 0;

  uint32_t background_ = kDefaultBackground;
  int backgroundPriority_ = 0;
  int instanceCounter_ = 0;
  int rewinding_ = 0;
  bool changed_ = true;
  int fields_ = 0;
  bool deviceText_ = false;
  DirtyArea dirty_;
  size_t objectCount_ = 0;
  size_t objectsRefused_ = 0;
  ViewTransform view_;
  ViewRequest viewRequest_;
  bool viewSet_ = false;
  int stageWidth_ = 0;
  int stageHeight_ = 0;
  ButtonTracker tracker_;
  std::vector<DisplayObserver*> observers_;
  std::vector<DisplayObject*> parked_;

  // Last: the tree goes first, while the state above is still there.
  std::unique_ptr<DisplayObject> root_;
};

}  // namespace kivra
