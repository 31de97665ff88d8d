// Static text: hit anywhere in its box.
#include "core/movie/CharacterKinds.h"

namespace kivra {

extern const CharacterKindOps kStaticTextKind;
const CharacterKindOps kStaticTextKind{
    .dumpName = "text",
    .drawnArea = kindparts::ownBounds,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = kindparts::boxHit,
};

}  // namespace kivra
