// Printing end to end: movies made with the kit, printed by script through
// the headless player's --print-to, and by the host's Print command into a
// recording printer.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/print/PageLayout.h"
#include "core/print/VectorPage.h"
#include "platform/PngImage.h"
#include "platform/headless/HeadlessPlayer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

std::vector<uint8_t> compile(const std::string& text) {
  std::vector<uint8_t> out;
  qvxs::Diagnostics diag;
  EXPECT_TRUE(qvxs::compileMovie(text, out, diag)) << diag.text();
  return out;
}

// A square shape `id` of `side` pixels at the origin in one colour.
std::string square(int id, int side, const std::string& colour) {
  const std::string s = std::to_string(side) + "px";
  return "shape " + std::to_string(id) + " {\n  fill solid " + colour + "\n  style moveto=0,0 fill1=1\n  lineto " + s +
         ",0\n  lineto " + s + "," + s + "\n  lineto 0," + s + "\n  lineto 0,0\n}\n";
}

// Three pages in red, green and blue; the first frame prints them all.
// Every frame traces its number, so a visit that ran actions would show.
std::string threePageMovie(const std::string& url) {
  return "movie version=6 size=100x100 rate=12\nbackground #ffffff\n" + square(1, 100, "#ff0000") +
         square(2, 100, "#00ff00") + square(3, 100, "#0000ff") +
         "place2 1 id=1\nlabel \"#p\"\nactions {\n  Push \"frame 1\"\n  Trace\n  GetURL \"" + url +
         "\" \"_level0\"\n  Push \"printed\"\n  Trace\n}\nshowframe\n"
         "remove2 1\nplace2 1 id=2\nlabel \"#p\"\nactions {\n  Push \"frame 2\"\n  Trace\n}\nshowframe\n"
         "remove2 1\nplace2 1 id=3\nlabel \"#p\"\nactions {\n  Push \"frame 3\"\n  Trace\n}\nshowframe\n";
}

struct PlayerRun {
  int status = -1;
  std::string out, err;
};

class Print : public ::testing::Test {
 protected:
  PlayerRun player(const std::vector<std::string>& args) {
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" KIVRA_PLAYER_PATH "' --headless";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " >'" + dir.file("out.txt") + "' 2>'" + dir.file("err.txt") + "'";
    PlayerRun r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir.file("out.txt"));
    r.err = slurp(dir.file("err.txt"));
    return r;
  }
  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static int pageFiles(const std::string& folder) {
    int n = 0;
    while (std::filesystem::exists(folder + "/page-" + std::to_string(n + 1) + ".png")) ++n;
    return n;
  }
  static uint32_t pixel(const PngImage& image, int x, int y) {
    const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  // The width of the box around every non-white pixel.
  static int inkWidth(const PngImage& image) {
    int left = image.width, right = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (pixel(image, x, y) == 0xFFFFFF) continue;
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
    return right < left ? 0 : right - left + 1;
  }
  // Colours that differ by at most `tolerance` in every channel.
  static bool near(uint32_t a, uint32_t b, int tolerance = 2) {
    for (int shift = 0; shift < 24; shift += 8)
      if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
  }
  static PngImage page(const std::string& folder, int n) {
    PngImage image;
    EXPECT_TRUE(readPng(folder + "/page-" + std::to_string(n) + ".png", image));
    return image;
  }

  test::TempDir dir;
};

TEST(PrintLayout, BitmapPagesHalveUntilSmallEnoughAndCubicsTakeTwoThirds) {
  int w = 0, h = 0;
  bitmapPageSize(4800, 6600, w, h);
  EXPECT_EQ(w, 1200);
  EXPECT_EQ(h, 1650);
  bitmapPageSize(1000, 1000, w, h);  // 3,000,000 bytes: as it is
  EXPECT_EQ(w, 1000);
  EXPECT_EQ(h, 1000);
  // 2/3 of 300 = 200 exactly; of 100, 66.67 rounds to 67.
  const CubicControls c = cubicFromQuadratic(0, 0, 300, 300, 600, 0);
  EXPECT_EQ(c.x1, 200);
  EXPECT_EQ(c.y1, 200);
  EXPECT_EQ(c.x2, 400);
  EXPECT_EQ(c.y2, 200);
  EXPECT_EQ(cubicFromQuadratic(0, 0, 100, 0, 0, 0).x1, 67);
  // Premultiplied colours come out plain; opaque ones as they are.
  EXPECT_EQ(plainColor(expand(64, 32, 128, 128)), (PrintColor{255, 63, 127}));
  EXPECT_EQ(plainColor(expand(1, 2, 3, 255)), (PrintColor{3, 2, 1}));
}

TEST_F(Print, ScriptPrintsEveryPageSilentlyAndTheMoviePlaysOn) {
  const std::string movie = dir.write("m.qvx", compile(threePageMovie("Print:")));
  const std::string pages = dir.file("pages");
  const PlayerRun r = player({"--frames", "4", "--trace", "--print-to", pages, movie});
  ASSERT_EQ(r.status, 0) << r.err;
  // Visiting pages 2 and 3 ran none of their actions; afterwards the
  // movie goes on from frame 1 and loops.
  EXPECT_EQ(r.out, "frame 1\nprinted\nframe 2\nframe 3\nframe 1\nprinted\nframe 2\n");
  // Frame 1 printed twice (it ran twice): the second job goes to its own
  // folder beside the first.
  ASSERT_EQ(pageFiles(pages), 3);
  ASSERT_EQ(pageFiles(pages + "-2"), 3);
  EXPECT_FALSE(std::filesystem::exists(pages + "-3"));
  const uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (const std::string& folder : {pages, pages + "-2"}) {
    for (int n = 1; n <= 3; ++n) {
      const PngImage p = page(folder, n);
      ASSERT_EQ(p.width, 1240);
      ASSERT_EQ(p.height, 1754);
      EXPECT_EQ(pixel(p, 620, 877), colours[n - 1]) << folder << " page " << n;
      // showAll fits the 100 x 100 stage across the page's width.
      EXPECT_EQ(pixel(p, 620, 5), 0xFFFFFFu);
      EXPECT_GE(inkWidth(p), 1238);
    }
  }
}

TEST_F(Print, WithoutPrintToOrPagesNothingOrEveryFrameIsPrinted) {
  // No "#p": every frame is a page for a script request.
  std::string source = threePageMovie("PrintAsBitmap:");
  for (size_t at; (at = source.find("label \"#p\"\n")) != std::string::npos;) source.erase(at, 11);
  const std::string movie = dir.write("m.qvx", compile(source));
  const std::string pages = dir.file("pages");
  PlayerRun r = player({"--frames", "0", "--print-to", pages, movie});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pageFiles(pages), 3);
  EXPECT_EQ(pixel(page(pages, 2), 620, 877), 0x00FF00u);
  // Without --print-to nothing is printed, and --debug says so.
  r = player({"--frames", "0", "--debug", movie});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("no printer, nothing printed"), std::string::npos) << r.err;
}

TEST_F(Print, AreaOfAllPagesOrOfEachPage) {
  // A 20-pixel square on page 1, a 200-pixel one on page 2, on a 400 x
  // 400 stage.
  const auto movieFor = [&](const std::string& url) {
    return "movie version=6 size=400x400 rate=12\nbackground #ffffff\n" + square(1, 20, "#000000") +
           square(2, 200, "#000000") + "place2 1 id=1\nlabel \"#p\"\nactions {\n  GetURL \"" + url +
           "\" \"_level0\"\n}\nshowframe\nremove2 1\nplace2 1 id=2\nlabel \"#p\"\nshowframe\n";
  };
  const std::string maxPages = dir.file("max"), framePages = dir.file("frame");
  ASSERT_EQ(player({"--frames", "0", "--print-to", maxPages,
                    dir.write("max.qvx", compile(movieFor("Print:#bmax")))}).status, 0);
  ASSERT_EQ(player({"--frames", "0", "--print-to", framePages,
                    dir.write("frame.qvx", compile(movieFor("PrintAsBitmap:#bframe")))}).status, 0);
  ASSERT_EQ(pageFiles(maxPages), 2);
  ASSERT_EQ(pageFiles(framePages), 2);
  // One scale for both pages: the union is the big square, so the small
  // one takes a tenth of the width.
  EXPECT_NEAR(inkWidth(page(maxPages, 1)), 124, 3);
  EXPECT_NEAR(inkWidth(page(maxPages, 2)), 1240, 3);
  // Each page scaled to its own contents.
  EXPECT_NEAR(inkWidth(page(framePages, 1)), 1240, 3);
  EXPECT_NEAR(inkWidth(page(framePages, 2)), 1240, 3);
}

TEST_F(Print, VectorAndBitmapPagesAgree) {
  // Curves, a gradient and a mask.
  const auto movieFor = [&](const std::string& url) {
    return std::string("movie version=6 size=100x60 rate=12\nbackground #ffffe0\n") +
           "shape 1 {\n  fill linear 0:#ff0000 128:#00ff00 255:#0000ff scale=0.0366,0.0366 at=25px,15px\n"
           "  style moveto=0,0 fill1=1\n  lineto 50px,0\n  lineto 50px,30px\n  lineto 0,30px\n  lineto 0,0\n}\n"
           "shape 2 {\n  fill solid #2060e0\n  style moveto=60px,5px fill1=1\n"
           "  curveto 95px,5px,95px,30px\n  curveto 95px,55px,60px,55px\n  lineto 60px,5px\n}\n"
           "shape 3 {\n  fill solid #000000\n  style moveto=10px,35px fill1=1\n  curveto 30px,35px,30px,45px\n"
           "  curveto 30px,55px,10px,55px\n  lineto 10px,35px\n}\n"
           "shape 4 {\n  fill solid #e06020\n  style moveto=0,30px fill1=1\n  lineto 50px,30px\n"
           "  lineto 50px,60px\n  lineto 0,60px\n  lineto 0,30px\n}\n"
           "place2 1 id=1\nplace2 2 id=2\nplace2 3 id=3 clipdepth=4\nplace2 4 id=4\n"
           "actions {\n  GetURL \"" + url + "\" \"_level0\"\n}\nshowframe\n";
  };
  const std::string vector = dir.file("vector"), bitmap = dir.file("bitmap");
  ASSERT_EQ(player({"--frames", "0", "--print-to", vector, dir.write("v.qvx", compile(movieFor("Print:")))}).status,
            0);
  ASSERT_EQ(
      player({"--frames", "0", "--print-to", bitmap, dir.write("b.qvx", compile(movieFor("PrintAsBitmap:")))}).status,
      0);
  const PngImage v = page(vector, 1), b = page(bitmap, 1);
  ASSERT_EQ(v.rgb.size(), b.rgb.size());
  double sum = 0;
  for (size_t i = 0; i < v.rgb.size(); ++i) sum += std::abs(int{v.rgb[i]} - int{b.rgb[i]});
  EXPECT_LT(sum / static_cast<double>(v.rgb.size()), 2.0);
  // The mask shows the orange only inside the black circle-ish shape.
  // The stage fills the page's width, centred from top to bottom.
  const int top = (1754 - 60 * 1240 / 100) / 2;
  EXPECT_EQ(pixel(v, 12 * 1240 / 100, top + 45 * 1240 / 100), 0xE06020u);
  EXPECT_EQ(pixel(v, 45 * 1240 / 100, top + 45 * 1240 / 100), 0xFFFFE0u);
}

TEST_F(Print, PdfHasOnePagePerFrameAndEachJobItsOwnFile) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftoppm is not installed";
  const std::string movie = dir.write("m.qvx", compile(threePageMovie("Print:")));
  // Frame 1 runs twice in four steps: two jobs.
  const std::string pdf = dir.file("out.pdf");
  ASSERT_EQ(player({"--frames", "4", "--print-to", pdf, movie}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out-3.pdf")));
  const uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (const std::string name : {"out", "out-2"}) {
    const std::string prefix = dir.file(name + "-png");
    ASSERT_EQ(std::system(("pdftoppm -r 30 -png '" + dir.file(name + ".pdf") + "' '" + prefix + "'").c_str()), 0)
        << name;
    for (int n = 1; n <= 3; ++n) {
      PngImage p;
      ASSERT_TRUE(readPng(prefix + "-" + std::to_string(n) + ".png", p)) << name << " " << n;
      // A4 at 30 dpi.
      EXPECT_NEAR(p.width, 248, 1);
      EXPECT_NEAR(p.height, 351, 1);
      EXPECT_EQ(pixel(p, p.width / 2, p.height / 2), colours[n - 1]) << name << " " << n;
    }
    EXPECT_FALSE(std::filesystem::exists(prefix + "-4.png")) << name;
  }
}

// The host's Print command: what the dialog is offered, and what prints.
class RecordingPrinter : public Printer {
 public:
  bool printerAvailable() override { return true; }
  bool beginDocument(PrintRange& r, int& w, int& h) override {
    offered = r;
    ++documents;
    if (cancel) return false;
    w = 200;
    h = 200;
    return true;
  }
  bool beginPage() override {
    fills.emplace_back();
    return true;
  }
  bool endPage() override { return true; }
  void endDocument() override { ended = true; }
  void fillRect(int, int, int, int, PrintColor) override {}
  void fillPath(const PrintPath&, PrintColor c) override {
    if (!fills.empty()) fills.back().push_back(c);
  }
  void strokePath(const PrintPath&, double width, PrintColor c) override { strokes.push_back({width, c}); }
  void drawImage(const PrintImage&, double, double, double, double) override {}
  void drawText(const PrintText& text) override { texts.push_back(text); }
  void pushClip(const PrintPath&) override { ++clips; }
  void popClip() override {}

  struct Stroke {
    double width;
    PrintColor color;
  };
  PrintRange offered;
  int documents = 0;
  bool cancel = false;
  bool ended = false;
  int clips = 0;
  std::vector<std::vector<PrintColor>> fills;
  std::vector<Stroke> strokes;
  std::vector<PrintText> texts;
};

TEST_F(Print, HostCommandOffersThePagesOrTheCurrentFrame) {
  std::string source = threePageMovie("Print:");
  // No script request here.
  for (size_t at; (at = source.find("  GetURL \"Print:\" \"_level0\"\n")) != std::string::npos;) source.erase(at, 28);
  RecordingPrinter printer;
  {
    HeadlessPlayer player{CommandLine{}};
    player.setPrinter(&printer);
    ASSERT_TRUE(player.loadMovieFile(dir.write("p.qvx", compile(source))).ok);
    player.run(1, {});
    player.core().printFromHost();
    EXPECT_EQ(printer.offered.first, 1);
    EXPECT_EQ(printer.offered.last, 3);
    EXPECT_EQ(printer.offered.max, 3);
    EXPECT_FALSE(printer.offered.noPageNumbers);
    ASSERT_EQ(printer.fills.size(), 3u);
    EXPECT_EQ(printer.fills[2], (std::vector<PrintColor>{{0, 0, 255}}));
    // Back on its frame, playing.
    EXPECT_EQ(player.core().level0()->currentFrame(), 1);
    EXPECT_TRUE(player.core().level0()->playing());
  }
  for (size_t at; (at = source.find("label \"#p\"\n")) != std::string::npos;) source.erase(at, 11);
  printer = RecordingPrinter{};
  HeadlessPlayer player{CommandLine{}};
  player.setPrinter(&printer);
  ASSERT_TRUE(player.loadMovieFile(dir.write("n.qvx", compile(source))).ok);
  player.run(2, {});
  player.core().level0()->stop();
  player.core().printFromHost();
  // Only the frame on show, the range controls off.
  EXPECT_EQ(printer.offered.first, 3);
  EXPECT_EQ(printer.offered.last, 3);
  EXPECT_EQ(printer.offered.min, 1);
  EXPECT_EQ(printer.offered.max, 3);
  EXPECT_TRUE(printer.offered.noPageNumbers);
  EXPECT_TRUE(printer.offered.printSelection);
  ASSERT_EQ(printer.fills.size(), 1u);
  EXPECT_EQ(printer.fills[0], (std::vector<PrintColor>{{0, 0, 255}}));
  EXPECT_FALSE(player.core().level0()->playing());
  // A cancelled dialog prints nothing and leaves the movie as it was.
  printer = RecordingPrinter{};
  printer.cancel = true;
  player.core().printFromHost();
  EXPECT_EQ(printer.documents, 1);
  EXPECT_TRUE(printer.fills.empty());
  EXPECT_FALSE(printer.ended);
  EXPECT_FALSE(player.core().printing());
  EXPECT_EQ(player.core().level0()->currentFrame(), 2);
}

TEST_F(Print, WhollyTransparentPaintIsNotPrinted) {
  // Made plain, alpha 0 would come out black: it prints nothing instead.
  const std::string source = "movie version=6 size=100x100 rate=12\n" + square(1, 50, "#00ff00") +
                             "shape3 2 {\n  fill solid #ff000000\n  style moveto=0,0 fill1=1\n  lineto 100px,0\n"
                             "  lineto 100px,100px\n  lineto 0,0\n}\nplace2 1 id=1\nplace2 2 id=2\nshowframe\n";
  RecordingPrinter printer;
  HeadlessPlayer player{CommandLine{}};
  player.setPrinter(&printer);
  ASSERT_TRUE(player.loadMovieFile(dir.write("t.qvx", compile(source))).ok);
  player.core().printFromHost();
  ASSERT_EQ(printer.fills.size(), 1u);
  EXPECT_EQ(printer.fills[0], (std::vector<PrintColor>{{0, 255, 0}}));
}

// A thick line with a corner and a free end, and a hairline.
std::string linesMovie(const std::string& url) {
  return "movie version=6 size=100x100 rate=12\nbackground #ffffff\n"
         "shape 1 {\n  line 200 #204080\n  line 1 #000000\n"
         "  style moveto=20px,20px line=1\n  lineto 80px,20px\n  lineto 80px,50px\n"
         "  style moveto=20px,80px line=2\n  lineto 80px,80px\n}\n"
         "place2 1 id=1\n" +
         (url.empty() ? std::string() : "actions {\n  GetURL \"" + url + "\" \"_level0\"\n}\n") + "showframe\n";
}

TEST_F(Print, LinesAreStrokesOfARoundPen) {
  // The printer is handed pen strokes of the line's width, not outlines;
  // a line thinner than a pixel is a pixel wide, as on screen.
  RecordingPrinter printer;
  {
    HeadlessPlayer player{CommandLine{}};
    player.setPrinter(&printer);
    ASSERT_TRUE(player.loadMovieFile(dir.write("l.qvx", compile(linesMovie("")))).ok);
    player.core().printFromHost();
  }
  ASSERT_EQ(printer.fills.size(), 1u);
  EXPECT_TRUE(printer.fills[0].empty());
  ASSERT_EQ(printer.strokes.size(), 2u);
  // 10 stage pixels on a 200-pixel page for a 100-pixel stage.
  EXPECT_NEAR(printer.strokes[0].width, 20.0, 0.25);
  EXPECT_EQ(printer.strokes[0].color, (PrintColor{0x20, 0x40, 0x80}));
  EXPECT_DOUBLE_EQ(printer.strokes[1].width, 1.0);
  EXPECT_EQ(printer.strokes[1].color, (PrintColor{0, 0, 0}));

  // On paper: the page's scale is 12.4 (the stage across 1240 pixels,
  // 257 from the top), so the thick line is 124 pixels wide, running from
  // x 248 to 992 at y 505. Round cap and join: 50 pixels out along the line
  // is ink, 55 pixels out on both axes (78 away) is paper, where a square
  // cap or a mitre would be ink. PNG and PDF pages alike.
  const std::string pages = dir.file("pages"), pdf = dir.file("lines.pdf");
  const std::string movie = dir.write("p.qvx", compile(linesMovie("Print:")));
  ASSERT_EQ(player({"--frames", "0", "--print-to", pages, movie}).status, 0);
  const bool havePdf = std::system("command -v pdftoppm >/dev/null 2>&1") == 0;
  std::vector<PngImage> printed{page(pages, 1)};
  if (havePdf) {
    ASSERT_EQ(player({"--frames", "0", "--print-to", pdf, movie}).status, 0);
    PngImage p;
    ASSERT_EQ(std::system(("pdftoppm -r 150 -png '" + pdf + "' '" + dir.file("lines") + "'").c_str()), 0);
    ASSERT_TRUE(readPng(dir.file("lines-1.png"), p));
    printed.push_back(p);
  }
  for (size_t k = 0; k < printed.size(); ++k) {
    const PngImage& p = printed[k];
    SCOPED_TRACE(k == 0 ? "png" : "pdf");
    ASSERT_NEAR(p.width, 1240, 1);
    ASSERT_NEAR(p.height, 1754, 1);
    EXPECT_TRUE(near(pixel(p, 620, 505), 0x204080));
    EXPECT_TRUE(near(pixel(p, 620, 505 - 55), 0x204080));
    EXPECT_EQ(pixel(p, 620, 505 - 66), 0xFFFFFFu);
    EXPECT_TRUE(near(pixel(p, 248 - 50, 505), 0x204080));
    EXPECT_EQ(pixel(p, 248 - 55, 505 - 55), 0xFFFFFFu);
    EXPECT_EQ(pixel(p, 992 + 55, 505 - 55), 0xFFFFFFu);
    // The hairline at y 1249: a pixel or two of ink, nothing beyond.
    int rows = 0;
    for (int y = 1240; y < 1260; ++y) rows += pixel(p, 620, y) != 0xFFFFFF;
    EXPECT_GE(rows, 1);
    EXPECT_LE(rows, 3);
  }
  // The pen and the screen's stroker draw the same lines.
  const std::string bitmap = dir.file("bitmap");
  ASSERT_EQ(player({"--frames", "0", "--print-to", bitmap,
                    dir.write("b.qvx", compile(linesMovie("PrintAsBitmap:")))}).status, 0);
  const PngImage v = page(pages, 1), b = page(bitmap, 1);
  ASSERT_EQ(v.rgb.size(), b.rgb.size());
  double sum = 0;
  for (size_t i = 0; i < v.rgb.size(); ++i) sum += std::abs(int{v.rgb[i]} - int{b.rgb[i]});
  EXPECT_LT(sum / static_cast<double>(v.rgb.size()), 0.5);
}

// Device-font text: static text, and a field too narrow for its line at
// (10px, 50px), 40 pixels wide and 20 high.
std::string textMovie(const std::string& url) {
  return std::string("movie version=6 size=100x100 rate=12\nbackground #ffffff\n") + "font1 1 \"" KIVRA_TEST_FONT
         "\" chars=\"Saticwords \" device\nfontinfo 1 name=\"_sans\"\n"
         "text 10 {\n  run font=1 height=10px color=#000000 at=4px,20px \"Static words\"\n}\n"
         "edittext 11 bounds=0,800,0,400 font=1 height=240 color=#a02020ff "
         "text=\"Field words overflowing\" flags=readonly\n"
         "place2 1 id=10\nplace2 2 id=11 at=10px,50px\n" +
         (url.empty() ? std::string() : "actions {\n  GetURL \"" + url + "\" \"_level0\"\n}\n") + "showframe\n";
}

TEST_F(Print, DeviceFontTextIsSetAsText) {
  RecordingPrinter printer;
  {
    HeadlessPlayer player{CommandLine{}};
    player.setPrinter(&printer);
    ASSERT_TRUE(player.loadMovieFile(dir.write("t.qvx", compile(textMovie("")))).ok);
    player.core().printFromHost();
  }
  // Text, not outlines: no fill in the text's colours.
  ASSERT_EQ(printer.fills.size(), 1u);
  for (const PrintColor& c : printer.fills[0]) {
    EXPECT_NE(c, (PrintColor{0, 0, 0}));
    EXPECT_NE(c, (PrintColor{0xa0, 0x20, 0x20}));
  }
  std::string staticText, fieldText;
  for (const PrintText& t : printer.texts) {
    EXPECT_FALSE(t.family.empty());
    EXPECT_DOUBLE_EQ(t.xx, 1.0);
    EXPECT_DOUBLE_EQ(t.yy, 1.0);
    const bool black = t.color == PrintColor{0, 0, 0};
    for (const PrintText::Glyph& g : t.glyphs) {
      (black ? staticText : fieldText) += static_cast<char>(g.code);
      // On the baseline the layout gave, at 2 page pixels a stage pixel.
      if (black) {
        EXPECT_NEAR(g.y, 40.0, 0.05);
      }
    }
    // 10 and 12 pixels.
    EXPECT_NEAR(t.size, black ? 20.0 : 24.0, 0.05);
  }
  EXPECT_EQ(staticText, "Static words");
  // The field's spaces are gaps.
  EXPECT_EQ(fieldText.substr(0, 10), "Fieldwords");
  // The field is clipped to its rectangle.
  EXPECT_GE(printer.clips, 1);

  // A PDF keeps the words as text.
  if (std::system("command -v pdftotext >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext is not installed";
  const std::string pdf = dir.file("text.pdf");
  ASSERT_EQ(player({"--frames", "0", "--print-to", pdf, dir.write("p.qvx", compile(textMovie("Print:")))}).status, 0);
  ASSERT_EQ(std::system(("pdftotext '" + pdf + "' '" + dir.file("text.txt") + "'").c_str()), 0);
  const std::string words = slurp(dir.file("text.txt"));
  for (const char* w : {"Static", "words", "Field"}) EXPECT_NE(words.find(w), std::string::npos) << w << " in " << words;
}

TEST_F(Print, TextFieldsAreClippedToTheirBounds) {
  // The field ends at x 50px (page x 620) and lies between y 50px and
  // 70px (page 877 to 1125): its line runs on past the end on screen
  // only up to the field's edge, and so on paper.
  const std::string vector = dir.file("vector"), bitmap = dir.file("bitmap");
  ASSERT_EQ(player({"--frames", "0", "--print-to", vector, dir.write("v.qvx", compile(textMovie("Print:")))}).status,
            0);
  ASSERT_EQ(
      player({"--frames", "0", "--print-to", bitmap, dir.write("b.qvx", compile(textMovie("PrintAsBitmap:")))}).status,
      0);
  for (const std::string& folder : {vector, bitmap}) {
    const PngImage p = page(folder, 1);
    SCOPED_TRACE(folder);
    int inside = 0, outside = 0;
    for (int y = 877; y < 1125; ++y) {
      // A pixel of anti-aliasing at the edge.
      for (int x = 124; x < 1240; ++x)
        if (x < 620 || x > 621) (x < 620 ? inside : outside) += pixel(p, x, y) != 0xFFFFFF;
    }
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(outside, 0);
  }
}

}  // namespace
}  // namespace kivra
