#include "tools/kit/Sounds.h"

#include <cstring>

#include "core/format/AdpcmTables.h"
#include "core/sound/Mp3FrameHeader.h"
#include "tools/kit/ByteWriter.h"

namespace kivra::kit {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

class BitWriter {
 public:
  void put(uint32_t value, int n) {
    for (int b = n - 1; b >= 0; --b) {
      acc_ = static_cast<uint8_t>(acc_ << 1 | ((value >> b) & 1));
      if (++count_ == 8) {
        bytes_.push_back(acc_);
        acc_ = 0;
        count_ = 0;
      }
    }
  }
  std::vector<uint8_t> finish() {
    if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(acc_ << (8 - count_)));
    count_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint8_t acc_ = 0;
  int count_ = 0;
};

}  // namespace

int PcmSound::sample(size_t i, int channel) const {
  const size_t at = (i * channels + channel) * (bits / 8);
  if (bits == 8) return data[at];
  return static_cast<int16_t>(le16(&data[at]));
}

bool decodeWav(const std::vector<uint8_t>& b, PcmSound& out, std::string& error) {
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) {
    error = "not a WAV file";
    return false;
  }
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= b.size()) {
    const uint32_t size = le32(&b[at + 4]);
    const size_t body = at + 8;
    const size_t end = size > b.size() - body ? b.size() : body + size;
    if (!std::memcmp(&b[at], "fmt ", 4) && end - body >= 16) {
      const uint16_t tag = le16(&b[body]);
      out.channels = le16(&b[body + 2]);
      out.rate = static_cast<int>(le32(&b[body + 4]));
      out.bits = le16(&b[body + 14]);
      if (tag != 1 || (out.channels != 1 && out.channels != 2) || (out.bits != 8 && out.bits != 16)) {
        error = "only 8- or 16-bit PCM WAV files, mono or stereo, are taken";
        return false;
      }
      haveFormat = true;
    } else if (!std::memcmp(&b[at], "data", 4) && haveFormat) {
      const size_t frameBytes = static_cast<size_t>(out.channels * out.bits / 8);
      out.data.assign(b.begin() + static_cast<std::ptrdiff_t>(body),
                      b.begin() + static_cast<std::ptrdiff_t>(body + (end - body) / frameBytes * frameBytes));
      return true;
    }
    at = body + size + (size & 1);
    if (at < body) break;
  }
  error = haveFormat ? "the WAV file has no data" : "the WAV file has no format";
  return false;
}

std::vector<uint8_t> encodeWav(const PcmSound& s) {
  ByteWriter w;
  const uint32_t frameBytes = static_cast<uint32_t>(s.channels * s.bits / 8);
  w.bytes({'R', 'I', 'F', 'F'});
  w.u32(static_cast<uint32_t>(36 + s.data.size()));
  w.bytes({'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  w.u32(16);
  w.u16(1);
  w.u16(static_cast<uint16_t>(s.channels));
  w.u32(static_cast<uint32_t>(s.rate));
  w.u32(static_cast<uint32_t>(s.rate) * frameBytes);
  w.u16(static_cast<uint16_t>(frameBytes));
  w.u16(static_cast<uint16_t>(s.bits));
  w.bytes({'d', 'a', 't', 'a'});
  w.u32(static_cast<uint32_t>(s.data.size()));
  w.bytes(s.data);
  return w.take();
}

int soundRateIndex(int rate) {
  switch (rate) {
    case 5512: case 5513: return 0;
    case 11025: return 1;
    case 22050: return 2;
    case 44100: return 3;
    default: return -1;
  }
}

uint8_t soundFormatByte(int codec, int rateIndex, bool sixteenBit, bool stereo) {
  return static_cast<uint8_t>(codec << 4 | rateIndex << 2 | (sixteenBit ? 2 : 0) | (stereo ? 1 : 0));
}

std::vector<int16_t> pcm16(const PcmSound& s) {
  std::vector<int16_t> out(s.frames() * s.channels);
  for (size_t i = 0; i < s.frames(); ++i)
    for (int c = 0; c < s.channels; ++c) {
      const int v = s.sample(i, c);
      out[i * s.channels + c] = static_cast<int16_t>(s.bits == 8 ? (v - 128) * 256 : v);
    }
  return out;
}

// Each code is chosen greedily, bit by bit, against the step the decoder
// will use, and the decoder's reconstruction is tracked so that errors do
// not build up.
std::vector<uint8_t> encodeAdpcm(const std::vector<int16_t>& samples, int channels, int bits,
                                 std::vector<int16_t>* decoded) {
  BitWriter out;
  out.put(static_cast<uint32_t>(bits - 2), 2);
  const size_t frames = samples.size() / channels;
  int predicted[2] = {0, 0};
  int index[2] = {0, 0};
  if (decoded) decoded->assign(frames * channels, 0);
  for (size_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      const int target = samples[f * channels + c];
      if (f % 4096 == 0) {
        out.put(static_cast<uint16_t>(target), 16);
        out.put(static_cast<uint32_t>(index[c]), 6);
        predicted[c] = target;
      } else {
        const int step = kAdpcmSteps[index[c]];
        int delta = target - predicted[c];
        uint32_t code = 0;
        if (delta < 0) {
          code = 1u << (bits - 1);
          delta = -delta;
        }
        int e = step, diff = 0;
        for (int b = bits - 2; b >= 0; --b) {
          if (delta >= e) {
            code |= 1u << b;
            delta -= e;
            diff += e;
          }
          e >>= 1;
        }
        diff += e;
        predicted[c] += (code >> (bits - 1)) ? -diff : diff;
        if (predicted[c] > 32767) predicted[c] = 32767;
        if (predicted[c] < -32768) predicted[c] = -32768;
        index[c] += kAdpcmIndexMoves[bits - 2][code & ((1u << (bits - 1)) - 1)];
        if (index[c] < 0) index[c] = 0;
        if (index[c] > 88) index[c] = 88;
        out.put(code, bits);
      }
      if (decoded) (*decoded)[f * channels + c] = static_cast<int16_t>(predicted[c]);
    }
  }
  return out.finish();
}

std::vector<uint8_t> soundInfoBytes(const SoundInfoRecord& info) {
  ByteWriter w;
  uint8_t flags = 0;
  if (info.hasIn) flags |= 0x01;
  if (info.hasOut) flags |= 0x02;
  if (info.hasLoops) flags |= 0x04;
  if (info.hasEnvelope) flags |= 0x08;
  if (info.noMultiple) flags |= 0x10;
  if (info.stop) flags |= 0x20;
  w.u8(flags);
  if (info.hasIn) w.u32(info.in);
  if (info.hasOut) w.u32(info.out);
  if (info.hasLoops) w.u16(info.loops);
  if (info.hasEnvelope) {
    w.u8(static_cast<uint8_t>(info.envelope.size()));
    for (const auto& p : info.envelope) {
      w.u32(p.position);
      w.u16(p.left);
      w.u16(p.right);
    }
  }
  return w.take();
}

std::vector<uint8_t> defineSoundBody(uint16_t id, uint8_t format, uint32_t sampleCount,
                                     const std::vector<uint8_t>& data, int16_t mp3Seek) {
  ByteWriter w;
  w.u16(id);
  w.u8(format);
  w.u32(sampleCount);
  if ((format >> 4) == 2) w.u16(static_cast<uint16_t>(mp3Seek));
  w.bytes(data);
  return w.take();
}

std::vector<uint8_t> startSoundBody(uint16_t id, const SoundInfoRecord& info) {
  ByteWriter w;
  w.u16(id);
  w.bytes(soundInfoBytes(info));
  return w.take();
}

bool readMp3(const std::vector<uint8_t>& bytes, Mp3Sound& out, std::string& error) {
  size_t at = 0;
  if (bytes.size() >= 10 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3')
    at = 10 + (size_t{bytes[6] & 0x7Fu} << 21 | size_t{bytes[7] & 0x7Fu} << 14 | size_t{bytes[8] & 0x7Fu} << 7 |
               (bytes[9] & 0x7Fu));
  out = Mp3Sound{};
  Mp3FrameHeader h;
  while (at < bytes.size() && Mp3FrameHeader::parse(bytes.data() + at, bytes.size() - at, h) &&
         at + static_cast<size_t>(h.frameBytes) <= bytes.size()) {
    if (h.layer != 3) {
      error = "only Layer III frames make an MP3 sound";
      return false;
    }
    if (out.frameStarts.empty()) {
      out.rate = h.sampleRate;
      out.channels = h.channels;
    }
    out.frameStarts.push_back(out.data.size());
    out.frameSamples.push_back(static_cast<uint32_t>(h.samples));
    out.data.insert(out.data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + static_cast<size_t>(h.frameBytes)));
    out.samples += static_cast<uint32_t>(h.samples);
    at += static_cast<size_t>(h.frameBytes);
  }
  // A version-1 ID3 tag ends the file; event sounds keep it after their
  // frames.
  if (bytes.size() >= 128 && bytes.size() - 128 >= at && bytes[bytes.size() - 128] == 'T' &&
      bytes[bytes.size() - 127] == 'A' && bytes[bytes.size() - 126] == 'G')
    out.id3v1.assign(bytes.end() - 128, bytes.end());
  if (out.frameStarts.empty()) {
    error = "no MPEG audio frames";
    return false;
  }
  if (out.rate != 11025 && out.rate != 22050 && out.rate != 44100) {
    error = "the rate must be 11025, 22050 or 44100 Hz, not " + std::to_string(out.rate);
    return false;
  }
  return true;
}

std::vector<uint8_t> soundStreamHeadBody(uint8_t playbackFormat, uint8_t streamFormat, uint16_t samplesPerBlock) {
  ByteWriter w;
  w.u8(playbackFormat);
  w.u8(streamFormat);
  w.u16(samplesPerBlock);
  if ((streamFormat >> 4) == 2) w.u16(0);
  return w.take();
}

}  // namespace kivra::kit
