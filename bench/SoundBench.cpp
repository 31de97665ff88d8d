// Sound speed: ADPCM decoding and the 8-channel mix, as multiples of real
// time, each beside a plain reference loop written here (a straightforward
// per-sample decoder and mixer) run in the same process.
//   decode: 4-bit stereo ADPCM at 22 kHz, one second per iteration;
//   mix:    8 channels of 22 kHz mono 4-bit ADPCM, each with a ramping
//           envelope and a non-identity sound transform, into 44.1 kHz
//           16-bit stereo, one second of output per iteration.
//   MP3:    60 s of 128 kbit/s stereo (made with the lame encoder when the
//           benchmark starts) through our wrapper in the mixer's 2048-frame
//           requests, and through the library alone (mpg123_decode_frame).
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/sound/AdpcmDecoder.h"
#include "core/sound/Mp3Decoder.h"
#include "core/sound/SoundMixer.h"
#include "tools/kit/Sounds.h"

namespace {

using namespace kivra;

constexpr int kRate = 22050;

std::vector<int16_t> tone(size_t frames, int channels, int seed) {
  std::vector<int16_t> out(frames * channels);
  uint32_t s = static_cast<uint32_t>(seed);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      s = s * 1664525u + 1013904223u;
      const int wave = static_cast<int>((i * (3 + c + seed)) % 200) * 150 - 15000;
      out[i * channels + c] = static_cast<int16_t>(wave + static_cast<int>(s >> 22) - 512);
    }
  return out;
}

// ---- The plain reference: one code at a time, bit by bit ---------------------
const int kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kMoves4[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct RefDecoder {
  const uint8_t* data;
  size_t length, bit = 2;
  int channels;
  long frame = 0;
  int sample[2] = {0, 0}, index[2] = {0, 0};
  int bits(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = v << 1 | (bit / 8 < length ? (data[bit / 8] >> (7 - bit % 8)) & 1 : 0);
    return v;
  }
  void decode(int16_t* out, size_t frames) {
    for (size_t f = 0; f < frames; ++f, ++frame)
      for (int c = 0; c < channels; ++c) {
        if (frame % 4096 == 0) {
          sample[c] = static_cast<int16_t>(bits(16));
          index[c] = std::min(bits(6), 88);
        } else {
          const int code = bits(4);
          int e = kSteps[index[c]], sum = 0;
          for (int b = 2; b >= 0; --b) {
            if (code & (1 << b)) sum += e;
            e >>= 1;
          }
          sample[c] = std::clamp(sample[c] + ((code & 8) ? -(sum + e) : sum + e), -32768, 32767);
          index[c] = std::clamp(index[c] + kMoves4[code & 7], 0, 88);
        }
        out[f * channels + c] = static_cast<int16_t>(sample[c]);
      }
  }
};

struct Data {
  std::vector<uint8_t> stereo;
  std::vector<uint8_t> mono[8];
  Data() {
    stereo = kit::encodeAdpcm(tone(kRate * 4, 2, 1), 2, 4);
    for (int i = 0; i < 8; ++i) mono[i] = kit::encodeAdpcm(tone(kRate * 4, 1, i + 2), 1, 4);
  }
};
const Data& data() {
  static const Data d;
  return d;
}

void realTime(benchmark::State& state, double audioSeconds) {
  state.counters["x real time"] =
      benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_AdpcmDecode(benchmark::State& state) {
  std::vector<int16_t> out(kRate * 2);
  AdpcmDecoder d;
  int second = 0;
  for (auto _ : state) {
    if (second++ % 4 == 0) d.reset(data().stereo.data(), data().stereo.size(), true);
    d.decode(out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  realTime(state, 1.0);
}

void BM_AdpcmDecodeReference(benchmark::State& state) {
  std::vector<int16_t> out(kRate * 2);
  RefDecoder d{data().stereo.data(), data().stereo.size(), 2, 2};
  int second = 0;
  for (auto _ : state) {
    if (second++ % 4 == 0) d = RefDecoder{data().stereo.data(), data().stereo.size(), 2, 2};
    d.decode(out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  realTime(state, 1.0);
}

class Transforms : public SoundTransformSource {
 public:
  SoundTransform effectiveSoundTransform(const void*) override { return SoundTransform{90, 80, 20, 10, 95}; }
};

SoundEnvelope ramp() {
  SoundEnvelope e;
  e.count = 3;
  e.points[0] = {0, 0, 32768};
  e.points[1] = {44100 * 2, 32768, 8000};
  e.points[2] = {44100 * 4, 16000, 32768};
  return e;
}

constexpr size_t kBuffersPerSecond = 44100 / SoundMixer::kBufferFrames;  // 21 buffers, 0.975 s

void BM_Mix8(benchmark::State& state) {
  Transforms transforms;
  std::vector<int16_t> out(SoundMixer::kBufferFrames * 2);
  auto mixer = std::make_unique<SoundMixer>();
  mixer->setTransformSource(&transforms);
  size_t buffers = 0;
  for (auto _ : state) {
    if (buffers % (kBuffersPerSecond * 3) == 0) {
      mixer = std::make_unique<SoundMixer>();
      mixer->setTransformSource(&transforms);
      for (int i = 0; i < 8; ++i) {
        SoundRecord r;
        r.format = SoundFormat(0x1A);  // ADPCM, 22 kHz, 16-bit, mono
        r.sampleCount = kRate * 4;
        r.data = data().mono[i].data();
        r.length = data().mono[i].size();
        SoundInfo info;
        info.flags = SoundInfo::HasEnvelope;
        info.envelope = ramp();
        auto c = SoundChannel::make(r, &data().mono[i], info);
        c->volumeClip = &transforms;
        mixer->addChannel(std::move(c), 0);
      }
    }
    for (size_t b = 0; b < kBuffersPerSecond; ++b, ++buffers) mixer->mixBuffer(out.data());
    benchmark::DoNotOptimize(out.data());
  }
  realTime(state, kBuffersPerSecond * SoundMixer::kBufferFrames / 44100.0);
}

void BM_Mix8Reference(benchmark::State& state) {
  constexpr size_t kOut = kBuffersPerSecond * SoundMixer::kBufferFrames;
  std::vector<int16_t> native(kOut / 2);
  std::vector<int32_t> sum(kOut * 2);
  std::vector<int16_t> out(kOut * 2);
  std::vector<RefDecoder> decoders;
  const SoundEnvelope env = ramp();
  long position = 0;
  for (auto _ : state) {
    if (position % (kOut * 3) == 0) {
      decoders.clear();
      for (int i = 0; i < 8; ++i) decoders.push_back(RefDecoder{data().mono[i].data(), data().mono[i].size(), 2, 1});
      position = 0;
    }
    std::fill(sum.begin(), sum.end(), 0);
    for (RefDecoder& d : decoders) {
      d.decode(native.data(), native.size());
      for (size_t j = 0; j < kOut; ++j) {
        // Doubling: the average of a sample and the one before, then the sample.
        const size_t i = j / 2;
        const int s = (j & 1) ? native[i] : (native[i] + native[i > 0 ? i - 1 : 0]) >> 1;
        // The envelope at this position, straight from its points.
        const long p = position + static_cast<long>(j);
        int k = 0;
        while (k < env.count && env.points[k].position <= p) ++k;
        long long gl, gr;
        if (k == 0 || k == env.count) {
          const auto& h = env.points[k == 0 ? 0 : env.count - 1];
          gl = h.left;
          gr = h.right;
        } else {
          const auto& a = env.points[k - 1];
          const auto& b = env.points[k];
          gl = a.left + (static_cast<long long>(b.left) - a.left) * (p - a.position) / (b.position - a.position);
          gr = a.right + (static_cast<long long>(b.right) - a.right) * (p - a.position) / (b.position - a.position);
        }
        const long long l = s * gl >> 15, r = s * gr >> 15;
        sum[2 * j] += static_cast<int32_t>(90 * (80 * l + 20 * r) / 10000);
        sum[2 * j + 1] += static_cast<int32_t>(90 * (10 * l + 95 * r) / 10000);
      }
    }
    for (size_t j = 0; j < kOut * 2; ++j) out[j] = static_cast<int16_t>(std::clamp(sum[j], -32768, 32767));
    position += static_cast<long>(kOut);
    benchmark::DoNotOptimize(out.data());
  }
  realTime(state, kOut / 44100.0);
}

// 60 s of a chord with a slow vibrato, encoded once; empty without lame.
const std::vector<uint8_t>& mp3File() {
  static const std::vector<uint8_t> file = [] {
    const std::string base = "/tmp/kivra-sound-bench-" + std::to_string(getpid());
    kit::PcmSound s;
    s.rate = 44100;
    s.channels = 2;
    for (int i = 0; i < 60 * 44100; ++i) {
      const double t = i / 44100.0;
      const double v = std::sin(2 * M_PI * 220 * t + 3 * std::sin(2 * M_PI * 0.5 * t)) + 0.5 * std::sin(2 * M_PI * 330 * t);
      const int l = static_cast<int>(12000 * v), r = static_cast<int>(9000 * v);
      for (int x : {l, r}) {
        s.data.push_back(static_cast<uint8_t>(x));
        s.data.push_back(static_cast<uint8_t>(x >> 8));
      }
    }
    std::ofstream(base + ".wav", std::ios::binary).write(reinterpret_cast<const char*>(kit::encodeWav(s).data()),
                                                         static_cast<std::streamsize>(kit::encodeWav(s).size()));
    std::vector<uint8_t> bytes;
    if (std::system(("lame --quiet -t -b 128 " + base + ".wav " + base + ".mp3").c_str()) == 0) {
      std::ifstream in(base + ".mp3", std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::remove((base + ".wav").c_str());
    std::remove((base + ".mp3").c_str());
    return bytes;
  }();
  return file;
}

void BM_Mp3Wrapper(benchmark::State& state) {
  const std::vector<uint8_t>& file = mp3File();
  if (file.empty()) {
    state.SkipWithError("the lame encoder is not installed");
    return;
  }
  SoundRecord r;
  r.format = SoundFormat(0x2F);
  r.data = file.data();
  r.length = file.size();
  std::vector<int16_t> out(SoundMixer::kBufferFrames * 2);
  Mp3Decoder d;
  for (auto _ : state) {
    d.reset(r, true);
    while (d.decode(out.data(), SoundMixer::kBufferFrames) == SoundMixer::kBufferFrames)
      benchmark::DoNotOptimize(out.data());
  }
  realTime(state, 60.0);
}

void BM_Mp3Library(benchmark::State& state) {
  const std::vector<uint8_t>& file = mp3File();
  if (file.empty()) {
    state.SkipWithError("the lame encoder is not installed");
    return;
  }
  for (auto _ : state) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(h);
    mpg123_feed(h, file.data(), file.size());
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    off_t frame = 0;
    for (int rc = MPG123_OK; rc == MPG123_OK || rc == MPG123_NEW_FORMAT;) {
      rc = mpg123_decode_frame(h, &frame, &audio, &bytes);
      benchmark::DoNotOptimize(audio);
    }
    mpg123_delete(h);
  }
  realTime(state, 60.0);
}

}  // namespace

BENCHMARK(BM_AdpcmDecode);
BENCHMARK(BM_AdpcmDecodeReference);
BENCHMARK(BM_Mix8);
BENCHMARK(BM_Mix8Reference);
BENCHMARK(BM_Mp3Wrapper)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Mp3Library)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
