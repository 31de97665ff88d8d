// qvx-images: draws the images the tests and examples use, so none has to
// come from outside. The outputs are committed; run it again only to change
// them:  qvx-images tests/movies/bitmap examples/images
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>

#include "tools/kit/Bitmaps.h"

using kivra::kit::RgbaImage;

namespace {

// A fixed-seed generator: the same images every run.
class Noise {
 public:
  int next(int amplitude) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((state_ >> 16) % (2 * amplitude + 1)) - amplitude;
  }

 private:
  uint32_t state_ = 12345;
};

uint8_t clamp8(double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); }

void set(RgbaImage& img, uint32_t x, uint32_t y, double r, double g, double b, double a = 255) {
  uint8_t* p = img.at(x, y);
  p[0] = clamp8(r);
  p[1] = clamp8(g);
  p[2] = clamp8(b);
  p[3] = clamp8(a);
}

double mix(double a, double b, double t) { return a + (b - a) * t; }
double smoothstep(double e0, double e1, double x) {
  const double t = std::fmin(1.0, std::fmax(0.0, (x - e0) / (e1 - e0)));
  return t * t * (3 - 2 * t);
}

// Four flat quadrants, one of them half transparent: few colours, for the
// palette format.
RgbaImage tiles() {
  RgbaImage img(12, 10);
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x) {
      const bool right = x >= 6, bottom = y >= 5;
      if (!right && !bottom) set(img, x, y, 220, 40, 40);
      else if (right && !bottom) set(img, x, y, 40, 180, 60);
      else if (!right) set(img, x, y, 30, 60, 200);
      else set(img, x, y, 250, 210, 40, 128);
    }
  return img;
}

// An opaque colour ramp: many colours.
RgbaImage gradient() {
  RgbaImage img(20, 16);
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x) set(img, x, y, x * 255.0 / 19, y * 255.0 / 15, 255 - x * 8.0);
  return img;
}

// A disc whose edge fades out over a few pixels, in a radial colour ramp.
RgbaImage softDisc(uint32_t size) {
  RgbaImage img(size, size);
  const double c = (size - 1) / 2.0, radius = size * 0.45, soft = size * 0.12;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      const double d = std::hypot(x - c, y - c);
      const double t = d / radius;
      const double alpha = 255 * (1 - smoothstep(radius - soft, radius, d));
      set(img, x, y, mix(255, 230, t), mix(230, 90, t), mix(120, 40, t), alpha);
    }
  return img;
}

// Sky, sun, two ranges of hills, a lake and film grain: a picture with
// the smooth areas and fine detail that JPEG is made for.
RgbaImage landscape(uint32_t w, uint32_t h, int grain) {
  RgbaImage img(w, h);
  Noise noise;
  const double sunX = w * 0.72, sunY = h * 0.28, sunR = h * 0.07;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
      // Sky: deep blue overhead to a warm haze at the horizon.
      double r = mix(40, 250, fy * 1.4), g = mix(90, 200, fy * 1.2), b = mix(190, 170, fy);
      const double sd = std::hypot(x - sunX, y - sunY);
      const double glow = std::exp(-sd / (h * 0.12));
      r += 90 * glow;
      g += 70 * glow;
      b += 20 * glow;
      if (sd < sunR) r = 255, g = 245, b = 200;
      const double far = 0.55 + 0.06 * std::sin(fx * 9.0 + 1.0) + 0.03 * std::sin(fx * 23.0);
      const double near = 0.68 + 0.08 * std::sin(fx * 5.0 + 2.5) + 0.025 * std::sin(fx * 31.0 + 0.7);
      if (fy > far) {  // distant hills, hazy blue-green
        const double depth = (fy - far) * 6;
        r = mix(110, 70, depth), g = mix(140, 110, depth), b = mix(150, 110, depth);
      }
      if (fy > near) {  // near hills with grass stripes
        const double depth = (fy - near) * 4;
        r = mix(80, 40, depth) + 10 * std::sin(x * 0.9 + y * 0.3);
        g = mix(150, 100, depth) + 12 * std::sin(x * 0.5 - y * 0.8);
        b = mix(60, 30, depth);
      }
      if (fy > 0.86) {  // a lake mirroring the sky, with ripples
        const double ripple = std::sin(y * 1.7 + std::sin(x * 0.15) * 2) * 12;
        r = mix(70, 130, fy - 0.86) + ripple, g = mix(110, 160, fy - 0.86) + ripple, b = 190 + ripple;
      }
      const int n = noise.next(grain);
      set(img, x, y, r + n, g + n, b + n);
    }
  }
  return img;
}

bool writePng(const std::string& path, const RgbaImage& img) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!kivra::kit::encodePng(img, bytes, error) || !kivra::kit::writeFileBytes(path, bytes, error)) {
    std::cerr << path << ": " << error << "\n";
    return false;
  }
  return true;
}

bool writeJpeg(const std::string& path, const RgbaImage& img, int quality) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!kivra::kit::encodeJpeg(img, quality, bytes, error) || !kivra::kit::writeFileBytes(path, bytes, error)) {
    std::cerr << path << ": " << error << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qvx-images TEST-IMAGE-DIR EXAMPLE-IMAGE-DIR\n";
    return 2;
  }
  const std::string tests = argv[1], examples = argv[2];
  bool ok = writePng(tests + "/tiles.png", tiles());
  ok = writePng(tests + "/gradient.png", gradient()) && ok;
  ok = writePng(tests + "/soft.png", softDisc(24)) && ok;
  ok = writeJpeg(tests + "/photo.jpg", landscape(40, 30, 3), 80) && ok;
  ok = writeJpeg(examples + "/landscape.jpg", landscape(320, 240, 10), 88) && ok;
  ok = writePng(examples + "/badge.png", softDisc(64)) && ok;
  return ok ? 0 : 1;
}
