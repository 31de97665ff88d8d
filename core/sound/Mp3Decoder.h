#pragma once
// MPEG audio Layer III for sounds of codec 2: a wrapper around libmpg123 in
// feed mode. It feeds the sound's bytes frame by frame, keeps decoded PCM
// in a buffer of 8192 bytes, and hands out exactly the frames asked for, in
// the layout the sound's format byte gives (16-bit, its rate and channel
// count; a stream of another rate or channel count is converted to it).
// Skips walk frame headers first. A fatal error (or a frame that is not
// Layer III) drops the decoder core: the sound plays silence from then on,
// keeping its length. Player thread only.
#include <cstddef>
#include <cstdint>

#include "core/sound/SoundRecord.h"

struct mpg123_handle_struct;

namespace kivra {

class Mp3Decoder {
 public:
  static constexpr size_t kPcmBytes = 8192;

  Mp3Decoder() = default;
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  // Points the decoder at `record`'s data. With `restart` the core starts
  // afresh (and the PCM buffer is emptied); without it the core keeps its
  // state, as from one stream block to the next.
  void reset(const SoundRecord& record, bool restart);
  // Writes `frames` frames to `out` (16-bit, the record's channels), or
  // skips them when `out` is null. Returns the frames really decoded; the
  // rest of `out` is zeroed.
  size_t decode(int16_t* out, size_t frames);
  // The core is gone after a fatal error or a frame of the wrong layer.
  bool failed() const { return failed_; }

 private:
  enum class Status { FrameDone, NeedsInput, SyncLost, EndOfData, Fatal };
  bool openCore();
  void dropCore();
  void resetCore();
  // Feeds the next frame (by its header) or the next chunk of bytes.
  bool feed();
  // Decodes into the empty PCM buffer.
  Status decodeSome();
  // Passes over whole frames by their headers; returns the samples passed.
  size_t walkHeaders(size_t frames);

  mpg123_handle_struct* core_ = nullptr;
  bool failed_ = false;
  SoundRecord record_;
  size_t read_ = 0;
  int channels_ = 1;
  uint8_t pcm_[kPcmBytes];
  size_t pcmStart_ = 0;
  size_t waiting_ = 0;
};

}  // namespace kivra
