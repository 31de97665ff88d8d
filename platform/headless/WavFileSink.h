#pragma once
// An audio output driver that writes the mix (44.1 kHz 16-bit stereo PCM)
// to a WAV file as it comes; the sizes in the header are filled in on close.
// Before open() and after close() it keeps nothing and write() fails.
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/host/AudioOutput.h"

namespace kivra {

class WavFileSink : public AudioOutput {
 public:
  WavFileSink() = default;
  ~WavFileSink() override;
  WavFileSink(const WavFileSink&) = delete;
  WavFileSink& operator=(const WavFileSink&) = delete;

  bool open(const std::string& path);
  // Interleaved left/right samples; frames = sample pairs.
  bool write(const int16_t* samples, size_t frames) override;
  bool writeSilence(size_t frames);
  [[nodiscard]] bool close();
  uint64_t framesWritten() const { return frames_; }

 private:
  FILE* file_ = nullptr;
  uint64_t frames_ = 0;
  bool ok_ = true;
};

}  // namespace kivra
