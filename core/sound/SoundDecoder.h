#pragma once
// Turns a sound's bytes into frames of its own format (unsigned 8-bit or
// signed 16-bit samples, left then right): raw PCM, ADPCM, MP3, and silence
// of the right length for the codecs this player does not decode
// (Nellymoser, synthesizer data). ADPCM and MP3 always decode to 16 bits,
// whatever the format byte says; decodedFormat() is the format of the
// frames.
#include <cstddef>
#include <cstdint>

#include <memory>

#include "core/sound/AdpcmDecoder.h"
#include "core/sound/Mp3Decoder.h"
#include "core/sound/SoundRecord.h"

namespace kivra {

class SoundDecoder {
 public:
  // Whether the codec has a decoder at all (others do not start).
  static bool supports(SoundFormat format);

  // Points the decoder at a sound or stream block and rewinds it. Without
  // `restart` an MP3 decoder keeps its state, as between stream blocks.
  void reset(const SoundRecord& record, bool restart = true);
  SoundFormat decodedFormat() const { return decoded_; }
  // Writes `frames` frames to `out`, or skips them when `out` is null.
  // Frames the data lacks are silence.
  void decode(uint8_t* out, size_t frames);

 private:
  enum class Kind : uint8_t { Raw, Adpcm, Mp3, Silent };
  Kind kind_ = Kind::Silent;
  SoundRecord record_;
  SoundFormat decoded_;
  size_t position_ = 0;  // raw: the next frame
  AdpcmDecoder adpcm_;
  std::unique_ptr<Mp3Decoder> mp3_;  // made for the first MP3 sound
};

}  // namespace kivra
