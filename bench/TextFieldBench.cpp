// Text fields: layout, drawing and typing on long texts, in the device font
// "_sans" (Liberation Sans through the pinned fontconfig file), 12 px, in a
// word-wrapped field 400 x 300 px. Texts are random words of 2 to 9 letters
// with a paragraph break every 60 words or so.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "core/movie/Character.h"
#include "core/movie/EditTextFields.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/MovieTextFonts.h"
#include "core/render/Renderer.h"
#include "core/text/EditField.h"
#include "core/text/HtmlText.h"
#include "platform/fonts/FontconfigFonts.h"

namespace {

using namespace kivra;

constexpr int kW = 400, kH = 300;  // the field, pixels

// Text shapes: words in paragraphs, words in one paragraph, and one
// unbroken word (every line breaks inside it).
enum class Shape { Paragraphs, OneParagraph, OneWord };

std::u16string words(size_t length, uint32_t seed, Shape shape = Shape::Paragraphs) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> wordLength(2, 9), letter(0, 25), paragraph(0, 59);
  std::u16string out;
  out.reserve(length + 10);
  while (out.size() < length) {
    const int n = wordLength(rng);
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(u'a' + letter(rng)));
    if (shape == Shape::OneWord) continue;
    out.push_back(shape == Shape::Paragraphs && paragraph(rng) == 0 ? u'\r' : u' ');
  }
  out.resize(length);
  return out;
}

// The movie's fonts with the system's faces behind them.
struct Fonts {
  Fonts() {
    // The pinned fonts, unless the caller chose others.
    setenv("FONTCONFIG_FILE", KIVRA_BENCH_FONTCONFIG, 0);
    text = std::make_shared<MovieTextFonts>(movie, &system);
  }
  Dictionary dictionary;
  MovieFonts movie{dictionary};
  FontconfigFonts system;
  std::shared_ptr<MovieTextFonts> text;
};

RunFormat sans() {
  RunFormat f;
  f.chars.font = "_sans";
  f.chars.size = 240;
  return f;
}

std::unique_ptr<EditField> makeField(Fonts& fonts) {
  auto f = std::make_unique<EditField>(fonts.text, 8);
  f->setInitialFormat(sans());
  f->setBounds(RECT{0, kW * 20, 0, kH * 20});
  f->setFlags(kFieldWordWrap | kFieldMultiline | kFieldBorder | kFieldBackground);
  return f;
}

bool haveFont(Fonts& fonts, benchmark::State& state) {
  if (fonts.text->face(sans().chars, false)) return true;
  state.SkipWithError("no system face for _sans");
  return false;
}

// Draws what drawField made, as the display painter does.
class FieldPainter {
 public:
  explicit FieldPainter(Fonts& fonts) : fonts_(fonts) { ok_ = target_.create(kW, kH, PixelFormat::Bgra32); }
  bool paint(EditField& field) {
    drawField(field, *fonts_.text, draw_);
    FrameSetup s;
    s.factor = 4;
    s.view.a = s.view.d = kFixedOne / 20;
    s.dirty = ClipRect{0, 0, kW, kH};
    if (!ok_ || !renderer_.beginFrame(target_, s)) return false;
    ShapeDraw d;
    d.text = &draw_;
    d.glyphs = &fonts_.movie;
    d.depth = 1;
    const bool drawn = renderer_.drawShape(d);
    renderer_.endFrame();
    benchmark::DoNotOptimize(target_.pixels());
    return drawn;
  }
  size_t glyphs() const { return draw_.glyphs.size(); }

 private:
  Fonts& fonts_;
  RenderTarget target_;
  Renderer renderer_;
  TextDraw draw_;
  bool ok_ = false;
};

// Layout alone of a 20,000-unit text (faces and advances already cached).
void BM_Layout20k(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  field->setText(words(20000, 1));
  TextLayout layout;
  for (auto _ : state) {
    layout.layout(field->buffer(), field->fonts(), field->layoutParams());
    benchmark::DoNotOptimize(layout.lines().data());
  }
  state.counters["lines"] = static_cast<double>(layout.lines().size());
}

// Setting the text (layout included), drawField and rendering the field.
void BM_LayoutDraw20k(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  const std::u16string text = words(20000, 1);
  FieldPainter painter(fonts);
  for (auto _ : state) {
    field->setText(text);
    if (!painter.paint(*field)) {
      state.SkipWithError("render failed");
      return;
    }
  }
  state.counters["glyphs"] = static_cast<double>(painter.glyphs());
}

// HTML with 500 format runs: bold, italic, colour and size changes between
// plain words, in paragraphs of 25 runs.
std::string html500() {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> kind(0, 3), letter(0, 25), wordLength(2, 9);
  auto word = [&] {
    std::string w;
    for (int n = wordLength(rng); n > 0; --n) w.push_back(static_cast<char>('a' + letter(rng)));
    return w;
  };
  std::string out;
  int runs = 0;
  while (runs < 500) {
    out += "<P ALIGN=\"LEFT\"><FONT FACE=\"_sans\" SIZE=\"12\" COLOR=\"#000000\">";
    for (int k = 0; k < 25 && runs < 500; ++k, runs += 2) {
      out += word() + " " + word() + " ";
      switch (kind(rng)) {
        case 0: out += "<B>" + word() + " " + word() + "</B> "; break;
        case 1: out += "<I>" + word() + "</I> "; break;
        case 2: out += "<FONT COLOR=\"#" + std::to_string(100000 + runs) + "\">" + word() + "</FONT> "; break;
        default: out += "<FONT SIZE=\"14\">" + word() + " " + word() + "</FONT> "; break;
      }
    }
    out += "</FONT></P>";
  }
  return out;
}

HtmlOptions htmlOptions() {
  HtmlOptions o;
  o.version = 8;
  return o;
}

// parseHtml into a buffer, the field lays it out, drawField and render.
void BM_HtmlParseLayoutDraw(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  const std::string html = html500();
  FieldPainter painter(fonts);
  size_t runs = 0;
  for (auto _ : state) {
    TextBuffer parsed;
    parseHtml(html, sans(), htmlOptions(), parsed);
    runs = parsed.runs().size();
    field->setBuffer(std::move(parsed));
    if (!painter.paint(*field)) {
      state.SkipWithError("render failed");
      return;
    }
  }
  state.counters["runs"] = static_cast<double>(runs);
  state.counters["units"] = static_cast<double>(field->text().size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
}

void BM_HtmlGenerate(benchmark::State& state) {
  const std::string html = html500();
  TextBuffer parsed;
  parseHtml(html, sans(), htmlOptions(), parsed);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string out = generateHtml(parsed, 0, parsed.size(), htmlOptions());
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["runs"] = static_cast<double>(parsed.runs().size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// One typed unit per iteration into a 100,000-unit field, at its end
// (first arg 0) or in its middle (1), the text in paragraphs, one paragraph
// or one word (second arg: 0, 1, 2); the field has scrolled to the caret.
// Every 1,000 keystrokes the text is reset, off the clock.
void BM_Type100k(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  field->setFlag(kFieldBorder, false);
  const std::u16string text = words(100000, 2, static_cast<Shape>(state.range(1)));
  const bool middle = state.range(0) == 1;
  const std::u16string typed = u"lorem ipsum dolor ";
  auto reset = [&] {
    field->setText(text);
    const size_t at = middle ? text.size() / 2 : text.size();
    field->setSelection(at, at);
    field->showCaret();
  };
  reset();
  size_t k = 0, measured = 0;
  for (auto _ : state) {
    if (++k % 1000 == 0) {
      state.PauseTiming();
      reset();
      state.ResumeTiming();
    }
    (void)field->type(std::u16string_view(typed).substr(k % typed.size(), 1));
    measured += field->layout().unitsMeasured();
  }
  state.counters["units laid out"] =
      benchmark::Counter(static_cast<double>(measured), benchmark::Counter::kAvgIterations);
  state.counters["lines"] = static_cast<double>(field->layout().lines().size());
}

// Layout alone of a 1,000,000-unit text in each shape (arg 0, 1, 2).
void BM_Layout1M(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  field->setText(words(1000000, 4, static_cast<Shape>(state.range(0))));
  TextLayout layout;
  for (auto _ : state) {
    layout.layout(field->buffer(), field->fonts(), field->layoutParams());
    benchmark::DoNotOptimize(layout.lines().data());
  }
  state.counters["lines"] = static_cast<double>(layout.lines().size());
}

// Setting a 1,000,000-unit text, as a script does: vetting, the buffer, the
// layout and scrolling.
void BM_SetText1M(benchmark::State& state) {
  Fonts fonts;
  if (!haveFont(fonts, state)) return;
  auto field = makeField(fonts);
  const std::u16string text = words(1000000, 4);
  for (auto _ : state) {
    field->setText(text);
    benchmark::DoNotOptimize(field->layout().lines().data());
  }
}

}  // namespace

BENCHMARK(BM_Layout20k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutDraw20k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlParseLayoutDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlGenerate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Type100k)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Layout1M)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetText1M)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
