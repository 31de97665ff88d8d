// Kinds that are not placed on their own: other characters and tags use
// them. Each moves to a file of its own when it gains behaviour.
#include "core/movie/CharacterKinds.h"

namespace kivra {

extern const CharacterKindOps kBitmapKind;
const CharacterKindOps kBitmapKind{.dumpName = "bitmap"};

extern const CharacterKindOps kFontKind;
const CharacterKindOps kFontKind{.dumpName = "font"};

extern const CharacterKindOps kSoundKind;
const CharacterKindOps kSoundKind{.dumpName = "sound"};

extern const CharacterKindOps kAliasKind;
const CharacterKindOps kAliasKind{.dumpName = "alias"};

}  // namespace kivra
