#pragma once
// What differs between character kinds, in one table. Code that treats a
// shape, a button or a sprite differently asks the kind's entry instead of
// testing the kind, so a new kind is one new file (its entry) and one line
// in the list in CharacterKinds.cpp.
//
// An entry is plain data and plain function pointers, looked up by kind
// through one array. It is consulted once per object, never per pixel or
// per script record.
#include <cstdint>
#include <memory>
#include <string>

#include "core/format/Records.h"
#include "core/movie/Character.h"

namespace kivra {

class Display;
class DisplayObject;
class OutlineHit;
class TimelinePlayer;
struct PlaceInfo;
struct ShapeDraw;

struct CharacterKindOps {
  // Its name in display dumps.
  const char* dumpName = "unknown";
  // Appends what the dump says about an instance beyond what every object
  // shows; null when nothing.
  void (*dumpDetails)(const DisplayObject& object, std::string& out) = nullptr;

  // ---- Drawing and bounds
  // The area its drawing may cover, in its own coordinates (for repaints);
  // null for a kind that draws nothing of its own.
  RECT (*drawnArea)(const Character& c) = nullptr;
  // Fills in what the renderer draws it from; null for a kind the painter
  // does not draw (a clip depth on one still opens a mask).
  void (*buildDraw)(const Character& c, ShapeDraw& draw) = nullptr;
  // Nothing of it shows outside its bounds: the painter skips it when it
  // lies wholly outside the repainted area.
  bool culledOutside = false;
  // It has a box of its own (`Character::bounds`) that scripts measure.
  bool ownBox = false;
  // That box counts in the rectangle of a focused object.
  bool boxInFocusRect = false;

  // ---- Hit testing
  // Whether it covers a device point itself; null for a kind with nothing
  // of its own to hit.
  bool (*hitTest)(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y,
                  OutlineHit& outlines) = nullptr;
  // Hit by its outline (not by a box): it can mask hit tests, and it counts
  // when a sprite's first frame stands for a hit area.
  bool hitByOutline = false;

  // ---- Instances
  // Plays a timeline of its own: takes clip events and key events, may act
  // as a button through its events, fires unload and waits for the handlers
  // when removed, and keeps its instance across a rewind.
  bool ownsTimeline = false;
  // A level root: the root of a movie loaded into a level.
  bool level = false;
  // A button by itself: tracked and tabbed to, keys press it, its states
  // are records shown inside it.
  bool button = false;
  // The definition holds a tag stream of its own (a defined sprite, not a
  // loaded movie): scripts may duplicate it, its export name may register
  // its class, and as a button's hit record its first frame is tested.
  bool ownStream = false;
  // The lowest movie version whose unnamed instances get an "instanceN"
  // name.
  static constexpr int kNeverNamed = INT32_MAX;
  int autoNamedFrom = kNeverNamed;
  // After an instance is placed and before its class is applied.
  void (*placed)(Display& display, DisplayObject& object) = nullptr;
  // After its class is applied: what the new instance starts with.
  void (*started)(Display& display, DisplayObject& object, const PlaceInfo& info) = nullptr;

  // ---- Scripts
  // Has a script object and can be reached by instance name. Placed by a
  // version 6 movie, an instance of it gets its class applied and outlasts
  // a rewind (a level root is not placed: the player makes it).
  bool scriptable = false;
  // Scripts see a plain object, not a movie clip: `typeof` says "object"
  // and the frame properties are undefined.
  bool plainScriptObject = false;
  // The global class applied to version 6 instances; null for none, or when
  // the class comes from the export name (`ownStream`).
  const char* scriptClass = nullptr;
};

// The entry for a kind; an entry that does nothing for values that name no
// kind.
const CharacterKindOps& kindOps(CharacterKind kind);

// Parts that several entries share.
namespace kindparts {
// The character's own bounds.
RECT ownBounds(const Character& c);
// Drawn from its definition tag (shapes, morph shapes).
void drawFromTag(const Character& c, ShapeDraw& draw);
// Hit anywhere inside its box (text is meant to be clicked as a whole).
bool boxHit(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y, OutlineHit& outlines);
}  // namespace kindparts

// An empty sprite of one frame (createEmptyMovieClip).
std::shared_ptr<Character> makeEmptySprite(TimelinePlayer* owner);
// What a clip plays once a movie was loaded into it (`owner`, the
// movie's root timeline, which the clip owns).
std::shared_ptr<Character> makeLoadedClipCharacter(TimelinePlayer* owner);
// The pseudo-character of a level root (and of the display's root).
std::shared_ptr<Character> makeLevelCharacter(uint16_t id, TimelinePlayer* owner, const RECT& bounds);

}  // namespace kivra
