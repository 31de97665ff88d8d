// The class library's start-up and the clip name tables, on a player
// without a movie.
#include <gtest/gtest.h>

#include "core/CorePlayer.h"
#include "tests/support/StubPlayer.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/ScriptEngine.h"

namespace kivra {
namespace {

using test::StubPlayer;

TEST(ClipNames, LevelNames) {
  int64_t n = -1;
  EXPECT_TRUE(levelName("_level0", n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(levelName("_KIVRA12", n));
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(levelName("_level", n));
  EXPECT_FALSE(levelName("_level1a", n));
  EXPECT_FALSE(levelName("level1", n));
}

TEST(ClipNames, PropertyIndices) {
  EXPECT_EQ(propertyIndex("_x"), 0);
  EXPECT_EQ(propertyIndex("_ALPHA"), 6);
  EXPECT_EQ(propertyIndex("_ymouse"), 21);
  EXPECT_EQ(propertyIndex("x"), -1);
  EXPECT_EQ(propertyIndex("_nothing"), -1);
}

TEST(ClassLibrary, GlobalsAreBuiltOnceAndHidden) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  ScriptObject* g = e.global();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(e.global(), g);
  for (const char* name : {"MovieClip", "Key", "Math", "AsBroadcaster", "setInterval", "System", "Color"}) {
    Property* p = g->findOwn(name);
    ASSERT_NE(p, nullptr) << name;
    EXPECT_TRUE(p->flags & kDontEnum) << name;
  }
  EXPECT_TRUE(g->findOwn("LoadVars")->flags & kVersion6Only);
  EXPECT_FALSE(g->findOwn("Color")->flags & kVersion6Only);
  EXPECT_EQ(e.capabilities().rfind("A=t&SA=t&SV=t&EV=t&MP3=t&AE=t&VE=t&ACC=f&PR=t&DEB=f&V=WIN%206%2C0%2C95%2C0&M=", 0),
            0u);
}

TEST(ClassLibrary, NativesBoundByNumber) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  ScriptValue key = e.getMember(ScriptValue::object(e.global()), "Key");
  ScriptValue isDown = e.getMember(key, "isDown");
  ASSERT_TRUE(isDown.isObject());
  FunctionBody* body = isDown.asObject()->function();
  ASSERT_NE(body, nullptr);
  EXPECT_TRUE(body->native);
  EXPECT_EQ(body->nativeClass, 800);
  EXPECT_EQ(body->method, 2);
}

}  // namespace
}  // namespace kivra
