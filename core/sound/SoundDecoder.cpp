#include "core/sound/SoundDecoder.h"

#include <cstring>

namespace kivra {

bool SoundDecoder::supports(SoundFormat format) {
  switch (format.codec()) {
    case SoundCodec::RawHostOrder:
    case SoundCodec::Adpcm:
    case SoundCodec::Mp3:
    case SoundCodec::RawLittleEndian:
    case SoundCodec::Nellymoser8k:
    case SoundCodec::Nellymoser:
    case SoundCodec::Synthesizer:
      return true;
  }
  return false;
}

void SoundDecoder::reset(const SoundRecord& record, bool restart) {
  record_ = record;
  position_ = 0;
  decoded_ = record.format;
  switch (record.format.codec()) {
    case SoundCodec::RawHostOrder:
    case SoundCodec::RawLittleEndian:
      kind_ = Kind::Raw;
      break;
    case SoundCodec::Adpcm:
      kind_ = Kind::Adpcm;
      decoded_ = SoundFormat(static_cast<uint8_t>(record.format.byte | 2));
      adpcm_.reset(record.data, record.length, record.format.stereo());
      break;
    case SoundCodec::Mp3:
      kind_ = Kind::Mp3;
      decoded_ = SoundFormat(static_cast<uint8_t>(record.format.byte | 2));
      if (!mp3_) mp3_ = std::make_unique<Mp3Decoder>();
      mp3_->reset(record, restart);
      break;
    default:
      kind_ = Kind::Silent;
      break;
  }
}

void SoundDecoder::decode(uint8_t* out, size_t frames) {
  const size_t frameBytes = static_cast<size_t>(decoded_.frameBytes());
  switch (kind_) {
    case Kind::Adpcm:
      adpcm_.decode(reinterpret_cast<int16_t*>(out), frames);
      return;
    case Kind::Mp3:
      mp3_->decode(reinterpret_cast<int16_t*>(out), frames);
      return;
    case Kind::Raw: {
      // Host order is little-endian on every machine this player builds for.
      const size_t have = record_.data ? record_.length / frameBytes : 0;
      const size_t from = position_ < have ? position_ : have;
      const size_t copied = frames < have - from ? frames : have - from;
      if (out && copied > 0) std::memcpy(out, record_.data + from * frameBytes, copied * frameBytes);
      position_ += frames;
      if (out) {
        out += copied * frameBytes;
        frames -= copied;
        std::memset(out, decoded_.sixteenBit() ? 0 : 128, frames * frameBytes);
      }
      return;
    }
    case Kind::Silent:
      if (out) std::memset(out, decoded_.sixteenBit() ? 0 : 128, frames * frameBytes);
      return;
  }
}

}  // namespace kivra
