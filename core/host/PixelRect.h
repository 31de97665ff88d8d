#pragma once
// A rectangle of whole client pixels: right and bottom are exclusive.

namespace kivra {

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
};

}  // namespace kivra
