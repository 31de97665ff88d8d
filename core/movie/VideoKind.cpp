// Video streams: a box of their own that nothing is hit in; scripts see a
// Video.
#include "core/movie/CharacterKinds.h"

namespace kivra {

extern const CharacterKindOps kVideoKind;
const CharacterKindOps kVideoKind{
    .dumpName = "video",
    .drawnArea = kindparts::ownBounds,
    .ownBox = true,
    .scriptable = true,
    .scriptClass = "Video",
};

}  // namespace kivra
