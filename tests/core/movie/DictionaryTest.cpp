#include "core/movie/Character.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

std::shared_ptr<Character> make(uint16_t id, CharacterKind kind) {
  auto c = std::make_shared<Character>();
  c->id = id;
  c->kind = kind;
  return c;
}

TEST(Dictionary, TheFirstDefinitionWins) {
  Dictionary d;
  EXPECT_TRUE(d.define(make(5, CharacterKind::Shape)));
  EXPECT_FALSE(d.define(make(5, CharacterKind::Sprite)));
  EXPECT_EQ(d.lookup(5)->kind, CharacterKind::Shape);
  EXPECT_EQ(d.size(), 1u);
}

TEST(Dictionary, IdsSharingABucketStayApart) {
  Dictionary d;
  d.define(make(1, CharacterKind::Shape));
  d.define(make(129, CharacterKind::Sprite));
  d.define(make(257, CharacterKind::Font));
  EXPECT_EQ(d.lookup(129)->kind, CharacterKind::Sprite);
  EXPECT_EQ(d.remove(129), 1);
  EXPECT_EQ(d.lookup(129), nullptr);
  EXPECT_EQ(d.lookup(1)->kind, CharacterKind::Shape);
  EXPECT_EQ(d.lookup(257)->kind, CharacterKind::Font);
}

TEST(Dictionary, AFreedCharacterLivesOnWhileSomethingHoldsIt) {
  Dictionary d;
  d.define(make(7, CharacterKind::Shape));
  std::shared_ptr<Character> held = d.lookup(7);
  d.remove(7);
  EXPECT_EQ(d.lookup(7), nullptr);
  EXPECT_EQ(held->id, 7);
}

TEST(Dictionary, LookupFollowsImportAliases) {
  Dictionary library;
  library.define(make(3, CharacterKind::Sprite));
  Dictionary importer;
  auto alias = make(40, CharacterKind::ImportAlias);
  alias->target = library.lookup(3);
  importer.define(alias);
  EXPECT_EQ(importer.lookup(40).get(), library.lookup(3).get());
  EXPECT_EQ(importer.find(40)->kind, CharacterKind::ImportAlias);
}

TEST(Dictionary, AnAliasCycleResolvesToNothing) {
  Dictionary d;
  auto a = make(1, CharacterKind::ImportAlias);
  auto b = make(2, CharacterKind::ImportAlias);
  a->target = b;
  b->target = a;
  d.define(a);
  d.define(b);
  EXPECT_EQ(d.lookup(1), nullptr);
  a->target.reset();  // break the cycle so both are freed
}

}  // namespace
}  // namespace kivra
