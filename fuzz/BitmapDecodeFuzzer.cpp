// Bitmap bodies from arbitrary bytes: the first byte picks the tag (6, 8 then
// 6, 20, 21, 35, 36); the rest is the body after the character id. Decoding
// must stay inside the body and leave either a whole bitmap or none. A
// bitmap that decodes is then drawn as a fill (clipped or tiled, smoothed or
// not, turned and scaled by the first byte's high bits and the last bytes),
// so the samplers read every format at every edge.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/render/bitmap/BitmapImage.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/LosslessDecoder.h"
#include "core/render/Renderer.h"
#include "tools/kit/Shape.h"
#include "tools/kit/Tags.h"

namespace {

// Tag 6 needs tables: the body splits at a 16-bit length into the tag 8
// tables and the image.
void decodeWithTables(const uint8_t* body, size_t size, kivra::BitmapImage& image) {
  if (size < 2) return;
  size_t split = size_t{body[0]} | size_t{body[1]} << 8;
  body += 2;
  size -= 2;
  if (split > size) split = size;
  kivra::JpegTables tables;
  (void)tables.load(body, split);
  (void)tables.decode(body + split, size - split, image);
}

// Reads every row byte, so rows a decoder left unwritten show up under the
// memory sanitizer, and checks the shape of what came out.
void check(const kivra::BitmapImage& image) {
  if (image.empty()) return;
  if (image.rowBytes() != kivra::BitmapImage::rowBytesFor(image.format(), image.width())) std::abort();
  uint8_t sum = 0;
  for (size_t i = 0; i < image.byteCount(); ++i) sum = uint8_t(sum + image.bits()[i]);
  volatile uint8_t sink = sum;
  (void)sink;
}

class OneBitmap : public kivra::BitmapSource {
 public:
  explicit OneBitmap(std::shared_ptr<kivra::BitmapImage> image) : image_(std::move(image)) {}
  std::shared_ptr<kivra::BitmapImage> bitmap(uint16_t id) override { return id == 1 ? image_ : nullptr; }

 private:
  std::shared_ptr<kivra::BitmapImage> image_;
};

void draw(std::shared_ptr<kivra::BitmapImage> image, uint8_t mode, const uint8_t* data, size_t size) {
  using namespace kivra;
  const uint8_t a = size > 2 ? data[size - 1] : 0, b = size > 3 ? data[size - 2] : 0;
  const double angle = a * 0.0246, scale = 0.05 + b * 0.03;
  MATRIX m;  // bitmap pixels -> twips
  m.a = int32_t(std::lround(std::cos(angle) * scale * 20 * 65536));
  m.b = int32_t(std::lround(std::sin(angle) * scale * 20 * 65536));
  m.c = -m.b;
  m.d = m.a;
  m.tx = (a - 128) * 7;
  m.ty = (b - 128) * 5;
  kit::ShapeBuilder shape;
  const uint32_t fill = shape.addFill(kit::FillStyle::bitmap(1, m, mode & 1, mode & 2));
  shape.rect(-100, -100, 700, 500, fill);
  std::string error;
  const std::vector<uint8_t> body = kit::defineShapeBody(2, shape.bounds(), shape.shape(), true, error);
  OneBitmap bitmaps(std::move(image));
  Renderer renderer;
  renderer.setBitmapSource(&bitmaps);
  RenderTarget target;
  if (!target.create(32, 24, (mode & 4) ? PixelFormat::Bgra32 : PixelFormat::Rgb565)) return;
  FrameSetup setup;
  setup.factor = (mode & 8) ? 4 : 1;
  setup.view.a = setup.view.d = kFixedOne / 20;
  setup.dirty = ClipRect{0, 0, 32, 24};
  if (!renderer.beginFrame(target, setup)) return;
  ShapeDraw d;
  d.tagCode = 32;
  d.body = body.data();
  d.length = body.size();
  d.depth = 1;
  if (mode & 16) {
    d.cxform.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
    d.cxform.aMul = 200;
    d.cxform.rMul = 100;
    d.cxform.gAdd = -20;
    d.cxform.bAdd = 30;
  }
  (void)renderer.drawShape(d);
  renderer.endFrame();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 1) return 0;
  const uint8_t* body = data + 1;
  const size_t length = size - 1;
  auto owned = std::make_shared<BitmapImage>();
  BitmapImage& image = *owned;
  // Huge declared sizes are refused the same way at any cap; a small one
  // keeps runs fast.
  image.setMaxBytes(uint64_t{1} << 22);
  switch (data[0] % 6) {
    case 0: {
      JpegTables none;
      (void)none.decode(body, length, image);
      break;
    }
    case 1: decodeWithTables(body, length, image); break;
    case 2: (void)decodeLosslessBitmap(20, body, length, image); break;
    case 3: (void)decodeJpegBitmap(body, length, image); break;
    case 4: (void)decodeJpegAlphaBitmap(body, length, image); break;
    default: (void)decodeLosslessBitmap(36, body, length, image); break;
  }
  check(image);
  if (!image.empty()) draw(owned, static_cast<uint8_t>(data[0] / 6), data, size);
  return 0;
}
