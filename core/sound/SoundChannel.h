#pragma once
// One playing instance of a sound: an event sound (a character played from
// its in point to its out point, looped) or a stream (blocks handed over by
// the timeline that carries them). Channels are shared: the mixer holds one
// reference while the channel is in its list, a Sound object may hold
// another. Player thread only.
#include <cstdint>
#include <memory>

#include "core/sound/SoundDecoder.h"
#include "core/sound/SoundInfo.h"
#include "core/sound/SoundRecord.h"

namespace kivra {

struct SoundChannel;

// The source of a stream channel's blocks (a timeline's sound stream).
class SoundStreamSource {
 public:
  virtual ~SoundStreamSource() = default;
  // The channel's block is used up: load the next one with
  // channel.startBlock(). True when a frame was consumed, false when there
  // is nothing to give (the stream has ended or its data has not arrived).
  virtual bool fetchBlock(SoundChannel& channel) = 0;
  virtual bool streamEnded() const = 0;
  // Samples at the stream's rate in each frame's block (at least 1).
  virtual uint32_t samplesPerBlock() const = 0;
};

struct SoundChannel {
  static constexpr int kCreditSlots = 32;

  bool done = false;
  // Identities only, never followed here: the clip that started the sound,
  // the clip whose sound transform applies (null: none at all), the sound
  // character it plays.
  const void* startClip = nullptr;
  const void* volumeClip = nullptr;
  const void* sound = nullptr;
  // Started by a Sound object, which hears of completion through the mixer;
  // set while that completion waits to be delivered.
  bool scriptObject = false;
  bool completionPending = false;

  SoundRecord record;
  SoundEnvelope envelope;
  uint8_t playFlags = 0;  // SoundInfo flags >> 4: bit 0 no-multiple, bit 1 stop
  uint32_t loops = 0;
  uint32_t inPoint = 0;            // 44.1 kHz units
  uint32_t outPoint = 0x7FFFFFFF;  // 44.1 kHz units

  // Streams.
  SoundStreamSource* stream = nullptr;
  uint32_t credits[kCreditSlots] = {};
  uint64_t played = 0;          // samples heard, at the stream's rate
  uint32_t lastCompletion = 0;  // ms clock of the last buffer heard
  uint32_t blockLeft = 0;
  // Samples of silence a pending negative MP3 seek asks for: they play
  // when a fetch leaves the block empty.
  int32_t pendingSilence = 0;
  bool firstBuffer = true;
  bool silentBlock = false;
  bool starving = false;

  uint64_t mixed44 = 0;  // the envelope's position
  uint32_t position = 0;  // event sounds: next native frame
  uint32_t end = 0;
  int32_t previous[2] = {0, 0};  // the last native frame of the previous buffer
  bool previousValid = false;
  // A Sound object's position: 44.1 kHz units.
  uint64_t objectPosition = 0;
  SoundDecoder decoder;

  static std::shared_ptr<SoundChannel> make(const SoundRecord& record, const void* sound, const SoundInfo& info);
  // Streams: plays `block` next; an MP3 decoder keeps its state from the
  // block before unless `restart`.
  void startBlock(const SoundRecord& block, bool restart = true) {
    record = block;
    blockLeft = block.sampleCount;
    silentBlock = false;
    decoder.reset(block, restart);
  }
  bool isStream() const { return stream != nullptr; }
};

inline std::shared_ptr<SoundChannel> SoundChannel::make(const SoundRecord& record, const void* sound,
                                                        const SoundInfo& info) {
  auto c = std::make_shared<SoundChannel>();
  c->record = record;
  c->sound = sound;
  c->playFlags = static_cast<uint8_t>(info.flags >> 4);
  if (info.flags & SoundInfo::HasInPoint) c->inPoint = info.inPoint;
  if (info.flags & SoundInfo::HasOutPoint) c->outPoint = info.outPoint;
  if (info.flags & SoundInfo::HasLoops) c->loops = info.loops;
  if (info.flags & SoundInfo::HasEnvelope) c->envelope = info.envelope;
  return c;
}

}  // namespace kivra
