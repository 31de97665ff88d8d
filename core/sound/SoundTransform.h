#pragma once
// Volume and the 2x2 channel matrix of a clip or the player, in percent:
// ll and lr feed the left output from the left and right inputs, rl and rr
// the right output.
#include <cstdint>

namespace kivra {

struct SoundTransform {
  int32_t volume = 100;
  int32_t ll = 100;
  int32_t lr = 0;
  int32_t rl = 0;
  int32_t rr = 100;

  bool identity() const { return volume == 100 && ll == 100 && lr == 0 && rl == 0 && rr == 100; }
  // `this` (accumulated so far) followed by `b`: volumes multiply, the
  // matrix becomes b x this, each element divided by 100.
  SoundTransform then(const SoundTransform& b) const {
    SoundTransform r;
    r.volume = static_cast<int32_t>(int64_t{volume} * b.volume / 100);
    r.ll = static_cast<int32_t>((int64_t{b.ll} * ll + int64_t{b.lr} * rl) / 100);
    r.lr = static_cast<int32_t>((int64_t{b.ll} * lr + int64_t{b.lr} * rr) / 100);
    r.rl = static_cast<int32_t>((int64_t{b.rl} * ll + int64_t{b.rr} * rl) / 100);
    r.rr = static_cast<int32_t>((int64_t{b.rl} * lr + int64_t{b.rr} * rr) / 100);
    return r;
  }
  bool operator==(const SoundTransform&) const = default;
};

}  // namespace kivra
