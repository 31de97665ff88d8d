#pragma once
// Where the player's mixed sound goes: a device, a file, or nowhere. The
// core pushes whole frames of its mix (CorePlayer::mixAudio) on the player's
// thread; a driver that plays on a thread of its own buffers them.
#include <cstddef>
#include <cstdint>

namespace kivra {

class AudioOutput {
 public:
  // The one format of the mix: 16-bit signed stereo, interleaved left/right.
  static constexpr uint32_t kSampleRate = 44100;
  static constexpr int kChannels = 2;

  virtual ~AudioOutput() = default;
  // `frames` sample pairs. Returns false once the output has failed; the
  // player then stops sending for this run.
  virtual bool write(const int16_t* samples, size_t frames) = 0;
  // Of the `written` frames sent so far, how many have been heard. A file
  // or a null output plays what it is given at once.
  virtual uint64_t framesPlayed(uint64_t written) { return written; }
};

// Drops what it is given: for tests and hosts without sound.
class NullAudioOutput : public AudioOutput {
 public:
  bool write(const int16_t* samples, size_t frames) override {
    (void)samples;
    (void)frames;
    return true;
  }
};

}  // namespace kivra
