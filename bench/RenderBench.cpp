// Frame times of generated 1280 x 720 scenes at HIGH quality, with the same
// geometry drawn by two comparison libraries in the same run. Each frame
// includes building the edges from the shape bodies, as the player does
// after a change.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <agg_conv_curve.h>
#include <agg_conv_stroke.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_gradient.h>
#include <agg_span_interpolator_linear.h>

#include <random>
#include <vector>

#include "core/render/Renderer.h"
#include "tools/kit/Shape.h"
#include "tools/kit/Tags.h"

namespace {

using namespace kivra;

constexpr int kW = 1280, kH = 720;

struct Seg {
  bool curve;
  float cx, cy, x, y;
};
struct Path {
  float x0, y0;
  std::vector<Seg> segs;
  Rgba color;
  int kind = 0;  // 0 solid, 1 linear, 2 radial, 3 stroke
  float width = 0;
  Rgba color2;
  float gx = 0, gy = 0, gr = 100;  // gradient centre and half size
};

std::vector<Path> makeScene(int which) {
  std::mt19937 rng(1000 + which);
  auto u = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  auto col = [&](int alphaLo) {
    return Rgba{uint8_t(u(0, 255)), uint8_t(u(0, 255)), uint8_t(u(0, 255)), uint8_t(u(float(alphaLo), 255))};
  };
  std::vector<Path> ps;
  int count = 0;
  float rmin = 0, rmax = 0;
  switch (which) {
    case 0: count = 3000; rmin = 5; rmax = 20; break;     // small curved shapes
    case 1: count = 5000; rmin = 4; rmax = 8; break;      // glyph-sized outlines
    case 2: count = 40; rmin = 200; rmax = 450; break;    // large translucent
    case 3: count = 100; rmin = 40; rmax = 160; break;    // gradients
    default: count = 300; rmin = 20; rmax = 120; break;   // thick strokes
  }
  for (int i = 0; i < count; ++i) {
    Path p;
    const float cx = u(0, kW), cy = u(0, kH), r = u(rmin, rmax);
    p.color = col(which == 2 ? 40 : 255);
    if (which == 2) p.color.a = uint8_t(u(40, 200));
    p.kind = which == 3 ? 1 + (i & 1) : (which == 4 ? 3 : 0);
    p.width = u(8, 20);
    p.color2 = col(255);
    p.gx = cx;
    p.gy = cy;
    p.gr = r;
    const int n = which == 1 ? 6 : 5;
    p.x0 = cx + r;
    p.y0 = cy;
    for (int k = 1; k <= n; ++k) {
      const float a = 6.2831853f * k / n, am = 6.2831853f * (k - 0.5f) / n;
      const float rr = k == n ? r : r * u(0.6f, 1.0f);
      Seg s{true, cx + r * 1.3f * std::cos(am), cy + r * 1.3f * std::sin(am), cx + rr * std::cos(a), cy + rr * std::sin(a)};
      if (k == n) {
        s.x = p.x0;
        s.y = p.y0;
      }
      p.segs.push_back(s);
    }
    ps.push_back(p);
  }
  return ps;
}

// ---- Ours: one shape tag per path ----
struct OurScene {
  std::vector<std::vector<uint8_t>> bodies;
};

// Every shape has id 1, unless `numbered` (a movie's shapes: 1, 2, ...).
OurScene toShapes(const std::vector<Path>& ps, bool numbered = false) {
  OurScene s;
  auto tw = [](float v) { return static_cast<int32_t>(std::lround(v * 20)); };
  for (const Path& p : ps) {
    kit::ShapeBuilder b;
    uint32_t fill = 0, line = 0;
    if (p.kind == 0) fill = b.addFill(kit::FillStyle::solid(p.color));
    if (p.kind == 1 || p.kind == 2) {
      MATRIX m;
      m.a = m.d = static_cast<Fixed16>(p.gr * 20 / 16384.0f * 65536);
      m.tx = tw(p.gx);
      m.ty = tw(p.gy);
      std::vector<kit::GradientStop> st = {{0, p.color}, {255, p.color2}};
      fill = b.addFill(p.kind == 1 ? kit::FillStyle::linear(st, m) : kit::FillStyle::radial(st, m));
    }
    if (p.kind == 3) line = b.addLine(kit::LineStyle{uint16_t(tw(p.width)), p.color});
    b.moveTo(tw(p.x0), tw(p.y0));
    if (fill) b.setFill0(fill);
    if (line) b.setLine(line);
    for (const Seg& g : p.segs) {
      if (g.curve) b.curveTo(tw(g.cx), tw(g.cy), tw(g.x), tw(g.y));
      else b.lineTo(tw(g.x), tw(g.y));
    }
    std::string e;
    const uint16_t id = numbered ? static_cast<uint16_t>(s.bodies.size() + 1) : 1;
    s.bodies.push_back(kit::defineShapeBody(id, b.bounds(), b.shape(), true, e));
  }
  return s;
}

void BM_Ours(benchmark::State& state) {
  const auto ps = makeScene(static_cast<int>(state.range(0)));
  const OurScene scene = toShapes(ps);
  RenderTarget target;
  if (!target.create(kW, kH, PixelFormat::Bgra32)) {
    state.SkipWithError("no render target");
    return;
  }
  Renderer r;
  std::vector<ShapeBuild> caches(scene.bodies.size());
  for (auto _ : state) {
    FrameSetup s;
    s.factor = 4;
    s.view.a = s.view.d = kFixedOne / 20;
    s.dirty = ClipRect{0, 0, kW, kH};
    if (!r.beginFrame(target, s)) {
      state.SkipWithError("frame refused");
      return;
    }
    for (size_t i = 0; i < scene.bodies.size(); ++i) {
      ShapeDraw d;
      d.tagCode = 32;
      d.body = scene.bodies[i].data();
      d.length = scene.bodies[i].size();
      d.depth = static_cast<uint16_t>(i + 1);
      d.cache = &caches[i];
      d.rebuild = true;
      if (!r.drawShape(d)) {
        state.SkipWithError("shape refused");
        return;
      }
    }
    r.endFrame();
    benchmark::DoNotOptimize(target.pixels());
  }
  // The label is a hash of the last frame's pixels, so two builds can be
  // checked to draw the same (outside the timed loop).
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < kH; ++y) {
    const uint32_t* row = target.row(y);
    for (int x = 0; x < kW; ++x) h = (h ^ row[x]) * 1099511628211ull;
  }
  state.SetLabel("pixels " + std::to_string(h));
}

// ---- cairo ----
void BM_Cairo(benchmark::State& state) {
  const auto ps = makeScene(static_cast<int>(state.range(0)));
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  for (auto _ : state) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (const Path& p : ps) {
      cairo_new_path(cr);
      cairo_move_to(cr, p.x0, p.y0);
      double lx = p.x0, ly = p.y0;
      for (const Seg& g : p.segs) {
        // quadratic as cubic
        cairo_curve_to(cr, lx + 2.0 / 3 * (g.cx - lx), ly + 2.0 / 3 * (g.cy - ly), g.x + 2.0 / 3 * (g.cx - g.x),
                       g.y + 2.0 / 3 * (g.cy - g.y), g.x, g.y);
        lx = g.x;
        ly = g.y;
      }
      cairo_pattern_t* pat = nullptr;
      if (p.kind == 1) pat = cairo_pattern_create_linear(p.gx - p.gr, 0, p.gx + p.gr, 0);
      if (p.kind == 2) pat = cairo_pattern_create_radial(p.gx, p.gy, 0, p.gx, p.gy, p.gr);
      if (pat) {
        cairo_pattern_add_color_stop_rgba(pat, 0, p.color.r / 255., p.color.g / 255., p.color.b / 255., p.color.a / 255.);
        cairo_pattern_add_color_stop_rgba(pat, 1, p.color2.r / 255., p.color2.g / 255., p.color2.b / 255., 1);
        cairo_set_source(cr, pat);
      } else {
        cairo_set_source_rgba(cr, p.color.r / 255., p.color.g / 255., p.color.b / 255., p.color.a / 255.);
      }
      if (p.kind == 3) {
        cairo_set_line_width(cr, p.width);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
      } else {
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(cr);
      }
      if (pat) cairo_pattern_destroy(pat);
    }
    cairo_surface_flush(surf);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surf));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

// ---- AGG ----
void BM_Agg(benchmark::State& state) {
  const auto ps = makeScene(static_cast<int>(state.range(0)));
  std::vector<uint8_t> buf(static_cast<size_t>(kW) * kH * 4);
  agg::rendering_buffer rbuf(buf.data(), kW, kH, kW * 4);
  using PixFmt = agg::pixfmt_bgra32_pre;
  PixFmt pixf(rbuf);
  agg::renderer_base<PixFmt> base(pixf);
  agg::rasterizer_scanline_aa<> ras;
  agg::scanline_u8 sl;
  agg::span_allocator<agg::rgba8> alloc;
  for (auto _ : state) {
    base.clear(agg::rgba8(255, 255, 255, 255));
    for (const Path& p : ps) {
      agg::path_storage path;
      path.move_to(p.x0, p.y0);
      for (const Seg& g : p.segs) path.curve3(g.cx, g.cy, g.x, g.y);
      path.close_polygon();
      agg::conv_curve<agg::path_storage> curve(path);
      ras.reset();
      if (p.kind == 3) {
        agg::path_storage open;
        open.move_to(p.x0, p.y0);
        for (const Seg& g : p.segs) open.curve3(g.cx, g.cy, g.x, g.y);
        agg::conv_curve<agg::path_storage> oc(open);
        agg::conv_stroke<agg::conv_curve<agg::path_storage>> stroke(oc);
        stroke.width(p.width);
        stroke.line_join(agg::round_join);
        stroke.line_cap(agg::round_cap);
        ras.filling_rule(agg::fill_non_zero);
        ras.add_path(stroke);
      } else {
        ras.filling_rule(agg::fill_even_odd);
        ras.add_path(curve);
      }
      if (p.kind == 1 || p.kind == 2) {
        agg::trans_affine mtx;
        mtx *= agg::trans_affine_scaling(p.gr / 100.0);
        mtx *= agg::trans_affine_translation(p.gx, p.gy);
        mtx.invert();
        using Interp = agg::span_interpolator_linear<>;
        Interp inter(mtx);
        agg::pod_auto_array<agg::rgba8, 256> lut;
        for (int i = 0; i < 256; ++i) {
          agg::rgba8 a(p.color.r, p.color.g, p.color.b, p.color.a), b(p.color2.r, p.color2.g, p.color2.b, 255);
          lut[i] = a.gradient(b, i / 255.0);
          lut[i].premultiply();
        }
        if (p.kind == 1) {
          agg::gradient_x g;
          agg::span_gradient<agg::rgba8, Interp, agg::gradient_x, decltype(lut)> sg(inter, g, lut, -100, 100);
          agg::render_scanlines_aa(ras, sl, base, alloc, sg);
        } else {
          agg::gradient_circle g;
          agg::span_gradient<agg::rgba8, Interp, agg::gradient_circle, decltype(lut)> sg(inter, g, lut, 0, 100);
          agg::render_scanlines_aa(ras, sl, base, alloc, sg);
        }
      } else {
        agg::rgba8 c(p.color.r, p.color.g, p.color.b, p.color.a);
        agg::render_scanlines_aa_solid(ras, sl, base, c.premultiply());
      }
    }
    benchmark::DoNotOptimize(buf.data());
  }
}

void sceneArgs(benchmark::internal::Benchmark* b) {
  for (int i = 0; i < 5; ++i) b->Arg(i);
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

namespace {

// The scenes as movies for the player's own frame loop: the whole scene in a
// sprite that moves by a pixel from one frame to the next, so that every
// step repaints the stage through the dirty rectangles.
bool writeSceneMovies(const std::string& dir) {
  for (int which = 0; which < 5; ++which) {
    const OurScene scene = toShapes(makeScene(which), true);
    kit::TagStream tags, sprite;
    tags.setBackgroundColor(Rgba{255, 255, 255, 255});
    for (size_t i = 0; i < scene.bodies.size(); ++i) {
      tags.tag(TagCode::DefineShape3, scene.bodies[i], true);
      sprite.placeObject(static_cast<uint16_t>(i + 1), static_cast<uint16_t>(i + 1));
    }
    sprite.showFrame();
    const uint16_t spriteId = static_cast<uint16_t>(scene.bodies.size() + 1);
    tags.defineSprite(spriteId, 1, sprite);
    kit::PlaceObject2 place;
    place.depth = 1;
    place.characterId = spriteId;
    place.matrix = MATRIX{};
    tags.placeObject2(place);
    tags.showFrame();
    kit::PlaceObject2 move;
    move.move = true;
    move.depth = 1;
    MATRIX shifted;
    shifted.tx = 20;
    move.matrix = shifted;
    tags.placeObject2(move);
    tags.showFrame();
    kit::MovieHeader header;
    header.frame = RECT{0, kW * 20, 0, kH * 20};
    header.frameRate = 30 << 8;
    std::vector<uint8_t> bytes;
    std::string error;
    const std::string path = dir + "/scene" + std::to_string(which) + ".qvx";
    FILE* f = nullptr;
    if (!kit::writeMovie(header, tags, bytes, error) || !(f = std::fopen(path.c_str(), "wb")) ||
        std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "render_bench: cannot write %s %s\n", path.c_str(), error.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

// Scenes: 0 small curved shapes, 1 glyph-sized outlines, 2 large translucent,
// 3 gradients, 4 thick strokes.
BENCHMARK(BM_Ours)->Apply(sceneArgs);
BENCHMARK(BM_Cairo)->Apply(sceneArgs);
BENCHMARK(BM_Agg)->Apply(sceneArgs);

// `render_bench --write-movies DIR` writes the scenes as scene0.qvx ... scene4.qvx.
int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write-movies") return writeSceneMovies(argv[2]) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
