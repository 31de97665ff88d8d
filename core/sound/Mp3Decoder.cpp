#include "core/sound/Mp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>

#include "core/sound/Mp3FrameHeader.h"

namespace kivra {

namespace {

// Bytes fed at a time where no frame header says how long the frame is.
constexpr size_t kFeedChunk = 1024;

}  // namespace

Mp3Decoder::~Mp3Decoder() { dropCore(); }

void Mp3Decoder::dropCore() {
  if (core_) {
    mpg123_delete(core_);
    core_ = nullptr;
  }
}

bool Mp3Decoder::openCore() {
  if (core_) return true;
  // The library needs no global set-up since version 1.27.
  if (failed_) return false;
  core_ = mpg123_new(nullptr, nullptr);
  if (!core_) return false;
  // Only the format byte's layout is offered: the core converts the rate
  // (by halving or resampling) and the channels to it.
  const long rate = record_.format.rate();
  mpg123_param(core_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
  mpg123_param(core_, MPG123_RESYNC_LIMIT, -1, 0);
  mpg123_format_none(core_);
  if (mpg123_format(core_, rate, channels_ == 2 ? MPG123_STEREO : MPG123_MONO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(core_) != MPG123_OK) {
    dropCore();
    return false;
  }
  return true;
}

void Mp3Decoder::resetCore() {
  dropCore();
  openCore();
}

void Mp3Decoder::reset(const SoundRecord& record, bool restart) {
  const bool layoutChanged = record.format.byte != record_.format.byte;
  record_ = record;
  if (!record_.data) record_.length = 0;
  read_ = 0;
  channels_ = record.format.channels();
  if (restart || layoutChanged) {
    failed_ = false;
    waiting_ = 0;
    pcmStart_ = 0;
    resetCore();
  }
}

bool Mp3Decoder::feed() {
  if (!core_ || read_ >= record_.length) return false;
  Mp3FrameHeader h;
  size_t n = kFeedChunk;
  if (Mp3FrameHeader::parse(record_.data + read_, record_.length - read_, h)) {
    // Only Layer III decodes: a frame of another layer ends the sound.
    if (h.layer != 3) {
      dropCore();
      failed_ = true;
      return false;
    }
    n = static_cast<size_t>(h.frameBytes);
  }
  n = std::min(n, record_.length - read_);
  if (mpg123_feed(core_, record_.data + read_, n) != MPG123_OK) return false;
  read_ += n;
  return true;
}

Mp3Decoder::Status Mp3Decoder::decodeSome() {
  size_t done = 0;
  const int r = mpg123_read(core_, pcm_, kPcmBytes, &done);
  pcmStart_ = 0;
  waiting_ = done - done % (2 * static_cast<size_t>(channels_));
  if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
    // Only Layer III decodes; a frame of another layer ends the sound.
    mpg123_frameinfo info;
    if (mpg123_info(core_, &info) == MPG123_OK && info.layer != 3) {
      waiting_ = 0;
      return Status::Fatal;
    }
    return Status::FrameDone;
  }
  if (r == MPG123_NEED_MORE) return waiting_ > 0 ? Status::FrameDone : Status::NeedsInput;
  if (r == MPG123_DONE) return Status::EndOfData;
  return Status::Fatal;
}

size_t Mp3Decoder::walkHeaders(size_t frames) {
  size_t skipped = 0;
  Mp3FrameHeader h;
  while (record_.length - read_ >= 4 && Mp3FrameHeader::parse(record_.data + read_, record_.length - read_, h)) {
    if (static_cast<size_t>(h.samples) + record_.seekSamples >= frames - skipped) break;
    if (static_cast<size_t>(h.frameBytes) > record_.length - read_) break;
    read_ += static_cast<size_t>(h.frameBytes);
    skipped += static_cast<size_t>(h.samples);
  }
  return skipped;
}

size_t Mp3Decoder::decode(int16_t* out, size_t frames) {
  const size_t frameBytes = 2 * static_cast<size_t>(channels_);
  size_t produced = 0;
  const auto takeWaiting = [&] {
    const size_t n = std::min(frames - produced, waiting_ / frameBytes);
    if (out && n > 0) std::memcpy(out + produced * channels_, pcm_ + pcmStart_, n * frameBytes);
    pcmStart_ += n * frameBytes;
    waiting_ -= n * frameBytes;
    produced += n;
  };
  takeWaiting();
  if (!out && produced < frames && waiting_ == 0) {
    // Whole frames are passed over by their headers, then the core starts
    // at the frame reached.
    const size_t walked = walkHeaders(frames - produced);
    if (walked > 0) {
      produced += walked;
      resetCore();
    }
  }
  while (produced < frames && core_) {
    const Status s = decodeSome();
    if (s == Status::FrameDone) {
      takeWaiting();
      continue;
    }
    if (s == Status::NeedsInput) {
      if (!out && waiting_ == 0) {
        const size_t walked = walkHeaders(frames - produced);
        if (walked > 0) {
          produced += walked;
          resetCore();
          continue;
        }
      }
      if (feed()) continue;
      break;
    }
    if (s == Status::Fatal) {
      dropCore();
      failed_ = true;
    }
    break;
  }
  // The mixer uses the whole destination.
  if (out && produced < frames) std::memset(out + produced * channels_, 0, (frames - produced) * frameBytes);
  return produced;
}

}  // namespace kivra
