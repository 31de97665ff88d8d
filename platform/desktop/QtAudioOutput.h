#pragma once
// The desktop's sound output: the player's mix pushed to a QAudioSink (on
// PulseAudio or PipeWire). With no sound server or no device it becomes a
// silent sink driven by the clock, so that the movie plays on in time.
// Main thread only: the frame timer's thread pumps it (framesWanted, then
// CorePlayer::mixAudio), and the sink's processed time says what was heard.
#include <QElapsedTimer>
#include <memory>

#include "core/host/AudioOutput.h"

class QAudioSink;
class QIODevice;

namespace kivra {

class QtAudioOutput : public AudioOutput {
 public:
  // Frames queued beyond what the device holds: two mixer buffers.
  static constexpr uint64_t kAheadFrames = 4096;

  // Opens the default output device; silent() tells whether that failed.
  QtAudioOutput();
  ~QtAudioOutput() override;
  QtAudioOutput(const QtAudioOutput&) = delete;
  QtAudioOutput& operator=(const QtAudioOutput&) = delete;

  bool write(const int16_t* samples, size_t frames) override;
  uint64_t framesPlayed(uint64_t written) override;
  // How many frames to mix now: what the device has room for, or, when
  // silent, what the clock has used up plus the frames kept ahead. A silent
  // sink tries the device again now and then: a sound server may list its
  // devices only after the first look, or start later.
  size_t framesWanted();
  bool silent() const { return !device_; }
  uint64_t framesWritten() const { return written_; }

 private:
  // Opens the default device; true when it plays.
  bool open();
  void fallBackToSilence();

  std::unique_ptr<QAudioSink> sink_;
  QIODevice* device_ = nullptr;  // the sink's, while it plays
  QElapsedTimer clock_;          // the silent sink's time, from its first write
  QElapsedTimer lastTry_;        // since the device was last tried
  uint64_t written_ = 0;
  uint64_t deviceBase_ = 0;      // frames written before the device opened
};

}  // namespace kivra
