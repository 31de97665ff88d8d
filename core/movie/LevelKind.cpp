// Level roots: the root of a movie in a level, whose timeline the player
// owns.
#include "core/movie/CharacterKinds.h"

namespace kivra {

extern const CharacterKindOps kLevelKind;
const CharacterKindOps kLevelKind{
    .dumpName = "level",
    .level = true,
    .scriptable = true,
};

std::shared_ptr<Character> makeLevelCharacter(uint16_t id, TimelinePlayer* owner, const RECT& bounds) {
  auto c = std::make_shared<Character>();
  c->id = id;
  c->kind = CharacterKind::LevelRoot;
  c->owner = owner;
  c->bounds = bounds;
  return c;
}

}  // namespace kivra
