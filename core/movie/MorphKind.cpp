// Morph shapes: drawn and hit by their outline at the instance's ratio.
#include <algorithm>

#include "core/movie/CharacterKinds.h"
#include "core/movie/OutlineHit.h"

namespace kivra {

namespace {
// Every point of a morph lies between its start and end positions, so the
// two bounds together hold it at any ratio.
RECT drawnArea(const Character& c) {
  const RECT end = c.morph() ? c.morph()->endBounds : RECT{};
  return unite(c.bounds, end);
}

bool hitTest(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y, OutlineHit& outlines) {
  return outlines.covers(c, device, ratio, x, y);
}
}  // namespace

extern const CharacterKindOps kMorphKind;
const CharacterKindOps kMorphKind{
    .dumpName = "morph",
    .drawnArea = drawnArea,
    .buildDraw = kindparts::drawFromTag,
    .ownBox = true,
    .boxInFocusRect = true,
    .hitTest = hitTest,
    .hitByOutline = true,
};

}  // namespace kivra
