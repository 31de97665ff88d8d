#pragma once
// A timeline's streaming sound: the head's formats and block size, and the
// channel that plays the blocks interleaved with the timeline's frames. The
// mixer fetches the blocks itself, reading the timeline's tags from a
// position of its own, one frame at a time, so the sound runs ahead of the
// frame reader and the frame step paces the timeline by it.
// Player thread only; it belongs to its timeline and stops its channel
// when it goes.
#include <cstdint>
#include <memory>

#include "core/sound/SoundChannel.h"

namespace kivra {

class SoundMixer;
class TimelinePlayer;
class TimelineContext;

class TimelineSoundStream : public SoundStreamSource {
 public:
  TimelineSoundStream(TimelinePlayer& timeline, TimelineContext& context, uint8_t playbackFormat,
                      uint8_t streamFormat, uint16_t samplesPerBlock);
  ~TimelineSoundStream() override;
  TimelineSoundStream(const TimelineSoundStream&) = delete;
  TimelineSoundStream& operator=(const TimelineSoundStream&) = delete;

  // The frame reader met a block (its tag starts at `tagStart`) in frame
  // `frame` with no channel playing: the channel starts there.
  void start(SoundMixer& mixer, int64_t tagStart, int frame, uint32_t nowMs);
  // The timeline stopped or jumped: the channel goes; the next block met
  // starts a new one.
  void stop();
  // A channel is playing (in the mixer, not done).
  bool playing() const { return channel_ && !channel_->done; }
  const SoundChannel* channel() const { return channel_.get(); }
  SoundFormat format() const { return format_; }

  bool fetchBlock(SoundChannel& channel) override;
  bool streamEnded() const override { return ended_; }
  uint32_t samplesPerBlock() const override { return perBlock_ ? perBlock_ : 1; }

 private:
  TimelinePlayer& timeline_;
  TimelineContext& context_;
  SoundFormat playback_;
  SoundFormat format_;
  uint32_t perBlock_;
  std::shared_ptr<SoundChannel> channel_;
  int64_t position_ = 0;  // where the next fetch reads
  int frame_ = 0;         // frames whose blocks have been fetched
  bool ended_ = false;
  bool waiting_ = false;  // ran dry: waits for a buffer's worth of frames
  uint32_t dryAt_ = 0;    // when it ran dry
  bool firstBlock_ = true;
  bool seekPending_ = false;
};

}  // namespace kivra
