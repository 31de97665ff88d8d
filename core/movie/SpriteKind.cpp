// Sprites, and movies loaded into a clip: each instance plays a timeline of
// its own.
#include "core/movie/CharacterKinds.h"
#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

// Starts an instance's timeline (a friend of DisplayObject for this).
class SpriteKind {
 public:
  static void started(Display& display, DisplayObject& object, const PlaceInfo& info) {
    const Character& c = *info.character;
    if (!c.owner) return;
    object.ownedTimeline_ = std::make_unique<TimelinePlayer>(*c.owner, object, c);
    object.timeline_ = object.ownedTimeline_.get();
    display.fireEvent(object, kClipEventInitialize);
    const bool emptyStream = c.dataLength < 2 || (c.data[0] == 0 && c.data[1] == 0);  // End alone
    if (!emptyStream || info.version < 6) display.fireEvent(object, kClipEventLoad);
    if (!info.skipFrameZero) object.timeline_->runToFrame(0);
  }
};

extern const CharacterKindOps kSpriteKind;
const CharacterKindOps kSpriteKind{
    .dumpName = "sprite",
    .ownsTimeline = true,
    .ownStream = true,
    .autoNamedFrom = 0,
    .started = SpriteKind::started,
    .scriptable = true,
};

extern const CharacterKindOps kLoadedClipKind;
const CharacterKindOps kLoadedClipKind{
    .dumpName = "movieclip",
    .ownsTimeline = true,
    .autoNamedFrom = 0,
    .started = SpriteKind::started,
    .scriptable = true,
};

std::shared_ptr<Character> makeEmptySprite(TimelinePlayer* owner) {
  auto c = std::make_shared<Character>();
  c->id = 0;
  c->kind = CharacterKind::Sprite;
  c->owner = owner;
  c->part.emplace<Character::SpritePart>().frameCount = 1;
  return c;
}

std::shared_ptr<Character> makeLoadedClipCharacter(TimelinePlayer* owner) {
  auto c = std::make_shared<Character>();
  c->id = 0;
  c->kind = CharacterKind::LoadedMovieClip;
  c->owner = owner;
  return c;
}

}  // namespace kivra
