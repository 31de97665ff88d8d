// The mixer's vector kernels against plain per-sample arithmetic written
// here: random raw sounds in every rate, size and channel count, random
// envelopes (levels up to 65535) and sound transforms (narrow and wide),
// mixed buffer by buffer, byte for byte the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/sound/SoundMixer.h"

namespace kivra {
namespace {

struct Random {
  uint32_t s;
  uint32_t next() { return s = s * 1664525u + 1013904223u; }
  int32_t in(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(next() >> 8) % (hi - lo + 1); }
};

class FixedTransform : public SoundTransformSource {
 public:
  SoundTransform t;
  SoundTransform effectiveSoundTransform(const void*) override { return t; }
};

int64_t clamp16(int64_t v) { return std::clamp<int64_t>(v, -32768, 32767); }

// One channel's buffer, the plain way: native frames to 44.1 kHz 16-bit
// stereo, the envelope, the transform.
class Reference {
 public:
  Reference(SoundFormat f, const std::vector<uint8_t>& data) : f_(f), data_(data) {}

  std::vector<int64_t> buffer(const SoundEnvelope& env, const SoundTransform& t) {
    const int ch = f_.channels();
    const size_t frames = SoundMixer::kBufferFrames >> f_.shift();
    std::vector<int64_t> w;
    for (size_t i = 0; i < frames * ch; ++i) {
      const size_t at = position_ * ch + i;
      if (f_.sixteenBit()) {
        w.push_back(2 * at + 1 < data_.size() ? static_cast<int16_t>(data_[2 * at] | data_[2 * at + 1] << 8) : 0);
      } else {
        w.push_back(at < data_.size() ? data_[at] : 128);
      }
    }
    position_ += frames;
    std::vector<int64_t> before(w.begin(), w.begin() + ch);
    if (previous_.size() == static_cast<size_t>(ch)) before = previous_;
    previous_.assign(w.end() - ch, w.end());
    for (int step = 0; step < f_.shift(); ++step) {
      std::vector<int64_t> d;
      const size_t n = w.size() / ch;
      for (size_t i = 0; i < n; ++i) {
        for (int k = 0; k < ch; ++k) d.push_back((w[i * ch + k] + (i > 0 ? w[(i - 1) * ch + k] : before[k])) >> 1);
        for (int k = 0; k < ch; ++k) d.push_back(w[i * ch + k]);
      }
      w = d;
    }
    if (!f_.sixteenBit())
      for (int64_t& v : w) v = (v - 128) * 256;
    if (ch == 1) {
      std::vector<int64_t> d;
      for (int64_t v : w) d.insert(d.end(), {v, v});
      w = d;
    }
    if (env.count > 0) {
      for (size_t j = 0; j < SoundMixer::kBufferFrames; ++j) {
        const int64_t p = mixed_ + static_cast<int64_t>(j);
        int i = 0;
        while (i < env.count && env.points[i].position <= p) ++i;
        int64_t gl, gr;
        if (i == 0 || i == env.count) {
          const SoundEnvelope::Point& h = env.points[i == 0 ? 0 : env.count - 1];
          gl = h.left;
          gr = h.right;
        } else {
          const SoundEnvelope::Point& a = env.points[i - 1];
          const SoundEnvelope::Point& b = env.points[i];
          const int64_t span = int64_t{b.position} - a.position;
          const int64_t slopeL = ((int64_t{b.left} - a.left) << 15) / span;
          const int64_t slopeR = ((int64_t{b.right} - a.right) << 15) / span;
          gl = ((int64_t{a.left} << 15) + slopeL * (p - a.position)) >> 15;
          gr = ((int64_t{a.right} << 15) + slopeR * (p - a.position)) >> 15;
        }
        w[2 * j] = clamp16((w[2 * j] * gl) >> 15);
        w[2 * j + 1] = clamp16((w[2 * j + 1] * gr) >> 15);
      }
      mixed_ += SoundMixer::kBufferFrames;
    }
    if (!t.identity()) {
      const auto limit = [](int64_t v) { return std::clamp<int64_t>(v, -(1 << 20), 1 << 20); };
      const int64_t v = limit(t.volume);
      const int64_t a = v * limit(t.ll), b = v * limit(t.lr), c = v * limit(t.rl), d = v * limit(t.rr);
      constexpr int64_t kSpan = 32768LL * 10000 + 9999;
      for (size_t j = 0; j < SoundMixer::kBufferFrames; ++j) {
        const int64_t l = w[2 * j], r = w[2 * j + 1];
        w[2 * j] = clamp16(std::clamp(a * l + b * r, -kSpan, kSpan) / 10000);
        w[2 * j + 1] = clamp16(std::clamp(c * l + d * r, -kSpan, kSpan) / 10000);
      }
    }
    return w;
  }

 private:
  SoundFormat f_;
  const std::vector<uint8_t>& data_;
  size_t position_ = 0;
  int64_t mixed_ = 0;
  std::vector<int64_t> previous_;
};

TEST(MixerKernels, VectorPathsEqualPlainArithmetic) {
  Random rnd{12345};
  for (int round = 0; round < 64; ++round) {
    SCOPED_TRACE(round);
    const SoundFormat format(static_cast<uint8_t>(0x30 | (round & 15)));
    std::vector<uint8_t> data(20000 + rnd.next() % 20000);
    for (auto& b : data) b = static_cast<uint8_t>(rnd.next() >> 24);
    SoundRecord record;
    record.format = format;
    record.data = data.data();
    record.length = data.size();
    record.sampleCount = static_cast<uint32_t>(data.size() / format.frameBytes());
    SoundInfo info;
    if (round % 4 != 3) {
      info.flags |= SoundInfo::HasEnvelope;
      info.envelope.count = 1 + static_cast<int>(rnd.next() % SoundEnvelope::kMaxPoints);
      uint32_t at = rnd.next() % 3000;
      for (int i = 0; i < info.envelope.count; ++i) {
        const uint16_t top = round % 2 ? 65535 : 32768;
        info.envelope.points[i] = {at, static_cast<uint16_t>(rnd.next() % (top + 1)),
                                   static_cast<uint16_t>(rnd.next() % (top + 1))};
        at += 1 + rnd.next() % 9000;
      }
    }
    FixedTransform transforms;
    if (round % 3 == 1) {
      transforms.t = SoundTransform{rnd.in(0, 100), rnd.in(-100, 100), rnd.in(-100, 100), rnd.in(-100, 100),
                                    rnd.in(-100, 100)};
    } else if (round % 3 == 2) {
      transforms.t = SoundTransform{rnd.in(-5000, 5000), rnd.in(-3000, 3000), rnd.in(-3000, 3000),
                                    rnd.in(-3000, 3000), rnd.in(-3000, 3000)};
    }
    SoundMixer mixer;
    mixer.setTransformSource(&transforms);
    auto channel = SoundChannel::make(record, &data, info);
    channel->volumeClip = &transforms;
    ASSERT_TRUE(mixer.addChannel(channel, 0));
    Reference reference(format, data);
    std::vector<int16_t> out(SoundMixer::kBufferFrames * 2);
    // Whole buffers only: the last one, with the sound's end in it, is
    // filled with silence by rules tested elsewhere.
    const size_t buffers = (record.sampleCount << format.shift()) / SoundMixer::kBufferFrames;
    for (size_t b = 0; b < buffers; ++b) {
      mixer.mixBuffer(out.data());
      const std::vector<int64_t> want = reference.buffer(info.envelope, transforms.t);
      for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], clamp16(want[i])) << "buffer " << b << " sample " << i;
    }
  }
}

}  // namespace
}  // namespace kivra
