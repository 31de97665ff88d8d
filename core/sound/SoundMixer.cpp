#include "core/sound/SoundMixer.h"

#include <algorithm>
#include <cstring>

namespace kivra {

namespace {

constexpr uint32_t kWorkSamples = SoundMixer::kBufferFrames * 2;

int32_t clamp16(int64_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : static_cast<int32_t>(v); }

// Sound transform values a script may set: beyond these every sample
// saturates anyway, and within them the products fit 64 bits.
constexpr int64_t kLimit = 1 << 20;
// x / 10000 saturates the same once x is brought into this span (32 bits).
constexpr int64_t kSpan = 32768LL * 10000 + 9999;

}  // namespace

SoundMixer::SoundMixer()
    : native_(std::make_unique<int16_t[]>(kWorkSamples)),
      work_(std::make_unique<int32_t[]>(kWorkSamples)),
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
      // A frame without a block, or nothing to fetch: a block of silence.
      c.blockLeft = std::max<uint32_t>(1, stream.samplesPerBlock());
      c.silentBlock = true;
    }
    if (c.scriptObject) c.objectPosition += uint64_t{c.blockLeft} << c.record.format.shift();
  }
}

void SoundMixer::toOutputFormat(SoundChannel& c, SoundFormat format, const uint8_t* native, uint32_t frames) {
  const int ch = format.channels();
  int32_t* w = work_.get();
  // Native samples, still unsigned when 8-bit.
  if (format.sixteenBit()) {
    const int16_t* s = reinterpret_cast<const int16_t*>(native);
    for (uint32_t i = 0; i < frames * ch; ++i) w[i] = s[i];
  } else {
    for (uint32_t i = 0; i < frames * ch; ++i) w[i] = native[i];
  }
  // Rates up by doubling, in place from the back: each frame is preceded by
  // the average of itself and the frame before it (across buffers too).
  int32_t before[2];
  for (int k = 0; k < ch; ++k) before[k] = c.previousValid ? c.previous[k] : w[k];
  if (frames > 0) {
    for (int k = 0; k < ch; ++k) c.previous[k] = w[(frames - 1) * ch + k];
    c.previousValid = true;
  }
  for (int step = format.shift(); step > 0; --step) {
    for (uint32_t i = frames; i-- > 0;) {
      for (int k = 0; k < ch; ++k) {
        const int32_t v = w[i * ch + k];
        const int32_t prior = i > 0 ? w[(i - 1) * ch + k] : before[k];
        w[(2 * i + 1) * ch + k] = v;
        w[(2 * i) * ch + k] = (v + prior) >> 1;
      }
    }
    frames *= 2;
  }
  if (!format.sixteenBit())
    for (uint32_t i = 0; i < frames * ch; ++i) w[i] = (w[i] - 128) * 256;
  if (ch == 1) {
    for (uint32_t i = frames; i-- > 0;) w[2 * i] = w[2 * i + 1] = w[i];
  }
}

// Levels 0..32768 per side; between points the gain (level x 32768) moves
// by a fixed slope per sample; each sample becomes s * (gain >> 15) >> 15.
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
    int64_t startL, startR, slopeL = 0, slopeR = 0;
    if (i == 0 || i == count) {
      const SoundEnvelope::Point& h = env.points[i == 0 ? 0 : count - 1];
      startL = int64_t{h.left} << 15;
      startR = int64_t{h.right} << 15;
      if (i == 0) run = static_cast<uint32_t>(std::min<uint64_t>(run, env.points[0].position - p));
    } else {
      const SoundEnvelope::Point& a = env.points[i - 1];
      const SoundEnvelope::Point& b = env.points[i];
      const int64_t span = int64_t{b.position} - a.position;  // > 0: a <= p < b
      slopeL = ((int64_t{b.left} - a.left) << 15) / span;
      slopeR = ((int64_t{b.right} - a.right) << 15) / span;
      const int64_t into = static_cast<int64_t>(p - a.position);
      startL = (int64_t{a.left} << 15) + slopeL * into;
      startR = (int64_t{a.right} << 15) + slopeR * into;
      run = static_cast<uint32_t>(std::min<uint64_t>(run, b.position - p));
    }
    for (uint32_t k = 0; k < run; ++k) {
      const int64_t gl = (startL + slopeL * k) >> 15;
      const int64_t gr = (startR + slopeR * k) >> 15;
      int32_t* s = w + 2 * (j + k);
      s[0] = clamp16((s[0] * gl) >> 15);
      s[1] = clamp16((s[1] * gr) >> 15);
    }
    j += run;
  }
}

void SoundMixer::applyTransform(const SoundTransform& t) {
  int32_t* w = work_.get();
  const auto limit = [](int32_t v) { return std::clamp<int64_t>(v, -kLimit, kLimit); };
  const int64_t v = limit(t.volume);
  const int64_t a = v * limit(t.ll), b = v * limit(t.lr), c = v * limit(t.rl), d = v * limit(t.rr);
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
      else for (uint32_t i = 0; i < kWorkSamples; ++i) sum[i] += w[i];
      ++mixed;
      if (c.isStream() && c.stream && c.stream->streamEnded()) complete(c);
    }
    mixing_ = false;
  }
  if (mixed == 0) {
    std::memset(out, 0, kWorkSamples * sizeof(int16_t));
  } else {
    // Saturated once, after summing.
    const int32_t* sum = sum_.get();
    for (uint32_t i = 0; i < kWorkSamples; ++i) out[i] = static_cast<int16_t>(clamp16(sum[i]));
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
