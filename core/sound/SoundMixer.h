#pragma once
// Mixes every playing channel into buffers of the output format (44.1 kHz,
// 16-bit stereo). Integer arithmetic on fixed buffers: each channel is
// decoded in its own format, brought to the output format (rates doubled,
// samples widened, mono duplicated), shaped by its envelope and sound
// transform, and the channels are summed wide and saturated once.
//
// The player owns one mixer and drives it: mixBuffer() fills the next
// output buffer, bufferDone() says the device has played one (its stream
// credits become heard samples). Player thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/sound/SoundChannel.h"
#include "core/sound/SoundTransform.h"

namespace kivra {

// Where a channel's sound transform comes from: its volume clip's chain of
// clips composed with the player's global transform.
class SoundTransformSource {
 public:
  virtual ~SoundTransformSource() = default;
  virtual SoundTransform effectiveSoundTransform(const void* volumeClip) = 0;
};

class SoundMixer {
 public:
  static constexpr int kMaxChannels = 8;
  // One output buffer: 8192 bytes of 16-bit stereo.
  static constexpr uint32_t kBufferFrames = 2048;
  // Buffers the device holds; past this many silent ones it is closed.
  static constexpr int kBufferCount = 4;

  SoundMixer();
  ~SoundMixer();
  SoundMixer(const SoundMixer&) = delete;
  SoundMixer& operator=(const SoundMixer&) = delete;

  void setTransformSource(SoundTransformSource* source) { transforms_ = source; }

  // Starts a channel; false when it is refused. `nowMs` stamps a stream's
  // first completion time.
  bool addChannel(std::shared_ptr<SoundChannel> channel, uint32_t nowMs);
  void stopAll();
  // Every channel started by `clip` (and accepted by `which`, when given).
  void stopByClip(const void* clip, const std::function<bool(const SoundChannel&)>& which = {});
  void stopBySound(const void* sound);
  bool isPlaying(const void* sound) const;
  // `clip` is going: its channels take `replacement` as volume clip.
  void clipRemoved(const void* clip, const void* replacement);
  // Marks one channel done (a stream whose timeline stops).
  void stopChannel(SoundChannel& channel) { channel.done = true; }

  // Mixes the next output buffer (kBufferFrames interleaved stereo frames)
  // and returns the credit slot that bufferDone() takes back.
  int mixBuffer(int16_t* out);
  void bufferDone(int slot, uint32_t nowMs);

  // A stream channel's position: frame and samples into it.
  struct StreamPosition {
    int64_t frame = 0;
    int64_t offset = 0;
  };
  StreamPosition channelPosition(const SoundChannel& channel, uint32_t nowMs) const;

  // True from the first channel until a run of silent buffers closes it.
  bool deviceOpen() const { return open_; }
  int activeChannels() const;
  // Channels that finished since the last call and belong to a Sound object.
  std::vector<std::shared_ptr<SoundChannel>> takeCompleted();

 private:
  void purge();
  // Produces the channel's native frames for one buffer; false when the
  // channel had nothing (it was done).
  void fillEvent(SoundChannel& c, uint8_t* native, uint32_t frames);
  void fillStream(SoundChannel& c, uint8_t* native, uint32_t frames, int slot);
  void complete(SoundChannel& c);
  // Native frames to 16-bit stereo at 44.1 kHz in `work`.
  void toOutputFormat(SoundChannel& c, SoundFormat format, const uint8_t* native, uint32_t frames);
  void applyEnvelope(const SoundEnvelope& envelope, uint64_t position);
  void applyTransform(const SoundTransform& t);

  std::vector<std::shared_ptr<SoundChannel>> channels_;
  std::vector<std::shared_ptr<SoundChannel>> completed_;
  SoundTransformSource* transforms_ = nullptr;
  bool open_ = false;
  bool mixing_ = false;
  int silentBuffers_ = 0;
  uint32_t nextSlot_ = 0;
  // Scratch: one channel's native frames, its output-format frames (and a
  // second buffer for the steps that get there), and the wide sum.
  std::unique_ptr<int16_t[]> native_;
  std::unique_ptr<int32_t[]> work_;
  std::unique_ptr<int32_t[]> spare_;
  std::unique_ptr<int32_t[]> sum_;
};

}  // namespace kivra
