// The text scene of render_bench: 2,000 words of static text at 12 px in an
// embedded font and a paragraph at 14 px in the device font "_sans", 1280 x
// 720 at HIGH, redrawn every frame, against cairo showing the same glyphs
// at the same positions through its FreeType backend (the embedded glyphs
// from the same TrueType file, the paragraph in the family fontconfig gives
// for the device font).
#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/movie/Character.h"
#include "core/movie/MovieDeviceGlyphs.h"
#include "core/movie/MovieFonts.h"
#include "core/render/Renderer.h"
#include "platform/fonts/FontconfigFonts.h"
#include "tools/kit/Fonts.h"

namespace {

using namespace kivra;

constexpr int kW = 1280, kH = 720;
constexpr int kPixelHeight = 12;
const char* kFontFile = KIVRA_BENCH_FONT;
const std::string kLetters = "abcdefghijklmnopqrstuvwxyz ";

struct PlacedGlyph {
  uint32_t index;  // into the embedded font
  double x, y;     // pixels, on the baseline
};
constexpr int kParagraphHeight = 14;
constexpr int kParagraphLines = 6;
constexpr uint16_t kDeviceFont = 2;

struct TextScene {
  kit::Font font;
  std::vector<uint8_t> fontBody;
  std::vector<std::vector<uint8_t>> lines;  // one static text body a line
  std::vector<PlacedGlyph> glyphs;
  std::vector<std::vector<uint8_t>> paragraph;  // static text in the device font
  std::vector<PlacedGlyph> paragraphGlyphs;
  std::vector<uint8_t> deviceInfo;              // its font information body
  bool ok = false;
};

// Words of 2 to 9 letters, laid out in lines across the stage.
TextScene makeTextScene() {
  TextScene s;
  std::vector<uint32_t> codes(kLetters.begin(), kLetters.end());
  std::string error;
  if (!kit::loadFontFile(kFontFile, codes, s.font, error)) return s;
  s.fontBody = kit::defineFont2Body(1, s.font, error);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> length(2, 9), letter(0, 25);
  const double scale = kPixelHeight / 1024.0;  // em units -> pixels
  int words = 0;
  double y = 11;
  while (words < 2000 && y < kH) {
    kit::StaticText text;
    kit::TextRun run;
    run.fontId = 1;
    run.height = kPixelHeight * 20;
    run.color = Rgba{20, 20, 40, 255};
    run.x = 4 * 20;
    run.y = static_cast<int16_t>(std::lround(y * 20));
    double x = 4;
    while (words < 2000) {
      const int n = length(rng);
      const double wordWidth = (n + 1) * 7.0;
      if (x + wordWidth > kW - 4) break;
      for (int i = 0; i <= n; ++i) {
        const uint32_t index = i < n ? static_cast<uint32_t>(letter(rng)) : 26;  // the space
        const int advanceTwips = static_cast<int>(std::lround(s.font.glyphs[index].advance * scale * 20));
        run.glyphs.push_back(index);
        run.advances.push_back(advanceTwips);
        s.glyphs.push_back(PlacedGlyph{index, x, y});
        x += advanceTwips / 20.0;
      }
      ++words;
    }
    text.runs.push_back(run);
    text.bounds = RECT{0, kW * 20, static_cast<int32_t>((y - 12) * 20), static_cast<int32_t>((y + 4) * 20)};
    s.lines.push_back(kit::defineTextBody(static_cast<uint16_t>(10 + s.lines.size()), text, false, error));
    y += 12.6;
  }
  // The paragraph: words across the stage's lower part, drawn over the rest.
  const double deviceScale = kParagraphHeight / 1024.0;
  y = kH - kParagraphLines * 18 + 10;
  for (int line = 0; line < kParagraphLines; ++line) {
    kit::StaticText text;
    kit::TextRun run;
    run.fontId = kDeviceFont;
    run.height = kParagraphHeight * 20;
    run.color = Rgba{120, 20, 20, 255};
    run.x = 40 * 20;
    run.y = static_cast<int16_t>(std::lround(y * 20));
    double x = 40;
    while (x < kW - 140) {
      const int n = length(rng);
      for (int i = 0; i <= n; ++i) {
        const uint32_t index = i < n ? static_cast<uint32_t>(letter(rng)) : 26;
        const int advanceTwips = static_cast<int>(std::lround(s.font.glyphs[index].advance * deviceScale * 20));
        run.glyphs.push_back(index);
        run.advances.push_back(advanceTwips);
        s.paragraphGlyphs.push_back(PlacedGlyph{index, x, y});
        x += advanceTwips / 20.0;
      }
    }
    text.runs.push_back(run);
    text.bounds = RECT{0, kW * 20, static_cast<int32_t>((y - 14) * 20), static_cast<int32_t>((y + 5) * 20)};
    s.paragraph.push_back(kit::defineTextBody(static_cast<uint16_t>(5000 + line), text, false, error));
    y += 18;
  }
  kit::Font device = s.font;
  device.name = "_sans";
  s.deviceInfo = kit::defineFontInfoBody(kDeviceFont, device, false, error);
  s.ok = error.empty() && words == 2000;
  return s;
}

// The movie's fonts with the paragraph's device font beside them.
class SceneGlyphs : public GlyphSource {
 public:
  SceneGlyphs(MovieFonts& fonts, DeviceGlyphs* device) : fonts_(fonts), device_(device) {}
  bool glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) override {
    return fonts_.glyph(fontId, index, records, length);
  }
  DeviceGlyphs* deviceGlyphs(uint16_t fontId) override { return fontId == kDeviceFont ? device_ : nullptr; }
  GlyphMasks* masks() override { return fonts_.masks(); }

 private:
  MovieFonts& fonts_;
  DeviceGlyphs* device_;
};

const TextScene& textScene() {
  static const TextScene scene = makeTextScene();
  return scene;
}

void BM_TextOurs(benchmark::State& state) {
  const TextScene& scene = textScene();
  if (!scene.ok) {
    state.SkipWithError("no font");
    return;
  }
  Dictionary dictionary;
  MovieFonts fonts(dictionary);
  auto font = std::make_shared<Character>();
  font->id = 1;
  font->kind = CharacterKind::Font;
  Character::FontPart& part = font->part.emplace<Character::FontPart>();
  // Tag 48 body: id, flags, language, name, glyph count, then the table.
  const size_t tableAt = 2 + 1 + 1 + 1 + scene.font.name.size() + 2;
  part.table = scene.fontBody.data() + tableAt;
  part.tableLength = scene.fontBody.size() - tableAt;
  part.glyphCount = static_cast<uint32_t>(scene.font.glyphs.size());
  (void)dictionary.define(font);
  FontconfigFonts system;
  std::unique_ptr<MovieDeviceGlyphs> device = MovieDeviceGlyphs::open(
      system, scene.deviceInfo.data() + 2, scene.deviceInfo.size() - 2, false, true, CodePage::windows1252());
  if (!device) {
    state.SkipWithError("no device font");
    return;
  }
  SceneGlyphs glyphs(fonts, device.get());
  RenderTarget target;
  if (!target.create(kW, kH, PixelFormat::Bgra32)) return;
  Renderer r;
  for (auto _ : state) {
    FrameSetup s;
    s.factor = 4;
    s.view.a = s.view.d = kFixedOne / 20;
    s.dirty = ClipRect{0, 0, kW, kH};
    if (!r.beginFrame(target, s)) return;
    for (size_t i = 0; i < scene.lines.size(); ++i) {
      ShapeDraw d;
      d.tagCode = 11;
      d.body = scene.lines[i].data();
      d.length = scene.lines[i].size();
      d.depth = static_cast<uint16_t>(i + 1);
      d.glyphs = &glyphs;
      (void)r.drawShape(d);
    }
    for (size_t i = 0; i < scene.paragraph.size(); ++i) {
      ShapeDraw d;
      d.tagCode = 11;
      d.body = scene.paragraph[i].data();
      d.length = scene.paragraph[i].size();
      d.depth = static_cast<uint16_t>(scene.lines.size() + i + 1);
      d.glyphs = &glyphs;
      (void)r.drawShape(d);
    }
    r.endFrame();
    benchmark::DoNotOptimize(target.pixels());
  }
}

void BM_TextCairo(benchmark::State& state) {
  const TextScene& scene = textScene();
  FT_Library library;
  FT_Face face;
  if (!scene.ok || FT_Init_FreeType(&library) || FT_New_Face(library, kFontFile, 0, &face)) {
    state.SkipWithError("no font");
    return;
  }
  std::vector<cairo_glyph_t> glyphs;
  for (const PlacedGlyph& g : scene.glyphs)
    glyphs.push_back(cairo_glyph_t{FT_Get_Char_Index(face, static_cast<FT_ULong>(kLetters[g.index])), g.x, g.y});
  cairo_font_face_t* cface = cairo_ft_font_face_create_for_ft_face(face, 0);
  std::vector<cairo_glyph_t> paragraph;
  cairo_font_face_t* dface = cairo_toy_font_face_create("Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                                                        CAIRO_FONT_WEIGHT_NORMAL);
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  {
    // The paragraph's glyph ids in the face fontconfig chose.
    cairo_set_font_face(cr, dface);
    cairo_set_font_size(cr, kParagraphHeight);
    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr);
    for (const PlacedGlyph& g : scene.paragraphGlyphs) {
      cairo_glyph_t* one = nullptr;
      int count = 0;
      const char text[2] = {kLetters[g.index], 0};
      if (cairo_scaled_font_text_to_glyphs(scaled, g.x, g.y, text, 1, &one, &count, nullptr, nullptr, nullptr) ==
              CAIRO_STATUS_SUCCESS &&
          count == 1)
        paragraph.push_back(one[0]);
      cairo_glyph_free(one);
    }
  }
  cairo_set_font_face(cr, cface);
  cairo_set_font_size(cr, kPixelHeight);
  for (auto _ : state) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 20 / 255.0, 20 / 255.0, 40 / 255.0);
    cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
    cairo_set_font_face(cr, dface);
    cairo_set_font_size(cr, kParagraphHeight);
    cairo_set_source_rgb(cr, 120 / 255.0, 20 / 255.0, 20 / 255.0);
    cairo_show_glyphs(cr, paragraph.data(), static_cast<int>(paragraph.size()));
    cairo_set_font_face(cr, cface);
    cairo_set_font_size(cr, kPixelHeight);
    cairo_surface_flush(surf);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
  cairo_font_face_destroy(cface);
  cairo_font_face_destroy(dface);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

}  // namespace

BENCHMARK(BM_TextOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextCairo)->Unit(benchmark::kMillisecond);
