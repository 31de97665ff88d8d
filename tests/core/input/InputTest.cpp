// Input paths that need script answers (enabled, tab indexes) or clips the
// root-only script bridge cannot reach: tested on the core with a stub of
// the script hooks.
#include <map>

#include "core/movie/ButtonRecords.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra::test {
namespace {

class StubHooks : public InputScriptHooks {
 public:
  std::map<std::string, ScriptFlag> enabled;
  std::map<std::string, int32_t> tabIndexes;
  std::vector<std::string> events;
  ScriptFlag property(const DisplayObject& o, InputProperty which) override {
    if (which != InputProperty::Enabled) return ScriptFlag::Unset;
    auto it = enabled.find(o.name());
    return it == enabled.end() ? ScriptFlag::Unset : it->second;
  }
  bool tabIndex(const DisplayObject& o, int32_t& out) override {
    auto it = tabIndexes.find(o.name());
    if (it == tabIndexes.end()) return false;
    out = it->second;
    return true;
  }
  void broadcast(std::string_view object, std::string_view method) override {
    events.push_back(std::string(object) + "." + std::string(method));
  }
};

class Sounds : public ButtonSoundSink {
 public:
  std::vector<uint16_t> started;
  void startButtonSound(DisplayObject&, const Character& sound, const uint8_t*, size_t) override {
    started.push_back(sound.id);
  }
};

const std::string kButton =
    "button2 10 {\n record up,hit 1 1\n record over,down 2 1\n"
    " on idleToOverUp {\n  Push \"over\"\n  Trace\n }\n}\n";

std::string twoSquares() {
  return square(1) +
         "shape 2 {\n fill solid #00ff00\n style moveto=0,0 fill1=1\n lineto 200,0\n lineto 200,200\n"
         " lineto 0,200\n lineto 0,0\n}\n";
}

// A window of the movie's own size: one pixel per 20 twips.
class MovieSizedHost : public test::StubHost {
 public:
  using StubHost::StubHost;
  const CorePlayer* player = nullptr;
  PixelRect clientRectangle() override {
    const TimelinePlayer* root = player ? player->level0() : nullptr;
    if (!root || !root->movie().headerParsed()) return PixelRect{0, 0, 550, 400};
    const RECT& r = root->movie().frameRect();
    return PixelRect{0, 0, (r.xmax - r.xmin) / 20, (r.ymax - r.ymin) / 20};
  }
};

class InputPlayer : public test::TestPlayerOf<MovieSizedHost> {
 public:
  StubHooks hooks;
  InputPlayer() {
    stub().player = this;
    setInputScriptHooks(&hooks);
  }
  ~InputPlayer() override { setInputScriptHooks(nullptr); }
  DisplayObject* child(int depth) { return level0()->displayObject()->childAt(depth); }
};

TEST(Input, ButtonShowsTheRecordsOfItsMode) {
  InputPlayer p;
  p.load(compile("movie version=6 size=100x100\n" + twoSquares() + kButton + "place2 1 id=10 at=20px,20px\nshowframe\n"));
  DisplayObject* b = p.child(1);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->children().size(), 1u);
  EXPECT_EQ(b->children()[0]->characterId(), 1);
  p.mouseMove(25, 25);
  EXPECT_EQ(p.display().trackedButton(), b);
  ASSERT_EQ(b->children().size(), 1u);
  EXPECT_EQ(b->children()[0]->characterId(), 2);
  EXPECT_EQ(p.cursorKind(), CursorKind::Hand);
  p.mouseMove(80, 80);
  EXPECT_EQ(b->children()[0]->characterId(), 1);
  EXPECT_EQ(p.cursorKind(), CursorKind::Arrow);
  EXPECT_EQ(p.hooks.events.size(), 2u);  // two Mouse.onMouseMove
}

TEST(Input, DisabledButtonReturnsToUpAndFiresNothingMore) {
  InputPlayer p;
  p.load(compile("movie version=6 size=100x100\n" + twoSquares() + kButton + "place2 1 id=10 at=20px,20px\nshowframe\n"));
  DisplayObject* b = p.child(1);
  p.mouseMove(25, 25);
  ASSERT_EQ(p.display().trackedButton(), b);
  p.hooks.enabled[b->name()] = ScriptFlag::False;
  p.steps(1);
  EXPECT_EQ(p.display().trackedButton(), nullptr);
  EXPECT_EQ(b->children()[0]->characterId(), 1);
  p.mouseDown();
  p.mouseUp();
  EXPECT_EQ(p.display().trackedButton(), nullptr);
  EXPECT_EQ(b->buttonState(), static_cast<uint8_t>(ButtonMode::Idle));
}

TEST(Input, ReplacedButtonKeepsItsState) {
  InputPlayer p;
  // Frame 2 removes and places the button again at the same depth.
  p.load(compile("movie version=6 size=100x100\n" + twoSquares() + kButton +
                 "place2 1 id=10 at=20px,20px\nshowframe\nremove2 1\nplace2 1 id=10 at=20px,20px\nshowframe\n"));
  p.mouseMove(25, 25);
  DisplayObject* before = p.child(1);
  ASSERT_EQ(p.display().trackedButton(), before);
  p.steps(1);
  DisplayObject* after = p.child(1);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->buttonState(), static_cast<uint8_t>(ButtonMode::Over));
  EXPECT_EQ(after->children()[0]->characterId(), 2);
  EXPECT_EQ(p.display().trackedButton(), after);
}

TEST(Input, TabIndexRemovesObjectsWithoutOne) {
  InputPlayer p;
  p.load(compile("movie version=6 size=200x100\n" + twoSquares() + kButton +
                 "place2 1 id=10 at=10px,10px name=\"a\"\nplace2 2 id=10 at=50px,10px name=\"b\"\n"
                 "place2 3 id=10 at=90px,10px name=\"c\"\nshowframe\n"));
  p.hooks.tabIndexes["c"] = 1;
  p.hooks.tabIndexes["a"] = 2;
  std::vector<KeyboardFocus::Entry> list;
  p.input().focus().collect(p.hooks, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].object->name(), "c");
  EXPECT_EQ(list[1].object->name(), "a");
  KeyEvent tab;
  tab.code = kKeyTab;
  tab.virtualKey = kVkTab;
  p.keyDown(tab);
  EXPECT_EQ(p.input().focus().focused()->name(), "c");
  p.keyDown(tab);
  EXPECT_EQ(p.input().focus().focused()->name(), "a");
  p.keyDown(tab);
  EXPECT_EQ(p.input().focus().focused()->name(), "c");
}

TEST(Input, SpriteActingAsButtonShowsItsStateLabels) {
  InputPlayer p;
  // The sprite handles press: it acts as a button and goes to "_over" and
  // "_down" as the pointer enters and presses.
  p.load(compile("movie version=6 size=100x100\n" + square(1) +
                 "sprite 20 {\n place2 1 id=1\n label \"_up\"\n showframe\n label \"_over\"\n showframe\n"
                 " label \"_down\"\n showframe\n}\n"
                 "place2 1 id=20 at=20px,20px {\n on press {\n  Push \"p\"\n  Trace\n }\n}\nshowframe\n"));
  DisplayObject* s = p.child(1);
  ASSERT_NE(s, nullptr);
  p.mouseMove(25, 25);
  EXPECT_EQ(s->timeline()->currentFrame(), 1);
  p.mouseDown();
  EXPECT_EQ(s->timeline()->currentFrame(), 2);
  p.mouseUp();
  EXPECT_EQ(s->timeline()->currentFrame(), 1);
  p.mouseMove(90, 90);
  EXPECT_EQ(s->timeline()->currentFrame(), 0);
}

TEST(Input, DragFollowsThePointerWithinItsBoundsAndRecordsTheDropTarget) {
  InputPlayer p;
  p.load(compile("movie version=6 size=200x200\n" + square(1) +
                 "sprite 20 {\n place2 1 id=1\n showframe\n}\n"
                 "sprite 21 {\n place2 1 id=1 scale=4,4\n showframe\n}\n"
                 "place2 1 id=21 at=100px,100px name=\"target\"\n"
                 "place2 2 id=20 at=10px,10px name=\"drag\"\nshowframe\n"));
  DisplayObject* d = p.child(2);
  p.mouseMove(12, 12);
  p.input().startDrag(*d, false, nullptr);
  p.mouseMove(112, 132);
  EXPECT_EQ(d->matrix().tx, 110 * 20);
  EXPECT_EQ(d->matrix().ty, 130 * 20);
  EXPECT_TRUE(d->scriptControlled());
  p.input().stopDrag();
  EXPECT_EQ(d->dropTarget(), "/target");
  // Locked to the centre and held inside 0..50 px.
  const double bounds[4] = {0, 0, 50 * 20, 50 * 20};
  p.input().startDrag(*d, true, bounds);
  p.mouseMove(30, 170);
  EXPECT_EQ(d->matrix().tx, 30 * 20);
  EXPECT_EQ(d->matrix().ty, 50 * 20);
  p.input().stopDrag();
  EXPECT_EQ(d->dropTarget(), "");
  EXPECT_EQ(p.input().dragged(), nullptr);
}

TEST(Input, KeyStateAndAscii) {
  InputPlayer p;
  p.load(compile("movie version=6 size=100x100\nshowframe\n"));
  KeyEvent del;
  del.code = kKeyDelete;
  del.virtualKey = kVkDelete;
  p.keyDown(del);
  EXPECT_TRUE(p.input().keyIsDown(kVkDelete));
  EXPECT_EQ(p.input().lastKeyAscii(), 127);
  EXPECT_EQ(p.input().lastKeyCode(), kVkDelete);
  p.keyUp(del);
  EXPECT_FALSE(p.input().keyIsDown(kVkDelete));
  KeyEvent a;
  a.code = 'a';
  a.virtualKey = 'A';
  p.keyDown(a);
  p.typedCharacter('a');
  EXPECT_EQ(p.input().lastKeyAscii(), 'a');
  EXPECT_EQ(p.hooks.events.front(), "Key.onKeyDown");
}

TEST(Input, ButtonRecordsSurviveCorruptBodies) {
  // Every prefix of a button body reads without running past it.
  const std::vector<uint8_t> movie =
      compile("movie version=6\n" + twoSquares() + kButton + "place2 1 id=10\nshowframe\n");
  for (size_t cut = 0; cut < movie.size(); ++cut) {
    InputPlayer p;
    std::vector<uint8_t> part(movie.begin(), movie.begin() + static_cast<long>(cut));
    p.load(part);
    p.mouseMove(5, 5);
    p.mouseDown();
    p.mouseUp();
  }
  Character c;
  c.kind = CharacterKind::Button;
  c.tagCode = 34;
  const uint8_t junk[] = {0, 0, 0xFF, 0x09, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0x7F};
  c.data = junk;
  c.dataLength = sizeof junk;
  int n = 0;
  ButtonRecords(c).forEachRecord([&](const ButtonRecord&) { ++n; });
  ButtonRecords(c).forEachCondition([&](const ButtonCondition&) { ++n; });
  EXPECT_LE(n, 2);
}

}  // namespace
}  // namespace kivra::test
