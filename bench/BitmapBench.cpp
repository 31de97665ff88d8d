// Bitmaps: decoding a 1920 x 1080 baseline JPEG into the internal format
// against the JPEG library decoding the same file to RGB, and two 1280 x 720
// bitmap scenes at HIGH against cairo drawing the same images under the
// same transforms with its bilinear filter. Each scene's pictures are
// compared once: the mean difference per channel is reported as `meanDiff`.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/render/Renderer.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "tools/kit/Shape.h"
#include "tools/kit/Tags.h"

namespace {

using namespace kivra;

constexpr int kW = 1280, kH = 720;

// A smooth photo-like picture: sky, hills, sun and a little texture.
std::vector<uint8_t> photoRgb(int w, int h, uint32_t seed) {
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = double(x) / w, fy = double(y) / h;
      const double hill = 0.6 + 0.08 * std::sin(fx * 9.0 + seed) + 0.05 * std::sin(fx * 23.0);
      double r, g, b;
      if (fy < hill) {
        r = 70 + 150 * fy;
        g = 110 + 90 * fy;
        b = 230 - 60 * fy;
        const double dx = fx - 0.7, dy = fy - 0.25, d = std::sqrt(dx * dx + dy * dy);
        if (d < 0.08) r = g = 250, b = 220;
      } else {
        r = 40 + 30 * std::sin(fx * 40.0);
        g = 120 + 40 * std::sin(fy * 30.0 + fx * 7.0);
        b = 50;
      }
      uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
      p[0] = uint8_t(std::clamp(int(r) + noise(rng), 0, 255));
      p[1] = uint8_t(std::clamp(int(g) + noise(rng), 0, 255));
      p[2] = uint8_t(std::clamp(int(b) + noise(rng), 0, 255));
    }
  return rgb;
}

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int w, int h) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[size_t(c.next_scanline) * w * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(mem, mem + size);
  free(mem);
  return out;
}

const std::vector<uint8_t>& hdJpeg() {
  static const std::vector<uint8_t> jpeg = encodeJpeg(photoRgb(1920, 1080, 1), 1920, 1080);
  return jpeg;
}

void BM_JpegOurs(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = hdJpeg();
  BitmapImage image;
  for (auto _ : state) {
    if (!decodeJpegBitmap(jpeg.data(), jpeg.size(), image)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.bits());
  }
}

void BM_JpegLibraryRgb(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = hdJpeg();
  std::vector<uint8_t> rgb(1920 * 1080 * 3);
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = &rgb[size_t(d.output_scanline) * d.output_width * 3];
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(rgb.data());
  }
}

// ---- Bitmap scenes -----------------------------------------------------

struct Placed {
  int image;           // 0: the photo, 1: the tile
  double a, b, c, d;   // bitmap pixels -> stage pixels
  double tx, ty;
  double x0, y0, x1, y1;  // the filled rectangle, stage pixels
  bool clipped;
};

struct Scene {
  std::vector<std::vector<uint32_t>> argb;  // premultiplied 0xAARRGGBB
  std::vector<int> width, height;
  std::vector<Placed> items;
};

std::vector<uint32_t> toArgb(const std::vector<uint8_t>& rgb) {
  std::vector<uint32_t> out(rgb.size() / 3);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = 0xFF000000u | uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
  return out;
}

Scene makeScene(int which) {
  Scene s;
  if (which == 0) {
    // One photo covering the stage, rotated 8 degrees and enlarged 1.3x.
    s.argb.push_back(toArgb(photoRgb(1024, 640, 2)));
    s.width.push_back(1024);
    s.height.push_back(640);
    const double k = 1.3, r = 8 * M_PI / 180;
    Placed p{0, k * std::cos(r), k * std::sin(r), -k * std::sin(r), k * std::cos(r), 40, -120, 0, 0, kW, kH, true};
    s.items.push_back(p);
  } else {
    // 200 small tiled fills: a 32 x 32 tile repeated, turned and scaled.
    s.argb.push_back(toArgb(photoRgb(32, 32, 3)));
    s.width.push_back(32);
    s.height.push_back(32);
    std::mt19937 rng(7);
    auto u = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    for (int i = 0; i < 200; ++i) {
      const double k = u(0.7, 2.0), r = u(-0.6, 0.6);
      const double x = u(0, kW - 90), y = u(0, kH - 90), w = u(40, 90), h = u(40, 90);
      s.items.push_back(Placed{0, k * std::cos(r), k * std::sin(r), -k * std::sin(r), k * std::cos(r), x + u(0, 20),
                               y + u(0, 20), x, y, x + w, y + h, false});
    }
  }
  return s;
}

class SceneBitmaps : public BitmapSource {
 public:
  explicit SceneBitmaps(const Scene& s) {
    for (size_t i = 0; i < s.argb.size(); ++i) {
      auto image = std::make_shared<BitmapImage>();
      if (image->create(kBitmapBgra32, uint32_t(s.width[i]), uint32_t(s.height[i])))
        std::memcpy(image->bits(), s.argb[i].data(), s.argb[i].size() * 4);
      images_.push_back(image);
    }
  }
  std::shared_ptr<BitmapImage> bitmap(uint16_t id) override {
    return id >= 1 && id <= images_.size() ? images_[id - 1] : nullptr;
  }

 private:
  std::vector<std::shared_ptr<BitmapImage>> images_;
};

std::vector<std::vector<uint8_t>> shapeBodies(const Scene& s) {
  std::vector<std::vector<uint8_t>> bodies;
  for (const Placed& p : s.items) {
    kit::ShapeBuilder b;
    MATRIX m;  // bitmap pixels -> twips
    m.a = int32_t(std::lround(p.a * 20 * 65536));
    m.b = int32_t(std::lround(p.b * 20 * 65536));
    m.c = int32_t(std::lround(p.c * 20 * 65536));
    m.d = int32_t(std::lround(p.d * 20 * 65536));
    m.tx = int32_t(std::lround(p.tx * 20));
    m.ty = int32_t(std::lround(p.ty * 20));
    const uint32_t f = b.addFill(kit::FillStyle::bitmap(uint16_t(p.image + 1), m, p.clipped, true));
    b.rect(int32_t(p.x0 * 20), int32_t(p.y0 * 20), int32_t(p.x1 * 20), int32_t(p.y1 * 20), f);
    std::string error;
    bodies.push_back(kit::defineShapeBody(1, b.bounds(), b.shape(), true, error));
  }
  return bodies;
}

void drawOurs(Renderer& r, RenderTarget& target, const std::vector<std::vector<uint8_t>>& bodies) {
  FrameSetup setup;
  setup.factor = 4;
  setup.view.a = setup.view.d = kFixedOne / 20;
  setup.dirty = ClipRect{0, 0, kW, kH};
  if (!r.beginFrame(target, setup)) return;
  for (size_t i = 0; i < bodies.size(); ++i) {
    ShapeDraw d;
    d.tagCode = 32;
    d.body = bodies[i].data();
    d.length = bodies[i].size();
    d.depth = uint16_t(i + 1);
    (void)r.drawShape(d);
  }
  r.endFrame();
}

void drawCairo(cairo_t* cr, const std::vector<cairo_surface_t*>& images, const Scene& s) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  for (const Placed& p : s.items) {
    cairo_pattern_t* pat = cairo_pattern_create_for_surface(images[size_t(p.image)]);
    cairo_matrix_t m;
    cairo_matrix_init(&m, p.a, p.b, p.c, p.d, p.tx, p.ty);
    cairo_matrix_invert(&m);
    cairo_pattern_set_matrix(pat, &m);
    cairo_pattern_set_filter(pat, CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pat, p.clipped ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_REPEAT);
    cairo_set_source(cr, pat);
    cairo_rectangle(cr, p.x0, p.y0, p.x1 - p.x0, p.y1 - p.y0);
    cairo_fill(cr);
    cairo_pattern_destroy(pat);
  }
}

std::vector<cairo_surface_t*> cairoImages(Scene& s) {
  std::vector<cairo_surface_t*> out;
  for (size_t i = 0; i < s.argb.size(); ++i)
    out.push_back(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.argb[i].data()),
                                                      CAIRO_FORMAT_ARGB32, s.width[i], s.height[i], s.width[i] * 4));
  return out;
}

// Mean absolute difference per colour channel of the two pictures.
double meanDifference(int which) {
  Scene s = makeScene(which);
  SceneBitmaps bitmaps(s);
  Renderer r;
  r.setBitmapSource(&bitmaps);
  RenderTarget ours;
  if (!ours.create(kW, kH, PixelFormat::Bgra32)) return -1;
  drawOurs(r, ours, shapeBodies(s));
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  std::vector<cairo_surface_t*> images = cairoImages(s);
  drawCairo(cr, images, s);
  cairo_surface_flush(surf);
  const uint8_t* theirs = cairo_image_surface_get_data(surf);
  const int stride = cairo_image_surface_get_stride(surf);
  double sum = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t a = ours.row(y)[x];
      uint32_t b;
      std::memcpy(&b, theirs + size_t(y) * stride + x * 4, 4);
      for (int c = 0; c < 24; c += 8) sum += std::abs(int((a >> c) & 255) - int((b >> c) & 255));
    }
  for (cairo_surface_t* i : images) cairo_surface_destroy(i);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
  return sum / (double(kW) * kH * 3);
}

void BM_BitmapOurs(benchmark::State& state) {
  const int which = int(state.range(0));
  Scene s = makeScene(which);
  SceneBitmaps bitmaps(s);
  const auto bodies = shapeBodies(s);
  Renderer r;
  r.setBitmapSource(&bitmaps);
  RenderTarget target;
  if (!target.create(kW, kH, PixelFormat::Bgra32)) state.SkipWithError("no target");
  for (auto _ : state) drawOurs(r, target, bodies);
  state.counters["meanDiff"] = meanDifference(which);
}

void BM_BitmapCairo(benchmark::State& state) {
  Scene s = makeScene(int(state.range(0)));
  cairo_surface_t* surf = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
  cairo_t* cr = cairo_create(surf);
  std::vector<cairo_surface_t*> images = cairoImages(s);
  for (auto _ : state) {
    drawCairo(cr, images, s);
    cairo_surface_flush(surf);
  }
  for (cairo_surface_t* i : images) cairo_surface_destroy(i);
  cairo_destroy(cr);
  cairo_surface_destroy(surf);
}

}  // namespace

BENCHMARK(BM_JpegOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibraryRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BitmapOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BitmapCairo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
