#include "core/movie/CharacterKinds.h"

#include <array>

#include "core/movie/OutlineHit.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/Renderer.h"

namespace kivra {

// Each kind's entry is defined in a file of its own.
extern const CharacterKindOps kShapeKind;
extern const CharacterKindOps kMorphKind;
extern const CharacterKindOps kStaticTextKind;
extern const CharacterKindOps kEditTextKind;
extern const CharacterKindOps kButtonKind;
extern const CharacterKindOps kSpriteKind;
extern const CharacterKindOps kLoadedClipKind;
extern const CharacterKindOps kLevelKind;
extern const CharacterKindOps kVideoKind;
extern const CharacterKindOps kBitmapKind;
extern const CharacterKindOps kFontKind;
extern const CharacterKindOps kSoundKind;
extern const CharacterKindOps kAliasKind;

namespace {
struct Entry {
  CharacterKind kind;
  const CharacterKindOps* ops;
};

constexpr Entry kEntries[] = {
    {CharacterKind::Shape, &kShapeKind},
    {CharacterKind::Bitmap, &kBitmapKind},
    {CharacterKind::Button, &kButtonKind},
    {CharacterKind::Font, &kFontKind},
    {CharacterKind::StaticText, &kStaticTextKind},
    {CharacterKind::Sound, &kSoundKind},
    {CharacterKind::Sprite, &kSpriteKind},
    {CharacterKind::MorphShape, &kMorphKind},
    {CharacterKind::EditText, &kEditTextKind},
    {CharacterKind::VideoStream, &kVideoKind},
    {CharacterKind::ImportAlias, &kAliasKind},
    {CharacterKind::LoadedMovieClip, &kLoadedClipKind},
    {CharacterKind::LevelRoot, &kLevelKind},
};

constexpr CharacterKindOps kNoKind{};

// Indexed by the kind's value: every byte has an entry.
constexpr std::array<const CharacterKindOps*, 256> kTable = [] {
  std::array<const CharacterKindOps*, 256> t{};
  for (const CharacterKindOps*& ops : t) ops = &kNoKind;
  for (const Entry& e : kEntries) t[static_cast<uint8_t>(e.kind)] = e.ops;
  return t;
}();
}  // namespace

const CharacterKindOps& kindOps(CharacterKind kind) { return *kTable[static_cast<uint8_t>(kind)]; }

namespace kindparts {

RECT ownBounds(const Character& c) { return c.bounds; }

void drawFromTag(const Character& c, ShapeDraw& draw) {
  draw.tagCode = c.tagCode;
  draw.body = c.tagBody;
  draw.length = c.tagLength;
  draw.bitmaps = c.owner ? &c.owner->bitmaps() : nullptr;
  draw.glyphs = c.owner ? &c.owner->fonts() : nullptr;
}

bool boxHit(const Character& c, const MATRIX& device, uint16_t, int64_t x, int64_t y, OutlineHit&) {
  return insideBox(device, c.bounds, x, y);
}

}  // namespace kindparts

}  // namespace kivra
