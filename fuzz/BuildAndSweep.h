#pragma once
// What the shape and text fuzz targets do with an instance: build it, hit
// test it and sweep it into a small target.
#include "core/render/HitTest.h"
#include "core/render/ShapeParser.h"
#include "core/render/raster/Rasterizer.h"

namespace kivra::fuzz {

inline void buildAndSweep(const ShapeInstance& in) {
  ShapeParser parser;
  ShapeBuild build(1 << 16, 1 << 12);
  (void)parser.build(in, build);
  (void)hitTestShape(build, 40, 40);
  RenderTarget target;
  if (!target.create(48, 48, PixelFormat::Bgra32)) return;
  Rasterizer raster;
  if (!raster.beginFrame(target, in.factor, ClipRect{0, 0, 48, 48})) return;
  raster.addObject(build, nullptr);
  raster.paint();
}

}  // namespace kivra::fuzz
