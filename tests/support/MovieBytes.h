#pragma once
// Small movies assembled byte by byte, for tests of the intake and the
// hosts that must not depend on the authoring kit.
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kivra::test {

using Bytes = std::vector<uint8_t>;

// A tag with its header; long form on request (or when the body needs it).
Bytes tag(uint16_t code, const Bytes& body = {}, bool longForm = false);
Bytes showFrame();
Bytes endTag();
Bytes backgroundTag(uint8_t r, uint8_t g, uint8_t b);

struct MovieSpec {
  int version = 6;
  int32_t xmin = 0, xmax = 11000, ymin = 0, ymax = 8000;  // twips
  uint16_t rate = 0x0C00;                                 // 12 fps
  uint16_t frameCount = 1;
  bool compressed = false;
};

// Header, body header and the given tags (End is not added).
Bytes movie(const MovieSpec& spec, std::initializer_list<Bytes> tags);
Bytes movie(const MovieSpec& spec, const std::vector<Bytes>& tags);
// A movie of `frames` empty frames on a background colour, at 1 fps (a
// frame timer never moves it during a test).
Bytes colourMovie(int widthPx, int heightPx, int frames, uint8_t r, uint8_t g, uint8_t b);
// The RECT record alone, with the minimal bit count.
Bytes rectRecord(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax);

}  // namespace kivra::test
