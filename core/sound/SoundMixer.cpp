#include "core/sound/SoundMixer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kivra {

namespace {

constexpr uint32_t kWorkSamples = SoundMixer::kBufferFrames * 2;

inline int32_t clamp16(int32_t v) { return std::min(std::max(v, -32768), 32767); }

// Sound transform values a script may set: beyond these every sample
// saturates anyway, and within them the products fit 64 bits.
constexpr int64_t kLimit = 1 << 20;
// x / 10000 saturates the same once x is brought into this span (32 bits).
constexpr int64_t kSpan = 32768LL * 10000 + 9999;

// The per-sample kernels, in plain loops that the compiler vectorises; on
// machines with AVX2 a second build of each is chosen when the program
// loads.
#define KIVRA_SOUND_KERNEL __attribute__((target_clones("avx2", "default")))

KIVRA_SOUND_KERNEL void holdGain(int32_t* __restrict s, uint32_t frames, int32_t gl, int32_t gr) {
  for (size_t k = 0; k < frames; ++k) {
    s[2 * k] = clamp16((s[2 * k] * gl) >> 15);
    s[2 * k + 1] = clamp16((s[2 * k + 1] * gr) >> 15);
  }
}

KIVRA_SOUND_KERNEL void rampGain(int32_t* __restrict s, uint32_t frames, int32_t gainL, int32_t stepL, int32_t gainR,
                                 int32_t stepR) {
  for (size_t k = 0; k < frames; ++k) {
    const int32_t gl = (gainL + stepL * static_cast<int32_t>(k)) >> 15;
    const int32_t gr = (gainR + stepR * static_cast<int32_t>(k)) >> 15;
    s[2 * k] = clamp16((s[2 * k] * gl) >> 15);
    s[2 * k + 1] = clamp16((s[2 * k + 1] * gr) >> 15);
  }
}

KIVRA_SOUND_KERNEL void turn(int32_t* __restrict w, uint32_t frames, int32_t a, int32_t b, int32_t c, int32_t d) {
  for (size_t i = 0; i < frames; ++i) {
    const int32_t l = w[2 * i], r = w[2 * i + 1];
    w[2 * i] = clamp16((a * l + b * r) / 10000);
    w[2 * i + 1] = clamp16((c * l + d * r) / 10000);
  }
}

KIVRA_SOUND_KERNEL void addInto(int32_t* sum, const int32_t* __restrict w, uint32_t n) {
  for (size_t i = 0; i < n; ++i) sum[i] += w[i];
}

KIVRA_SOUND_KERNEL void saturate(int16_t* __restrict out, const int32_t* __restrict sum, uint32_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(clamp16(sum[i]));
}


KIVRA_SOUND_KERNEL void load16(int32_t* __restrict w, const int16_t* __restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) w[i] = s[i];
}

KIVRA_SOUND_KERNEL void load8(int32_t* __restrict w, const uint8_t* __restrict s, size_t n) {
  for (size_t i = 0; i < n; ++i) w[i] = s[i];
}

// One rate doubling: each frame is preceded by the average of itself and
// the frame before it (`before` for the first).
KIVRA_SOUND_KERNEL void doubleMono(int32_t* __restrict dst, const int32_t* __restrict src, size_t frames,
                                   int32_t before) {
  dst[0] = (src[0] + before) >> 1;
  dst[1] = src[0];
  for (size_t i = 1; i < frames; ++i) {
    dst[2 * i] = (src[i] + src[i - 1]) >> 1;
    dst[2 * i + 1] = src[i];
  }
}

KIVRA_SOUND_KERNEL void doubleStereo(int32_t* __restrict dst, const int32_t* __restrict src, size_t frames,
                                     const int32_t* before) {
  dst[0] = (src[0] + before[0]) >> 1;
  dst[1] = (src[1] + before[1]) >> 1;
  dst[2] = src[0];
  dst[3] = src[1];
  for (size_t i = 1; i < frames; ++i) {
    dst[4 * i] = (src[2 * i] + src[2 * i - 2]) >> 1;
    dst[4 * i + 1] = (src[2 * i + 1] + src[2 * i - 1]) >> 1;
    dst[4 * i + 2] = src[2 * i];
    dst[4 * i + 3] = src[2 * i + 1];
  }
}

KIVRA_SOUND_KERNEL void widen8(int32_t* __restrict w, size_t n) {
  for (size_t i = 0; i < n; ++i) w[i] = (w[i] - 128) * 256;
}

KIVRA_SOUND_KERNEL void monoToStereo(int32_t* __restrict dst, const int32_t* __restrict src, size_t frames) {
  for (size_t i = 0; i < frames; ++i) dst[2 * i] = dst[2 * i + 1] = src[i];
}
}  // namespace

SoundMixer::SoundMixer()
    : native_(std::make_unique<int16_t[]>(kWorkSamples)),
      work_(std::make_unique<int32_t[]>(kWorkSamples)),
      spare_(std::make_unique<int32_t[]>(kWorkSamples)),
      sum_(std::make_unique<int32_t[]>(kWorkSamples)) {}

SoundMixer::~SoundMixer() { stopAll(); }

int SoundMixer::activeChannels() const {
  int n = 0;
  for (const auto& c : channels_) n += c->done ? 0 : 1;
  return n;
}

void SoundMixer::purge() {
  // A stream's fetch may start sounds while the list is being walked.
  if (mixing_) return;
  std::erase_if(channels_, [](const std::shared_ptr<SoundChannel>& c) { return c->done; });
}

bool SoundMixer::addChannel(std::shared_ptr<SoundChannel> channel, uint32_t nowMs) {
  if (!channel || !SoundDecoder::supports(channel->record.format)) return false;
  SoundChannel& c = *channel;
  const bool stops = !c.isStream() && (c.playFlags & 2);
  if (activeChannels() >= kMaxChannels) {
    // Refused, but a stop still stops.
    if (stops) stopBySound(c.sound);
    return false;
  }
  if (c.isStream()) {
    std::fill(std::begin(c.credits), std::end(c.credits), 0u);
    c.lastCompletion = nowMs;
    c.decoder.reset(c.record);
  } else {
    if (stops) {
      stopBySound(c.sound);
      return false;
    }
    if ((c.playFlags & 1) && isPlaying(c.sound)) return false;
    const int shift = c.record.format.shift();
    const uint32_t in = c.inPoint >> shift;
    c.end = std::min(c.outPoint >> shift, c.record.sampleCount);
    if (in >= c.end) return false;
    c.decoder.reset(c.record);
    c.decoder.decode(nullptr, in);
    c.position = in;
    c.mixed44 = 0;
  }
  c.previousValid = false;
  purge();
  channels_.push_back(std::move(channel));
  if (!open_) {
    open_ = true;
    silentBuffers_ = 0;
  }
  return true;
}

void SoundMixer::stopAll() {
  for (auto& c : channels_) c->done = true;
  purge();
}

void SoundMixer::stopByClip(const void* clip, const std::function<bool(const SoundChannel&)>& which) {
  for (auto& c : channels_)
    if (c->startClip == clip && (!which || which(*c))) c->done = true;
  purge();
}

void SoundMixer::stopBySound(const void* sound) {
  for (auto& c : channels_)
    if (c->sound == sound && !c->isStream()) c->done = true;
  purge();
}

bool SoundMixer::isPlaying(const void* sound) const {
  for (const auto& c : channels_)
    if (!c->done && c->sound == sound && !c->isStream()) return true;
  return false;
}

void SoundMixer::clipRemoved(const void* clip, const void* replacement) {
  for (auto& c : channels_) {
    if (c->volumeClip == clip) c->volumeClip = replacement;
    if (c->startClip == clip) c->startClip = nullptr;
  }
}

std::vector<std::shared_ptr<SoundChannel>> SoundMixer::takeCompleted() {
  std::vector<std::shared_ptr<SoundChannel>> out;
  out.swap(completed_);
  return out;
}

void SoundMixer::complete(SoundChannel& c) {
  c.done = true;
  if (c.scriptObject) {
    c.completionPending = true;
    for (auto& p : channels_)
      if (p.get() == &c) completed_.push_back(p);
  }
}

void SoundMixer::fillEvent(SoundChannel& c, uint8_t* native, uint32_t frames) {
  const SoundFormat format = c.decoder.decodedFormat();
  const uint32_t frameBytes = static_cast<uint32_t>(format.frameBytes());
  const int shift = c.record.format.shift();
  uint32_t produced = 0;
  while (produced < frames) {
    const uint32_t run = std::min(frames - produced, c.end > c.position ? c.end - c.position : 0u);
    c.decoder.decode(native + produced * frameBytes, run);
    c.position += run;
    produced += run;
    c.objectPosition = uint64_t{c.position} << shift;
    if (c.position < c.end) continue;
    // At the end: another pass from the in point, or done.
    if (c.loops <= 1) {
      std::memset(native + produced * frameBytes, format.sixteenBit() ? 0 : 128, (frames - produced) * frameBytes);
      complete(c);
      return;
    }
    --c.loops;
    const uint32_t in = c.inPoint >> shift;
    c.decoder.reset(c.record);
    c.decoder.decode(nullptr, in);
    c.position = in;
  }
}

void SoundMixer::fillStream(SoundChannel& c, uint8_t* native, uint32_t frames, int slot) {
  SoundStreamSource& stream = *c.stream;
  uint32_t produced = 0;
  while (produced < frames) {
    const SoundFormat format = c.decoder.decodedFormat();
    const uint32_t frameBytes = static_cast<uint32_t>(format.frameBytes());
    const uint32_t e = std::min(frames - produced, c.blockLeft);
    if (e > 0) {
      uint8_t* at = native + produced * frameBytes;
      if (c.silentBlock) std::memset(at, format.sixteenBit() ? 0 : 128, e * frameBytes);
      else c.decoder.decode(at, e);
      if (!c.starving) c.credits[slot] += e;
      produced += e;
      c.blockLeft -= e;
      continue;
    }
    const bool fetched = stream.fetchBlock(c);
    c.starving = !fetched;
    if (c.blockLeft == 0) {
      // A frame without a block, or nothing to fetch: a block of silence,
      // or the silence a negative MP3 seek asked for.
      c.blockLeft = c.pendingSilence > 0 ? static_cast<uint32_t>(c.pendingSilence)
                                         : std::max<uint32_t>(1, stream.samplesPerBlock());
      c.pendingSilence = 0;
      c.silentBlock = true;
    }
    if (c.scriptObject) c.objectPosition += uint64_t{c.blockLeft} << c.record.format.shift();
  }
}

void SoundMixer::toOutputFormat(SoundChannel& c, SoundFormat format, const uint8_t* native, uint32_t frames) {
  const int ch = format.channels();
  // Each doubling and the widening to stereo write into the other buffer:
  // start in the one that leaves the result in work_.
  const int passes = format.shift() + (ch == 1 ? 1 : 0);
  int32_t* src = passes % 2 == 0 ? work_.get() : spare_.get();
  int32_t* dst = passes % 2 == 0 ? spare_.get() : work_.get();
  // Native samples, still unsigned when 8-bit.
  if (format.sixteenBit()) load16(src, reinterpret_cast<const int16_t*>(native), size_t{frames} * ch);
  else load8(src, native, size_t{frames} * ch);
  // Doubling runs across buffers: the first frame follows the last one of
  // the channel's previous buffer, at every step (the last frame of a
  // doubled buffer is its last native frame).
  int32_t before[2];
  for (int k = 0; k < ch; ++k) before[k] = c.previousValid ? c.previous[k] : src[k];
  if (frames > 0) {
    for (int k = 0; k < ch; ++k) c.previous[k] = src[(frames - 1) * ch + k];
    c.previousValid = true;
  }
  for (int step = format.shift(); step > 0 && frames > 0; --step) {
    if (ch == 1) doubleMono(dst, src, frames, before[0]);
    else doubleStereo(dst, src, frames, before);
    std::swap(src, dst);
    frames *= 2;
  }
  if (!format.sixteenBit()) widen8(src, size_t{frames} * ch);
  if (ch == 1) monoToStereo(dst, src, frames);
}

// Levels 0..32768 per side; between points the gain (level x 32768) moves
// by a fixed slope per sample; each sample becomes s * (gain >> 15) >> 15.
// Levels are 16-bit, so a gain (at most 65535 << 15) and a sample times a
// level both fit 32 bits; the gain of sample k is start + slope * k, summed
// one slope at a time.
void SoundMixer::applyEnvelope(const SoundEnvelope& env, uint64_t position) {
  if (env.count <= 0) return;
  int32_t* w = work_.get();
  const int count = std::min(env.count, SoundEnvelope::kMaxPoints);
  uint32_t j = 0;
  while (j < kBufferFrames) {
    const uint64_t p = position + j;
    int i = 0;
    while (i < count && env.points[i].position <= p) ++i;
    uint32_t run = kBufferFrames - j;
    int32_t* s = w + 2 * j;
    if (i == 0 || i == count) {
      const SoundEnvelope::Point& h = env.points[i == 0 ? 0 : count - 1];
      if (i == 0) run = static_cast<uint32_t>(std::min<uint64_t>(run, env.points[0].position - p));
      const int32_t gl = h.left, gr = h.right;
      if (gl != 32768 || gr != 32768) holdGain(s, run, gl, gr);
    } else {
      const SoundEnvelope::Point& a = env.points[i - 1];
      const SoundEnvelope::Point& b = env.points[i];
      const int64_t span = int64_t{b.position} - a.position;  // > 0: a <= p < b
      const int64_t slopeL = ((int64_t{b.left} - a.left) << 15) / span;
      const int64_t slopeR = ((int64_t{b.right} - a.right) << 15) / span;
      const int64_t into = static_cast<int64_t>(p - a.position);
      // Between the two levels for every sample of the run (into + k < span).
      const int32_t gainL = static_cast<int32_t>((int64_t{a.left} << 15) + slopeL * into);
      const int32_t gainR = static_cast<int32_t>((int64_t{a.right} << 15) + slopeR * into);
      run = static_cast<uint32_t>(std::min<uint64_t>(run, b.position - p));
      rampGain(s, run, gainL, static_cast<int32_t>(slopeL), gainR, static_cast<int32_t>(slopeR));
    }
    j += run;
  }
}

void SoundMixer::applyTransform(const SoundTransform& t) {
  int32_t* w = work_.get();
  const auto limit = [](int32_t v) { return std::clamp<int64_t>(v, -kLimit, kLimit); };
  const int64_t v = limit(t.volume);
  const int64_t a = v * limit(t.ll), b = v * limit(t.lr), c = v * limit(t.rl), d = v * limit(t.rr);
  constexpr int64_t kNarrow = 65535;
  if (std::abs(a) + std::abs(b) <= kNarrow && std::abs(c) + std::abs(d) <= kNarrow) {
    // Samples are 16-bit here, so every sum fits 32 bits; beyond the span
    // the quotient saturates the same either way.
    turn(w, kBufferFrames, static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c),
         static_cast<int32_t>(d));
    return;
  }
  const auto scaled = [](int64_t x) {
    const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(x, -kSpan, kSpan));
    return clamp16(n / 10000);
  };
  for (uint32_t i = 0; i < kBufferFrames; ++i) {
    const int64_t l = w[2 * i], r = w[2 * i + 1];
    w[2 * i] = scaled(a * l + b * r);
    w[2 * i + 1] = scaled(c * l + d * r);
  }
}

int SoundMixer::mixBuffer(int16_t* out) {
  const int slot = static_cast<int>(nextSlot_++ % SoundChannel::kCreditSlots);
  for (auto& c : channels_) c->credits[slot] = 0;
  int mixed = 0;
  if (open_) {
    mixing_ = true;
    uint8_t* native = reinterpret_cast<uint8_t*>(native_.get());
    // Channels added during a fetch join the next buffer.
    const size_t count = channels_.size();
    for (size_t k = 0; k < count; ++k) {
      const std::shared_ptr<SoundChannel> keep = channels_[k];
      SoundChannel& c = *keep;
      if (c.done) continue;
      const uint32_t frames = kBufferFrames >> c.record.format.shift();
      if (c.isStream()) {
        fillStream(c, native, frames, slot);
      } else {
        fillEvent(c, native, frames);
      }
      toOutputFormat(c, c.decoder.decodedFormat(), native, frames);
      if (c.isStream() && c.firstBuffer) {
        // Streams fade in over their first buffer.
        SoundEnvelope fade;
        fade.count = 2;
        fade.points[0] = {0, 0, 0};
        fade.points[1] = {std::min<uint32_t>(kBufferFrames, 11025), 32768, 32768};
        applyEnvelope(fade, 0);
        c.firstBuffer = false;
      }
      if (c.envelope.count > 0) {
        applyEnvelope(c.envelope, c.mixed44);
        c.mixed44 += kBufferFrames;
      }
      if (c.volumeClip && transforms_) {
        const SoundTransform t = transforms_->effectiveSoundTransform(c.volumeClip);
        if (!t.identity()) applyTransform(t);
      }
      int32_t* sum = sum_.get();
      const int32_t* w = work_.get();
      if (mixed == 0) std::memcpy(sum, w, kWorkSamples * sizeof(int32_t));
      else addInto(sum, w, kWorkSamples);
      ++mixed;
      if (c.isStream() && c.stream && c.stream->streamEnded()) complete(c);
    }
    mixing_ = false;
  }
  if (mixed == 0) {
    std::memset(out, 0, kWorkSamples * sizeof(int16_t));
  } else {
    // Saturated once, after summing.
    saturate(out, sum_.get(), kWorkSamples);
  }
  if (mixed == 0) {
    if (open_ && ++silentBuffers_ > kBufferCount) open_ = false;
  } else {
    silentBuffers_ = 0;
  }
  return slot;
}

void SoundMixer::bufferDone(int slot, uint32_t nowMs) {
  if (slot < 0 || slot >= SoundChannel::kCreditSlots) return;
  for (auto& c : channels_) {
    if (!c->isStream()) continue;
    c->played += c->credits[slot];
    c->credits[slot] = 0;
    c->lastCompletion = nowMs;
  }
}

SoundMixer::StreamPosition SoundMixer::channelPosition(const SoundChannel& c, uint32_t nowMs) const {
  StreamPosition p;
  const uint32_t perBlock = c.stream ? c.stream->samplesPerBlock() : 0;
  if (perBlock == 0) return p;
  int64_t samples = static_cast<int64_t>(c.played);
  if (!c.starving) {
    const uint32_t since = std::min<uint32_t>((nowMs - c.lastCompletion) & 0x7FFFFFFF, 63);
    samples += (int64_t{since} * 44) >> c.record.format.shift();
  }
  samples += perBlock / 2;
  p.frame = samples / perBlock;
  p.offset = samples % perBlock;
  return p;
}

}  // namespace kivra
