// Edit text fields: hit anywhere in their box; scripts see a TextField.
#include "core/movie/CharacterKinds.h"

namespace kivra {

extern const CharacterKindOps kEditTextKind;
const CharacterKindOps kEditTextKind{
    .dumpName = "edittext",
    .drawnArea = kindparts::ownBounds,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = kindparts::boxHit,
    .autoNamedFrom = 6,
    .scriptable = true,
    .plainScriptObject = true,
    .scriptClass = "TextField",
};

}  // namespace kivra
