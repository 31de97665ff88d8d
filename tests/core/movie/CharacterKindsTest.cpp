#include "core/movie/CharacterKinds.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/movie/OutlineHit.h"

namespace kivra {
namespace {

constexpr CharacterKind kAllKinds[] = {
    CharacterKind::Shape,       CharacterKind::Bitmap,         CharacterKind::Button,
    CharacterKind::Font,        CharacterKind::StaticText,     CharacterKind::Sound,
    CharacterKind::Sprite,      CharacterKind::MorphShape,     CharacterKind::EditText,
    CharacterKind::VideoStream, CharacterKind::ImportAlias,    CharacterKind::LoadedMovieClip,
    CharacterKind::LevelRoot,
};

TEST(CharacterKinds, EveryKindHasAnEntryOfItsOwnAndOtherValuesAnInertOne) {
  std::set<std::string> names;
  for (CharacterKind k : kAllKinds) {
    const std::string name = kindOps(k).dumpName;
    EXPECT_NE(name, "unknown") << static_cast<int>(k);
    EXPECT_TRUE(names.insert(name).second) << name << " named twice";
  }
  const CharacterKindOps& none = kindOps(static_cast<CharacterKind>(50));
  EXPECT_STREQ(none.dumpName, "unknown");
  EXPECT_FALSE(none.scriptable || none.button || none.ownsTimeline || none.level);
  EXPECT_EQ(none.drawnArea, nullptr);
  EXPECT_EQ(none.hitTest, nullptr);
  EXPECT_EQ(none.placed, nullptr);
  EXPECT_EQ(none.started, nullptr);
}

// Callers rely on these without checking: a kind that breaks one would
// crash or misbehave far from its own file.
TEST(CharacterKinds, EntriesKeepTheRulesCallersRelyOn) {
  for (CharacterKind k : kAllKinds) {
    const CharacterKindOps& ops = kindOps(k);
    SCOPED_TRACE(ops.dumpName);
    EXPECT_TRUE(!ops.hitByOutline || ops.hitTest);
    EXPECT_TRUE(!(ops.culledOutside || ops.buildDraw) || ops.drawnArea);
    EXPECT_TRUE(!(ops.ownStream || ops.started) || ops.ownsTimeline);
    EXPECT_TRUE(!(ops.plainScriptObject || ops.scriptClass || ops.autoNamedFrom != CharacterKindOps::kNeverNamed) ||
                ops.scriptable);
    EXPECT_LE(int(ops.ownsTimeline) + int(ops.level) + int(ops.button), 1);
  }
}

TEST(CharacterKinds, DrawnAreaAndHitFollowTheKind) {
  Character morph;
  morph.kind = CharacterKind::MorphShape;
  morph.bounds = RECT{0, 100, 0, 100};
  morph.part.emplace<Character::MorphPart>().endBounds = RECT{-50, 20, 40, 300};
  // Any ratio lies between the two shapes: the area holds both.
  EXPECT_EQ(kindOps(morph.kind).drawnArea(morph), (RECT{-50, 100, 0, 300}));

  Character text;
  text.kind = CharacterKind::StaticText;
  text.bounds = RECT{0, 200, 0, 100};
  OutlineHit outlines;
  const MATRIX identity;
  // Text is hit by its glyphs, not by its box: without records, nowhere.
  EXPECT_FALSE(kindOps(text.kind).hitTest(text, identity, 0, 200, 50, outlines));
  EXPECT_FALSE(kindOps(text.kind).hitTest(text, identity, 0, 201, 50, outlines));

  Character shape;  // bounds but no body: nothing to hit
  shape.bounds = RECT{0, 200, 0, 100};
  EXPECT_FALSE(kindOps(shape.kind).hitTest(shape, identity, 0, 10, 10, outlines));
}

}  // namespace
}  // namespace kivra
