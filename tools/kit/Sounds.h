#pragma once
// Sounds for movies: PCM WAV files read and written, our own ADPCM encoder,
// and the bodies of the sound tags (DefineSound, StartSound's SoundInfo,
// SoundStreamHead, DefineButtonSound). Failures are returned with a reason.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra::kit {

// PCM as a WAV file holds it: 8-bit unsigned or 16-bit signed samples,
// interleaved when stereo.
struct PcmSound {
  int rate = 44100;
  int channels = 1;
  int bits = 16;
  std::vector<uint8_t> data;  // little-endian samples, as in the file
  size_t frames() const { return data.size() / static_cast<size_t>(channels * bits / 8); }
  // Sample `channel` of frame `i`, as a 16-bit signed value or an 8-bit
  // unsigned one.
  int sample(size_t i, int channel) const;
};

bool decodeWav(const std::vector<uint8_t>& bytes, PcmSound& out, std::string& error);
std::vector<uint8_t> encodeWav(const PcmSound& sound);

// The rate index of a WAV rate (5512 or 5513, 11025, 22050, 44100), or -1.
int soundRateIndex(int rate);
// The sound format byte.
uint8_t soundFormatByte(int codec, int rateIndex, bool sixteenBit, bool stereo);

// ADPCM with `bits` bits per code (2..5) of 16-bit samples (interleaved when
// `channels` is 2). `decoded`, when given, receives what a decoder makes of
// the result.
std::vector<uint8_t> encodeAdpcm(const std::vector<int16_t>& samples, int channels, int bits,
                                 std::vector<int16_t>* decoded = nullptr);
// A sound's 16-bit samples, 8-bit ones widened.
std::vector<int16_t> pcm16(const PcmSound& sound);

// An MP3 file as a sound holds it: the MPEG frames (a leading ID3v2 tag
// left out), their rate and channels (from the first frame) and the sample
// frames they decode to; `frameStarts` has each frame's offset in `data`.
struct Mp3Sound {
  int rate = 0;
  int channels = 0;
  uint32_t samples = 0;
  std::vector<uint8_t> data;
  std::vector<size_t> frameStarts;
  std::vector<uint32_t> frameSamples;
  std::vector<uint8_t> id3v1;  // a 128-byte "TAG" block after the frames, if any
};
// Fails unless the file is Layer III frames at 11025, 22050 or 44100 Hz.
bool readMp3(const std::vector<uint8_t>& bytes, Mp3Sound& out, std::string& error);

struct SoundInfoRecord {
  bool hasIn = false, hasOut = false, hasLoops = false, noMultiple = false, stop = false;
  uint32_t in = 0, out = 0;
  uint16_t loops = 0;
  struct Point {
    uint32_t position;
    uint16_t left, right;
  };
  bool hasEnvelope = false;
  std::vector<Point> envelope;
};
std::vector<uint8_t> soundInfoBytes(const SoundInfoRecord& info);

// An MP3 sound (codec 2) carries `mp3Seek` before its data.
std::vector<uint8_t> defineSoundBody(uint16_t id, uint8_t format, uint32_t sampleCount,
                                     const std::vector<uint8_t>& data, int16_t mp3Seek = 0);
std::vector<uint8_t> startSoundBody(uint16_t id, const SoundInfoRecord& info);
std::vector<uint8_t> soundStreamHeadBody(uint8_t playbackFormat, uint8_t streamFormat, uint16_t samplesPerBlock);

}  // namespace kivra::kit
