// Movie source text: compiling, dumping back, and the errors it reports.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/text/EditTextTag.h"
#include "tools/kit/ActionWriter.h"
#include "tools/kit/RecordWriter.h"
#include "tools/kit/Tags.h"
#include "tools/qvxs/Compiler.h"
#include "tools/qvxs/Dumper.h"
#include "tests/tools/TagBodies.h"

using namespace kivra;
using namespace kivra::qvxs;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes build(const std::string& text, const std::string& imageDir = "") {
  Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_TRUE(compileMovie(text, out, diag, imageDir)) << diag.text();
  return out;
}

std::string errorsOf(const std::string& text) {
  Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_FALSE(compileMovie(text, out, diag));
  return diag.text();
}

std::string dump(const Bytes& movie, DumpStats* stats = nullptr) {
  std::string text, error;
  EXPECT_TRUE(dumpMovie(movie, text, error, stats)) << error;
  return text;
}

// Source -> movie -> dump -> movie must give the same bytes, with every tag
// in text form, and dumping again gives the same text.
void expectRoundTrip(const std::string& source, int rawTags = 0, const std::string& imageDir = "") {
  const Bytes first = build(source, imageDir);
  DumpStats stats;
  const std::string text = dump(first, &stats);
  EXPECT_EQ(stats.rawTags, rawTags) << text;
  const Bytes second = build(text);
  EXPECT_EQ(first, second) << text;
  EXPECT_EQ(dump(second), text);
}

// The body bytes of the first tag with `code` in an uncompressed movie.
Bytes firstTagBody(const Bytes& movie, uint16_t code) {
  const std::vector<Bytes> bodies = test::tagBodies(movie, code);
  return bodies.empty() ? Bytes() : bodies.front();
}

const char* kEverything = R"(movie version=6 rect=-20,11000,-40,8000 rate=12.5 compressed
background #102030
shape 1 {
  fill solid #ff0000
  fill linear 0:#000000 255:#ffffff scale=0.5,0.25 skew=0.125,-0.125 at=10px,-10px
  fill radial 0:#000000 128:#808080 255:#ffffff
  fill bitmap 9 clipped nosmooth scale=20,20
  fill bitmap 9
  line 20 #00ff00
  style moveto=-5px,-5px fill0=1 fill1=2 line=1
  lineto 100px,-5px
  lineto 100px,100px
  curveto 50px,150px,-5px,100px
  lineto -5px,-5px
  style newstyles
    fill solid #0000ff
    line 40 #000000
    line 60 #111111
  style fill0=1 line=2
  lineto 3,-7
}
shape2 2 bounds=0,1,0,1 {
  style moveto=0,0
  lineto 1,1
}
shape3 3 {
  fill solid #11223344
  line 1 #55667788
  style moveto=0,0 fill1=1 line=1
  lineto 10,0
  lineto 0,10
  lineto 0,0
}
morph 4 startbounds=0,20px,0,20px endbounds=0,40px,0,40px {
  fill solid #ff0000 #0000ff80
  fill linear 0:#000000>0:#ffffff 255:#ffffff>255:#00000080 scale=2,2 endscale=3,3 endat=1px,1px
  fill bitmap 9 clipped at=1,2 endat=3,4
  line 20 40 #000000 #ffffff
  startedges
    style moveto=0,0 fill0=1 line=1
    lineto 20px,0
    curveto 20px,20px,0,20px
  endedges
    style moveto=0,0
    lineto 40px,0
    curveto 40px,40px,0,40px
}
button 5 {
  record up,over,down,hit 1 1 at=1px,1px
  actions {
    Play
  }
}
button 6 {
  record up 1 2
}
button2 7 menu {
  record up,over 1 1 mul=256,128,0,255 add=0,0,10,-10
  record hit 3 2 scale=2,2 cxform
  on overDownToOverUp,idleToOverUp {
    Push "released"
    Trace
  }
  on key=13 {
    Stop
  }
}
sprite 8 frames=2 {
  place 1 1
  place 1 2 at=1,2 mul=128,128,128
  place 1 3 add=1,2,3 cxform
  showframe
  place2 1 move at=3,4
  remove 1 2
  remove2 3
  label "inner"
  showframe
}
place2 1 id=8 matrix cxform ratio=7 name="clip \"one\"" clipdepth=9 {
  on load,enterFrame {
    Push "hi"
    Trace
  }
  on keyPress key=32 {
    Stop
  }
}
place2 2 id=1 rotate=45 scale=2,2 at=100px,100px allevents=load,unload {
  on load {
    Play
  }
}
place2 3 id=1
label "main"
actions {
  ConstantPool "a" "b"
  Push "s" f:1.5 null undefined r:4 true false 1.5 -2 c:0 c16:1 b:7 nan -inf 3.0 1e+300
  GotoFrame 3
  GetURL "http://example.invalid/" "_blank"
  StoreRegister 1
  StrictMode 1
  WaitForFrame 2 1
  Play
  SetTarget "/clip"
  GoToLabel "main"
  WaitForFrame2 1
  GetURL2 64
  GotoFrame2 play
  GotoFrame2 bias=5
  Call
  start:
  DefineFunction "f" "a" "b" {
    Push r:1
    Return
  }
  DefineFunction2 "g" regs=4 flags=preloadThis,suppressArguments,preloadGlobal "x" r2:"y" {
    With {
      Push "inside"
      Trace
      If start
    }
  }
  DefineFunction "" {
  }
  Jump done
  op 0x2a
  op 0xaa 0102
  op 0xab
  If 3
  done:
}
initactions 8 {
  Push "init"
  Trace
}
export 8 "Clip" 1 "Box"
import "lib.qvx" 20 "Other"
raw 777 deadbeef
@long showframe
@long raw 1000
showframe
)";

}  // namespace

// The two raw tags are the unknown codes 777 and 1000.
TEST(Source, EveryDirectiveRoundTripsToIdenticalBytes) { expectRoundTrip(kEverything, 2); }

TEST(Source, Version5ClipActionsRoundTrip) {
  expectRoundTrip(R"(movie version=5 size=10x10
place2 1 id=1 {
  on load,mouseDown,dragOver {
    Play
  }
}
)");
}

TEST(Source, WelcomeExampleRoundTrips) {
  std::ifstream in(std::string(KIVRA_SOURCE_DIR) + "/examples/welcome.qvxs");
  ASSERT_TRUE(in);
  std::stringstream s;
  s << in.rdbuf();
  expectRoundTrip(s.str(), 0, std::string(KIVRA_SOURCE_DIR) + "/examples");
}

// Sound tags come back in their text forms, SoundInfo fields and all.
TEST(Source, SoundTagsRoundTrip) {
  expectRoundTrip(
      "movie\nsound 1 format=0x1e samples=5 data=80fa00784b\n"
      "startsound 1\nstartsound 1 in=10 out=4000 loops=3 envelope=0:0:32768,2000:32768:0 nomultiple\n"
      "startsound 1 stop\nstreamhead format=0x16 perblock=919\nstreamblock data=80fa0078\nshowframe\n");
  // A SoundInfo with flags the text cannot say stays raw.
  expectRoundTrip("movie\nraw 15 010080\nshowframe\n", 1);
}

// Text fields come back in their text form, whatever their flag word, and
// the player's reader finds each part where the kit wrote it.
TEST(Source, EditTextRoundTrips) {
  const char* source = R"(movie
edittext 1 bounds=0,200px,0,40px
edittext 2 bounds=-20,4000,-40,800 font=7 height=12px color=#10203040 maxlen=20 align=center margins=40,60 indent=-20 leading=5 var="_root.name" text="Ann\n\"B\"\xe2\x82\xac" flags=readonly,password,multiline,wordwrap,embed,html,border,noselect,autosize
edittext 3 bounds=0,10,0,10 color=#ffffff align=7 text="" flags=0x8400
edittext 4 bounds=0,10,0,10 flags=0xffff
showframe
)";
  expectRoundTrip(source);
  const std::vector<Bytes> bodies = test::tagBodies(build(source), 37);
  ASSERT_EQ(bodies.size(), 4u);
  EditTextDefinition d;
  ASSERT_TRUE(parseEditTextTag(bodies[1].data() + 2, bodies[1].size() - 2, d));
  EXPECT_EQ(d.bounds, (RECT{-20, 4000, -40, 800}));
  EXPECT_EQ(d.flags, 0x80000u | 0x5B78 | 0x2000 | 0x80 | 0x7);
  EXPECT_EQ(d.fontId, 7);
  EXPECT_EQ(d.height, 240);
  EXPECT_EQ(d.color, (Rgba{0x10, 0x20, 0x30, 0x40}));
  EXPECT_EQ(d.maxLength, 20);
  EXPECT_EQ(d.align, 2);
  EXPECT_EQ(d.leftMargin, 40);
  EXPECT_EQ(d.rightMargin, 60);
  EXPECT_EQ(d.indent, -20);
  EXPECT_EQ(d.leading, 5);
  EXPECT_EQ(d.variable, "_root.name");
  EXPECT_EQ(d.initialText, "Ann\n\"B\"\xe2\x82\xac");
  // A bare word of 0xffff writes every part, as zeros.
  ASSERT_TRUE(parseEditTextTag(bodies[3].data() + 2, bodies[3].size() - 2, d));
  EXPECT_EQ(d.flags, 0x8FFFFu);
  EXPECT_EQ(bodies[3].size(), 2u + 4 + 2 + 4 + 4 + 2 + 9 + 1 + 1);

  // Bytes after the last part, and a variable name without its end, stay raw.
  expectRoundTrip("movie\nraw 37 0100 00 0000 00 55\nraw 37 0100 00 0000 41\nshowframe\n", 2);
  EXPECT_NE(errorsOf("movie\nedittext 1 bounds=0,1,0,1 font=1\n").find("test.qvxs:2: font= and height= go together"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nedittext 1 bounds=0,1,0,1 flags=bold\n").find("unknown edittext flag 'bold'"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nedittext 1 font=1 height=2\n").find("missing bounds="), std::string::npos);
}

TEST(Source, HeaderDefaultsAndFrameCount) {
  const Bytes m = build("movie\nshowframe\nshowframe\n");
  ASSERT_GE(m.size(), 21u);
  EXPECT_EQ(m[0], 'X');
  EXPECT_EQ(m[3], 6);
  EXPECT_EQ(m[4] | (m[5] << 8), static_cast<int>(m.size()));
  EXPECT_EQ(Bytes(m.begin() + 8, m.begin() + 21),
            (Bytes{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0C, 0x02, 0x00}));
}

TEST(Source, AssemblyTextMatchesTheAssembler) {
  const Bytes m = build(R"(movie
actions {
  Push "a" f:1.5 null undefined r:4 true 1.5 -2 c:3 c:300
top:
  Jump top
}
)");
  kit::ActionWriter w;
  w.push({kit::PushItem::str("a"), kit::PushItem::floating(1.5f), kit::PushItem::null(), kit::PushItem::undefined(),
          kit::PushItem::reg(4), kit::PushItem::boolean(true), kit::PushItem::dbl(1.5), kit::PushItem::integ(-2),
          kit::PushItem::constant(3), kit::PushItem::constant(300)});
  w.label("top");
  w.jump("top");
  Bytes expect;
  std::string error;
  ASSERT_TRUE(w.finish(expect, error));
  EXPECT_EQ(firstTagBody(m, 12), expect);
  // The Jump is the last record: its offset is -5, back to its own start.
  EXPECT_EQ(Bytes(expect.end() - 6, expect.end()), (Bytes{0x99, 2, 0, 0xFB, 0xFF, 0x00}));
}

TEST(Source, ShapeBoundsDefaultToThePointsAndHalfTheWidestLine) {
  const Bytes m = build(R"(movie
shape 1 {
  line 40 #000000
  style moveto=-20,-20 line=1
  lineto 100,-20
  curveto 100,200,-20,100
}
)");
  const Bytes body = firstTagBody(m, 2);
  ASSERT_GE(body.size(), 2u);
  kit::ByteWriter w;
  w.u16(1);
  kit::writeRect(w, RECT{-40, 120, -40, 220});
  EXPECT_EQ(Bytes(body.begin(), body.begin() + static_cast<long>(w.size())), w.data());
}

TEST(Source, UnreproducibleTagsAreDumpedRaw) {
  // A shape whose RECT uses more bits than needed, and an unknown tag.
  kit::TagStream t;
  t.tag(uint16_t{2}, Bytes{1, 0, 0x50, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  t.tag(uint16_t{900}, Bytes{1, 2, 3});
  kit::MovieHeader h;
  Bytes movie;
  std::string error;
  ASSERT_TRUE(kit::writeMovie(h, t, movie, error));
  DumpStats stats;
  const std::string text = dump(movie, &stats);
  EXPECT_EQ(stats.rawTags, 2);
  EXPECT_NE(text.find("raw 2 01005000000000000000"), std::string::npos) << text;
  EXPECT_NE(text.find("raw 900 010203"), std::string::npos) << text;
  EXPECT_EQ(build(text), movie);
}

TEST(Source, ActionsWithoutEndStayRaw) {
  kit::TagStream t;
  t.doAction(Bytes{0x06});
  kit::MovieHeader h;
  Bytes movie;
  std::string error;
  ASSERT_TRUE(kit::writeMovie(h, t, movie, error));
  DumpStats stats;
  EXPECT_EQ(build(dump(movie, &stats)), movie);
  EXPECT_EQ(stats.rawTags, 1);
}

TEST(Source, DumpRejectsWhatIsNotAMovie) {
  std::string text, error;
  EXPECT_FALSE(dumpMovie(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, text, error));
  EXPECT_NE(error, "");
  EXPECT_FALSE(dumpMovie(Bytes{'X', 'V', 'Q', 6, 100, 0, 0, 0}, text, error));
  EXPECT_NE(error.find("100"), std::string::npos);
}

TEST(SourceErrors, ReportFileAndLine) {
  EXPECT_EQ(errorsOf("movie\nshowframe\nfrobnicate 3\n"), "test.qvxs:3: unknown directive 'frobnicate'\n");
  EXPECT_EQ(errorsOf("showframe\n"), "test.qvxs:1: the source must start with a 'movie' header line\n");
}

TEST(SourceErrors, BadValues) {
  EXPECT_NE(errorsOf("movie\n\nbackground #12345\n").find("test.qvxs:3: '#12345' is not a colour"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nshape 1 {\n  fill solid #11223344\n}\n").find("test.qvxs:3:"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nplace 1 70000\n").find("test.qvxs:2: depth 70000 is out of range"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nplace2 1 at=1\n").find("test.qvxs:2: at=1"), std::string::npos);
  EXPECT_NE(errorsOf("movie size=abc\n").find("test.qvxs:1: size=abc"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nlabel \"open\n").find("test.qvxs:2: unterminated string"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nplace 1 2 colour=red\n").find("test.qvxs:2: unknown attribute 'colour'"),
            std::string::npos);
}

TEST(SourceErrors, Blocks) {
  EXPECT_NE(errorsOf("movie\nsprite 1 {\n  showframe\n").find("test.qvxs:2: block opened here is never closed"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\n}\n").find("test.qvxs:2: '}' without an open block"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nsprite 1\n").find("test.qvxs:2:"), std::string::npos);
}

TEST(SourceErrors, Assembly) {
  EXPECT_NE(errorsOf("movie\nactions {\n  Push 1\n  Jmp x\n}\n").find("test.qvxs:4: unknown mnemonic 'Jmp'"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  Jump nowhere\n}\n").find("test.qvxs:2: undefined label 'nowhere'"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  Push 1 @\n}\n").find("test.qvxs:3: Push: '@' is not a push value"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  GotoFrame\n}\n").find("test.qvxs:3: GotoFrame takes 1 operand"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  Play {\n  }\n}\n").find("test.qvxs:3: Play takes no body"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  With\n}\n").find("test.qvxs:3: With needs a body"), std::string::npos);
  EXPECT_NE(errorsOf("movie\nactions {\n  Push 99999999999\n}\n").find("test.qvxs:3:"), std::string::npos);
}

TEST(Source, BytesAfterTheEndTagAreKept) {
  Bytes movie = build("movie\nshowframe\n");
  movie.insert(movie.end(), {0xAB, 0xCD});
  movie[4] = static_cast<uint8_t>(movie.size());
  const std::string text = dump(movie);
  EXPECT_NE(text.find("end\ntrailing abcd\n"), std::string::npos) << text;
  EXPECT_EQ(build(text), movie);
}

TEST(Source, MovieWithoutEndTagRoundTrips) {
  Bytes movie = build("movie\nshowframe\n");
  movie.resize(movie.size() - 2);  // drop the End tag
  movie[4] = static_cast<uint8_t>(movie.size());
  EXPECT_EQ(build(dump(movie)), movie);
}
