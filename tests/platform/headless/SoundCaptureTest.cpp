// The player's sound as heard: movies made with the kit are played headless
// with --wav, and every sample of the capture is compared with PCM worked
// out here from the sound data, independently of the player's mixer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <mpg123.h>

#include "tests/support/TempDir.h"
#include "tools/kit/Sounds.h"
#include "tools/qvxs/Compiler.h"
#include "tools/qvxs/SourceText.h"

namespace kivra {
namespace {

constexpr size_t kBuffer = 2048;  // frames the mixer mixes at a time

// What a run should sound like: wide sums, saturated when compared.
struct Expected {
  std::vector<int64_t> left, right;
  explicit Expected(size_t frames) : left(frames, 0), right(frames, 0) {}
  void add(size_t at, const std::vector<int>& l, const std::vector<int>& r) {
    for (size_t i = 0; i < l.size() && at + i < left.size(); ++i) {
      left[at + i] += l[i];
      right[at + i] += r[i];
    }
  }
  void add(size_t at, const std::vector<int>& mono) { add(at, mono, mono); }
};

int16_t saturate(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

// One rate doubling: each sample is preceded by the average of itself and
// the one before it (the first by itself).
std::vector<int> doubled(const std::vector<int>& in) {
  std::vector<int> out;
  for (size_t i = 0; i < in.size(); ++i) {
    const int before = i > 0 ? in[i - 1] : in[i];
    out.push_back((in[i] + before) >> 1);
    out.push_back(in[i]);
  }
  return out;
}

// Native samples of one side, padded with silence to the end of the mixer
// buffer in which they end, brought to 44.1 kHz 16-bit.
std::vector<int> toOutput(std::vector<int> native, int shift, bool eightBit) {
  const size_t perBuffer = kBuffer >> shift;
  const size_t padded = (native.size() / perBuffer + 1) * perBuffer;
  native.resize(padded, eightBit ? 128 : 0);
  for (int i = 0; i < shift; ++i) native = doubled(native);
  if (eightBit)
    for (int& v : native) v = (v - 128) * 256;
  return native;
}

class SoundCapture : public ::testing::Test {
 protected:
  // Builds `source` (WAV files come from the temporary folder), plays it
  // for `frames` steps and returns the capture's samples, left and right.
  std::vector<int16_t> capture(const std::string& source, int frames, const std::string& options = "") {
    std::vector<uint8_t> movie;
    qvxs::Diagnostics diag;
    EXPECT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
    const std::string path = dir.write("m.qvx", movie);
    const std::string wav = dir.file("out.wav");
    const std::string command = std::string(KIVRA_PLAYER_PATH) + " --headless --frames " + std::to_string(frames) +
                                " --wav '" + wav + "' " + options + " '" + path + "' > '" + dir.file("out.txt") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<uint8_t> b = test::TempDir::read(wav);
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < b.size(); i += 2) samples.push_back(static_cast<int16_t>(b[i] | b[i + 1] << 8));
    return samples;
  }

  static void expectSame(const std::vector<int16_t>& got, const Expected& want) {
    ASSERT_EQ(got.size(), want.left.size() * 2);
    for (size_t i = 0; i < want.left.size(); ++i) {
      ASSERT_EQ(got[2 * i], saturate(want.left[i])) << "left, frame " << i;
      ASSERT_EQ(got[2 * i + 1], saturate(want.right[i])) << "right, frame " << i;
    }
  }

  void writeWav(const std::string& name, int rate, int channels, int bits, const std::vector<int>& samples) {
    kit::PcmSound s;
    s.rate = rate;
    s.channels = channels;
    s.bits = bits;
    for (int v : samples) {
      s.data.push_back(static_cast<uint8_t>(v));
      if (bits == 16) s.data.push_back(static_cast<uint8_t>(v >> 8));
    }
    dir.write(name, kit::encodeWav(s));
  }

  // "tone.mp3": 12 frames of a stereo sine at 44.1 kHz made with lame;
  // returns the file and what the kit reads of it.
  std::vector<uint8_t> makeTone(kit::Mp3Sound& mp3) {
    std::vector<int> stereo;
    for (int i = 0; i < 12 * 1152; ++i) {
      const int v = static_cast<int>(9000 * std::sin(i * 0.031));
      stereo.insert(stereo.end(), {v, -v / 2});
    }
    writeWav("tone.wav", 44100, 2, 16, stereo);
    const std::string command = "lame --quiet -t -b 128 '" + dir.file("tone.wav") + "' '" + dir.file("tone.mp3") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::vector<uint8_t> file = test::TempDir::read(dir.file("tone.mp3"));
    std::string error;
    EXPECT_TRUE(kit::readMp3(file, mp3, error)) << error;
    return file;
  }

  std::string output() const {
    const std::vector<uint8_t> b = test::TempDir::read(dir.file("out.txt"));
    return std::string(b.begin(), b.end());
  }
  // The frame (1-based) the level shows in a --dump-display.
  int levelFrame() const {
    const std::string text = output();
    const size_t at = text.find("frame=");
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 6);
  }

  // The length of a run of `steps` at 12 frames per second (83 ms each).
  static size_t runFrames(int steps, int periodMs = 83) {
    return static_cast<size_t>(steps) * periodMs * 44100 / 1000;
  }
  // Where a sound started in frame k begins: the first mixer buffer at or
  // after the frame's time.
  static size_t startOf(int frame) { return (runFrames(frame) + kBuffer - 1) / kBuffer * kBuffer; }

  test::TempDir dir;
};

// ADPCM packets worked by hand, 44.1 kHz mono: header sample 1000, step
// index 0 (step 7), then codes (sign bit first, magnitude bits after).
TEST_F(SoundCapture, AdpcmPacketsDecodeAsWorkedByHand) {
  const std::string source =
      "movie rate=12\n"
      // 2 bits: 00 adds 7>>1 = 3; 01 adds 7 + 3 (index 0 -> 2, step 9);
      // 10 subtracts 9>>1 = 4 (index 1, step 8); 11 subtracts 8 + 4.
      "sound 1 format=0x1E samples=5 data=00fa001b\n"
      // 3 bits: 011 adds 7 + 3 + 1 (index 4, step 11); 100 subtracts 2
      // (index 3, step 10); 010 adds 10 + 2 (index 5, step 12); 111
      // subtracts 12 + 6 + 3.
      "sound 2 format=0x1E samples=5 data=40fa007170\n"
      // 4 bits: 0111 adds 7+3+1+0 (index 8, step 16); 1000 subtracts 2
      // (index 7, step 14); 0100 adds 14 + 1 (index 9, step 17); 1011
      // subtracts 8 + 4 + 2.
      "sound 3 format=0x1E samples=5 data=80fa00784b\n"
      // 5 bits: 01111 adds 7+3+1+0+0 (index 16, step 34); 11000 subtracts
      // 34 + 2 (index 17, step 37); 00001 adds 4 + 2.
      "sound 4 format=0x1E samples=4 data=c0fa007e02\n"
      // The clamp: 32760 at index 63 (step 3024); 0111 adds 3024 + 1512 +
      // 756 + 378 and stops at 32767 (index 71, step 6484); 1111 subtracts
      // 6484 + 3242 + 1621 + 810 (index 79, step 13899), then 26059 (index
      // 87, step 29794), then 55863, which stops at -32768.
      "sound 5 format=0x1E samples=5 data=9ffe3f7fff\n"
      "startsound 1\n"
      "showframe\nstartsound 2\nshowframe\nstartsound 3\nshowframe\nstartsound 4\nshowframe\nstartsound 5\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 5);
  Expected want(runFrames(5));
  want.add(startOf(0), {1000, 1003, 1013, 1009, 997});
  want.add(startOf(1), {1000, 1011, 1009, 1021, 1000});
  want.add(startOf(2), {1000, 1011, 1009, 1024, 1010});
  want.add(startOf(3), {1000, 1011, 975, 981});
  want.add(startOf(4), {32760, 32767, 20610, -5449, -32768});
  expectSame(got, want);
}

// Our encoder's output, decoded by the player, sounds as the encoder
// predicted: 4-bit stereo over a packet boundary (frame 4096 starts a new
// packet), and 2-, 3- and 5-bit mono.
TEST_F(SoundCapture, KitAdpcmMatchesTheEncodersOwnReconstruction) {
  std::vector<int> stereo;
  std::vector<int16_t> stereo16;
  for (int i = 0; i < 5000; ++i) {
    const int l = (i * 37 % 2000 - 1000) * 9;
    const int r = ((i / 50) % 2 ? 12000 : -12000) + (i % 7) * 300;
    stereo.push_back(l);
    stereo.push_back(r);
    stereo16.push_back(static_cast<int16_t>(l));
    stereo16.push_back(static_cast<int16_t>(r));
  }
  writeWav("stereo.wav", 44100, 2, 16, stereo);
  std::vector<int16_t> decoded;
  kit::encodeAdpcm(stereo16, 2, 4, &decoded);
  const std::string source =
      "movie rate=12\nsound 1 \"stereo.wav\" codec=adpcm bits=4\nstartsound 1\nshowframe\nshowframe\nshowframe\n";
  Expected want(runFrames(3));
  std::vector<int> l, r;
  for (size_t i = 0; i < decoded.size() / 2; ++i) {
    l.push_back(decoded[2 * i]);
    r.push_back(decoded[2 * i + 1]);
  }
  want.add(0, l, r);
  expectSame(capture(source, 3), want);

  std::vector<int> mono(3000);
  std::vector<int16_t> mono16(3000);
  for (size_t i = 0; i < mono.size(); ++i) mono16[i] = static_cast<int16_t>(mono[i] = static_cast<int>(i % 300) * 100 - 15000);
  writeWav("mono.wav", 44100, 1, 16, mono);
  for (int bits : {2, 3, 5}) {
    SCOPED_TRACE(bits);
    kit::encodeAdpcm(mono16, 1, bits, &decoded);
    Expected m(runFrames(1));
    m.add(0, std::vector<int>(decoded.begin(), decoded.end()));
    expectSame(capture("movie rate=12\nsound 1 \"mono.wav\" codec=adpcm bits=" + std::to_string(bits) +
                           "\nstartsound 1\nshowframe\n",
                       1),
               m);
  }
}

// A 5512 Hz mono 8-bit sound is doubled three times, widened to 16 bits and
// heard on both sides; a 22 kHz 16-bit stereo one is doubled once.
TEST_F(SoundCapture, RatesAreDoubledAndSamplesWidened) {
  std::vector<int> low;
  for (int i = 0; i < 700; ++i) low.push_back((i * 13) % 256);
  writeWav("low.wav", 5512, 1, 8, low);
  std::vector<int> mid, midL, midR;
  for (int i = 0; i < 1500; ++i) {
    midL.push_back((i % 100) * 300 - 15000);
    midR.push_back(-(i % 64) * 501);
    mid.push_back(midL.back());
    mid.push_back(midR.back());
  }
  writeWav("mid.wav", 22050, 2, 16, mid);
  const std::string source =
      "movie rate=12\nsound 1 \"low.wav\"\nsound 2 \"mid.wav\"\nstartsound 1\nshowframe\nstartsound 2\n"
      "showframe\nshowframe\nshowframe\n";
  Expected want(runFrames(4));
  want.add(0, toOutput(low, 3, true));
  want.add(startOf(1), toOutput(midL, 1, false), toOutput(midR, 1, false));
  expectSame(capture(source, 4), want);
}

// Sounds are summed wide and saturated once: 30000 + 30000 - 30000 is
// 30000, not 32767 - 30000. A ninth sound is refused; a ninth with the stop
// flag still stops its sound.
TEST_F(SoundCapture, ChannelsSumSaturateOnceAndStopAtEight) {
  writeWav("up.wav", 44100, 1, 16, std::vector<int>(3000, 30000));
  writeWav("down.wav", 44100, 1, 16, std::vector<int>(3000, -30000));
  writeWav("one.wav", 44100, 1, 16, std::vector<int>(20000, 100));
  std::string source = "movie rate=12\nsound 1 \"up.wav\"\nsound 2 \"down.wav\"\nsound 3 \"one.wav\"\n"
                       "startsound 1\nstartsound 1\nstartsound 2\nshowframe\n";
  // Frame 1: eight of sound 3, then a ninth refused.
  for (int i = 0; i < 9; ++i) source += "startsound 3\n";
  source += "showframe\nshowframe\n";
  // Frame 3: a refused ninth with the stop flag stops all eight.
  source += "startsound 3 stop\nshowframe\nshowframe\n";
  Expected want(runFrames(5));
  want.add(0, std::vector<int>(3000, 30000));
  want.add(0, std::vector<int>(3000, 30000));
  want.add(0, std::vector<int>(3000, -30000));
  const size_t from = startOf(1), to = startOf(3);
  want.add(from, std::vector<int>(to - from, 800));
  expectSame(capture(source, 5), want);
}

// Loops restart at the in point; the out point ends each pass; an in point
// past the end starts nothing; no-multiple refuses a sound already playing.
TEST_F(SoundCapture, LoopsInAndOutPointsAndNoMultiple) {
  std::vector<int> ramp;
  for (int i = 0; i < 1000; ++i) ramp.push_back(i * 10);
  writeWav("ramp.wav", 44100, 1, 16, ramp);
  const std::string source =
      "movie rate=12\nsound 1 \"ramp.wav\"\n"
      "startsound 1 in=100 out=400 loops=3\n"
      "startsound 1 in=1000\n"  // at the end: nothing
      "startsound 1 nomultiple\n"  // already playing
      "showframe\nshowframe\n";
  Expected want(runFrames(2));
  std::vector<int> pass(ramp.begin() + 100, ramp.begin() + 400);
  for (int i = 0; i < 3; ++i) want.add(static_cast<size_t>(i) * 300, pass);
  expectSame(capture(source, 2), want);
}

// An envelope holds its first level before its first point and its last
// after the last, and ramps between: gain = level * 32768 + slope * steps,
// each sample s * (gain >> 15) >> 15. Each side has its own levels.
TEST_F(SoundCapture, EnvelopesHoldAndRamp) {
  writeWav("flat.wav", 44100, 1, 16, std::vector<int>(6000, 20000));
  const std::string source =
      "movie rate=12\nsound 1 \"flat.wav\"\n"
      "startsound 1 envelope=1000:16384:32768,3000:0:8192\nshowframe\nshowframe\n";
  Expected want(runFrames(2));
  std::vector<int> l(6000), r(6000);
  for (int p = 0; p < 6000; ++p) {
    int64_t gl = 16384 * 32768LL, gr = 32768 * 32768LL;
    if (p >= 3000) {
      gl = 0;
      gr = 8192 * 32768LL;
    } else if (p >= 1000) {
      const int64_t slopeL = (int64_t{0 - 16384} * 32768) / 2000, slopeR = (int64_t{8192 - 32768} * 32768) / 2000;
      gl += slopeL * (p - 1000);
      gr += slopeR * (p - 1000);
    }
    l[p] = static_cast<int>((20000 * (gl >> 15)) >> 15);
    r[p] = static_cast<int>((20000 * (gr >> 15)) >> 15);
  }
  want.add(0, l, r);
  expectSame(capture(source, 2), want);
}

// Sound objects: an attached sound started at an offset, twice through,
// at the player's volume 50 panned right (the left side at 40%); then the
// player's transform is the identity again, a clip's transform (volume 200
// on a clip inside one at volume 50) applies to the clip's sounds, and
// stopAllSounds stops everything.
TEST_F(SoundCapture, SoundObjectsSetVolumePanAndStart) {
  std::vector<int> ramp;
  for (int i = 0; i < 1000; ++i) ramp.push_back(i * 20 - 10000);
  writeWav("ramp.wav", 44100, 1, 16, ramp);
  const std::string source =
      "movie rate=12\nsound 1 \"ramp.wav\"\nexport 1 \"ramp\"\n"
      "sprite 2 {\n  showframe\n}\nsprite 3 {\n  place2 1 id=2 name=\"inner\"\n  showframe\n}\nplace2 1 id=3 name=\"outer\"\n"
      "actions {\n"
      "  Push \"s\" 0 \"Sound\"\n  NewObject\n  SetVariable\n"
      "  Push \"ramp\" 1 \"s\"\n  GetVariable\n  Push \"attachSound\"\n  CallMethod\n  Pop\n"
      "  Push 50 1 \"s\"\n  GetVariable\n  Push \"setVolume\"\n  CallMethod\n  Pop\n"
      "  Push 60 1 \"s\"\n  GetVariable\n  Push \"setPan\"\n  CallMethod\n  Pop\n"
      "  Push 0 \"s\"\n  GetVariable\n  Push \"getVolume\"\n  CallMethod\n  Trace\n"
      "  Push 0 \"s\"\n  GetVariable\n  Push \"getPan\"\n  CallMethod\n  Trace\n"
      "  Push 0 \"s\"\n  GetVariable\n  Push \"getDuration\"\n  CallMethod\n  Trace\n"
      // start(0.01, 2): from sample 441, twice.
      "  Push 2 0.01 2 \"s\"\n  GetVariable\n  Push \"start\"\n  CallMethod\n  Pop\n"
      "}\nshowframe\n"
      "actions {\n"
      "  Push 0 1 \"s\"\n  GetVariable\n  Push \"setPan\"\n  CallMethod\n  Pop\n"
      "  Push 100 1 \"s\"\n  GetVariable\n  Push \"setVolume\"\n  CallMethod\n  Pop\n"
      "  Push \"o\" \"outer\" 1 \"Sound\"\n  NewObject\n  SetVariable\n"
      "  Push 50 1 \"o\"\n  GetVariable\n  Push \"setVolume\"\n  CallMethod\n  Pop\n"
      "  Push \"i\" \"outer.inner\" 1 \"Sound\"\n  NewObject\n  SetVariable\n"
      "  Push \"ramp\" 1 \"i\"\n  GetVariable\n  Push \"attachSound\"\n  CallMethod\n  Pop\n"
      "  Push 200 1 \"i\"\n  GetVariable\n  Push \"setVolume\"\n  CallMethod\n  Pop\n"
      "  Push 0 \"i\"\n  GetVariable\n  Push \"start\"\n  CallMethod\n  Pop\n"
      "}\nshowframe\nactions {\n  StopSounds\n}\nshowframe\nshowframe\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 4, "--trace");
  EXPECT_EQ(output(), "50\n60\n23\n");
  Expected want(runFrames(4));
  std::vector<int> pass(ramp.begin() + 441, ramp.end()), left, right;
  for (int v : pass) {
    left.push_back(50 * (40 * v) / 10000);
    right.push_back(50 * (100 * v) / 10000);
  }
  want.add(0, left, right);
  want.add(pass.size(), left, right);
  // 200% of 50%: the ramp as it is, until the stop.
  want.add(startOf(1), std::vector<int>(ramp.begin(), ramp.end()));
  expectSame(got, want);
}

// A Sound object hears onSoundComplete once its sound has played (both
// passes), at the frame step after the buffer in which it ended, and its
// position (in the sound, not in time) then stays at its end: 1000 samples,
// 23 ms.
TEST_F(SoundCapture, SoundObjectsHearTheirSoundComplete) {
  writeWav("short.wav", 44100, 1, 16, std::vector<int>(1000, 500));
  const std::string source =
      "movie rate=12\nsound 1 \"short.wav\"\nexport 1 \"short\"\n"
      "actions {\n"
      "  Push \"s\" 0 \"Sound\"\n  NewObject\n  SetVariable\n"
      "  Push \"s\"\n  GetVariable\n  Push \"onSoundComplete\"\n"
      "  DefineFunction \"\" {\n    Push \"complete at \" 0 \"this\"\n    GetVariable\n"
      "    Push \"getPosition\"\n    CallMethod\n    Add2\n    Trace\n  }\n  SetMember\n"
      "  Push \"short\" 1 \"s\"\n  GetVariable\n  Push \"attachSound\"\n  CallMethod\n  Pop\n"
      "  Push 2 0 2 \"s\"\n  GetVariable\n  Push \"start\"\n  CallMethod\n  Pop\n"
      "  Push 0 \"s\"\n  GetVariable\n  Push \"getPosition\"\n  CallMethod\n  Trace\n"
      "}\nshowframe\nshowframe\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 2, "--trace");
  EXPECT_EQ(output(), "0\ncomplete at 23\n");
  Expected want(runFrames(2));
  want.add(0, std::vector<int>(2000, 500));
  expectSame(got, want);
}

// Button transitions start their sounds (roll over: entry 1, press: entry
// 2) with no sound transform, not even the player's, which is at 50%.
TEST_F(SoundCapture, ButtonTransitionsPlayTheirSounds) {
  writeWav("over.wav", 44100, 1, 16, std::vector<int>(3000, 1000));
  writeWav("press.wav", 44100, 1, 16, std::vector<int>(2000, -3000));
  dir.write("in.txt", {'1', ' ', 'm', 'o', 'u', 's', 'e', ' ', '5', '0', ' ', '5', '0', '\n', '2', ' ', 'd', 'o', 'w', 'n', '\n'});
  const std::string source =
      "movie rate=12 size=200x200\nsound 3 \"over.wav\"\nsound 4 \"press.wav\"\n"
      "shape 1 {\n  fill solid #ff0000\n  style moveto=0,0 fill1=1\n  lineto 100px,0\n  lineto 100px,100px\n"
      "  lineto 0,100px\n  lineto 0,0\n}\n"
      "button2 2 {\n  record up,over,down,hit 1 1\n}\nbuttonsound 2 0 3 4 0\nplace2 1 id=2\n"
      "actions {\n  Push \"s\" 0 \"Sound\"\n  NewObject\n  SetVariable\n"
      "  Push 50 1 \"s\"\n  GetVariable\n  Push \"setVolume\"\n  CallMethod\n  Pop\n}\n"
      "showframe\nshowframe\nshowframe\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 3, "--input '" + dir.file("in.txt") + "'");
  Expected want(runFrames(3));
  want.add(0, std::vector<int>(3000, 1000));
  want.add(startOf(1), std::vector<int>(2000, -3000));
  expectSame(got, want);
}

// A stream's blocks are fetched by the sound as it plays and the timeline
// is paced by it: a movie at 24 frames per second whose blocks last a
// twelfth of a second shows about half as many frames as steps. The
// capture is the stream, faded in over its first buffer. Frames without
// blocks pace the timeline with silence.
TEST_F(SoundCapture, StreamsPlayTheirBlocksAndPaceTheTimeline) {
  constexpr int kPerBlock = 1838;  // 22050 / 12
  std::vector<int> pcm;
  for (int i = 0; i < 30 * kPerBlock; ++i) pcm.push_back((i % 401) * 80 - 16000);
  writeWav("stream.wav", 22050, 1, 16, pcm);
  for (int withBlocks : {30, 6}) {
    SCOPED_TRACE(withBlocks);
    std::string source = "movie rate=24\nstreamhead \"stream.wav\" perblock=1838\n";
    for (int f = 0; f < 30; ++f) source += std::string(f < withBlocks ? "streamblock\n" : "") + "showframe\n";
    const std::vector<int16_t> got = capture(source, 24, "--dump-display");
    // 24 steps of 41 ms are a little under 12 blocks of sound.
    EXPECT_GE(levelFrame(), 11) << output();
    EXPECT_LE(levelFrame(), 13) << output();
    std::vector<int> native(pcm.begin(), pcm.begin() + withBlocks * kPerBlock);
    native.resize(30 * kPerBlock, 0);
    std::vector<int> heard = toOutput(native, 1, false);
    // The fade-in: from level 0 to full over the first buffer.
    const int64_t slope = (int64_t{32768} << 15) / static_cast<int64_t>(kBuffer);
    for (size_t k = 0; k < kBuffer; ++k) heard[k] = static_cast<int>((heard[k] * ((slope * static_cast<int64_t>(k)) >> 15)) >> 15);
    Expected want(runFrames(24, 41));
    want.add(0, heard);
    expectSame(got, want);
  }
}

// While a stream plays, the sounds of its frames start when the sound gets
// there: a beep defined and started in frame 3 is heard from the buffer
// after the one in which the stream fetched frame 3's block (the stream's
// blocks of 1838 samples at 22 kHz fill 3676 output frames each).
TEST_F(SoundCapture, StreamsStartTheirFramesSounds) {
  writeWav("quiet.wav", 22050, 1, 16, std::vector<int>(6 * 1838, 0));
  writeWav("beep.wav", 44100, 1, 16, std::vector<int>(500, 1000));
  std::string source = "movie rate=12\nstreamhead \"quiet.wav\" perblock=1838\n";
  for (int f = 0; f < 6; ++f)
    source += std::string("streamblock\n") + (f == 3 ? "sound 5 \"beep.wav\"\nstartsound 5\n" : "") + "showframe\n";
  const std::vector<int16_t> got = capture(source, 6);
  Expected want(runFrames(6));
  const size_t fetched = 3 * 3676;  // in the buffer that holds this frame
  want.add((fetched / kBuffer + 1) * kBuffer, std::vector<int>(500, 1000));
  expectSame(got, want);
}

// A stream whose blocks end in the middle of mixer buffers (919 samples at
// 11 kHz, 4-bit ADPCM) is heard without a break from block to block, and a
// clip with a stream of its own is held back to the pace of its sound: at
// 24 frames per second its blocks of a twelfth of a second let it show
// about half as many frames as the movie steps.
TEST_F(SoundCapture, StreamsHandOverBlocksWithoutGapsAndHoldTheirClips) {
  std::vector<int> pcm;
  for (int i = 0; i < 40 * 1838; ++i) pcm.push_back(9000 + static_cast<int>(8000 * std::sin(i * 0.05)));
  writeWav("tone.wav", 22050, 1, 16, pcm);
  writeWav("tone11.wav", 11025, 1, 16, std::vector<int>(pcm.begin(), pcm.begin() + 40 * 919));
  std::string root = "movie rate=12\nstreamhead \"tone11.wav\" codec=adpcm perblock=919\n";
  for (int f = 0; f < 40; ++f) root += "streamblock\nshowframe\n";
  const std::vector<int16_t> got = capture(root, 24, "--dump-display");
  EXPECT_GE(levelFrame(), 23) << output();
  EXPECT_LE(levelFrame(), 26) << output();
  // From the end of the fade-in to the end of the run: no silent run longer
  // than 2 ms (88 frames).
  size_t run = 0, longest = 0;
  for (size_t i = kBuffer; i + 1 < got.size() / 2; ++i) {
    run = got[2 * i] == 0 && got[2 * i + 1] == 0 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_LE(longest, 88u);

  std::string clip = "movie rate=24\nsprite 1 {\n  streamhead \"tone.wav\" perblock=1838\n";
  for (int f = 0; f < 40; ++f) clip += "  streamblock\n  showframe\n";
  clip += "}\nplace2 1 id=1 name=\"music\"\nshowframe\nshowframe\n";
  capture(clip, 24, "--dump-display");
  const std::string text = output();
  const size_t at = text.find("name=\"music\" frame=");
  ASSERT_NE(at, std::string::npos) << text;
  const int frame = std::atoi(text.c_str() + at + 19);
  // 24 steps of 41 ms are a little under 12 blocks.
  EXPECT_GE(frame, 12) << text;
  EXPECT_LE(frame, 15) << text;
}

// What the decoding library makes of MPEG frames on its own, from a fresh
// start: the reference for MP3 sounds.
std::vector<int16_t> decodeDirectly(const std::vector<uint8_t>& mp3) {
  std::vector<int16_t> pcm;
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
  mpg123_open_feed(h);
  mpg123_feed(h, mp3.data(), mp3.size());
  unsigned char* audio = nullptr;
  size_t bytes = 0;
  off_t frame = 0;
  for (int r = 0; r != MPG123_NEED_MORE && r != MPG123_ERR && r != MPG123_DONE;) {
    r = mpg123_decode_frame(h, &frame, &audio, &bytes);
    const int16_t* s = reinterpret_cast<const int16_t*>(audio);
    if (audio) pcm.insert(pcm.end(), s, s + bytes / 2);
  }
  mpg123_delete(h);
  return pcm;
}

// An MP3 event sound (44.1 kHz stereo, made with lame) started at an in
// point two frames in and played twice: each pass is what the library
// decodes from the frame before the in point with a fresh start (the skip
// passes the first frame by its header), less that frame's samples.
TEST_F(SoundCapture, Mp3SoundsStartAtTheirInPointAndLoop) {
  if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  kit::Mp3Sound mp3;
  ASSERT_NO_FATAL_FAILURE(makeTone(mp3));
  ASSERT_GE(mp3.frameStarts.size(), 12u);
  const std::vector<int16_t> fromSecond =
      decodeDirectly(std::vector<uint8_t>(mp3.data.begin() + static_cast<long>(mp3.frameStarts[1]), mp3.data.end()));
  const size_t pass = mp3.samples - 2304;
  ASSERT_GE(fromSecond.size(), 2 * (pass + 1152));
  std::vector<int> left, right;
  for (size_t i = 1152; i < 1152 + pass; ++i) {
    left.push_back(fromSecond[2 * i]);
    right.push_back(fromSecond[2 * i + 1]);
  }
  const std::vector<int16_t> got =
      capture("movie rate=12\nsound 1 \"tone.mp3\"\nstartsound 1 in=2304 loops=2\nshowframe\n", 12);
  Expected want(runFrames(12));
  want.add(startOf(0), left, right);
  want.add(startOf(0) + pass, left, right);
  expectSame(got, want);
}

// The ID3 tag at the end of an MP3 sound's data shows as the "id3" object
// of a Sound that attaches it: the text fields up to their first zero
// byte, the track (a version 1.1 tag) and the genre as decimal strings.
TEST_F(SoundCapture, Mp3SoundsShowTheirId3Tag) {
  if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  writeWav("tune.wav", 44100, 1, 16, std::vector<int>(4 * 1152, 0));
  const std::string command = "lame --quiet -t -b 64 --id3v1-only --tt 'Kivra Song' --ta 'The Band' --tl 'First' "
                              "--ty 2026 --tc 'Hello' --tn 7 --tg 12 '" +
                              dir.file("tune.wav") + "' '" + dir.file("tune.mp3") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string source = "movie version=6 rate=12\nsound 1 \"tune.mp3\"\nexport 1 \"tune\"\nactions {\n"
                       "  Push \"s\" 0 \"Sound\"\n  NewObject\n  SetVariable\n"
                       "  Push \"tune\" 1 \"s\"\n  GetVariable\n  Push \"attachSound\"\n  CallMethod\n  Pop\n"
                       "  Push \"s\"\n  GetVariable\n  Push \"id3\"\n  GetMember\n  StoreRegister 0\n  Pop\n";
  for (const char* field : {"songname", "artist", "album", "year", "comment", "track", "genre"})
    source += std::string("  Push r:0 \"") + field + "\"\n  GetMember\n  Trace\n";
  source += "}\nshowframe\n";
  capture(source, 1, "--trace");
  const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
  EXPECT_EQ(std::string(out.begin(), out.end()), "Kivra Song\nThe Band\nFirst\n2026\nHello\n7\n12\n");
}

// An MP3 file loaded by Sound.loadSound becomes the object's sound: onLoad
// hears true with the sound's duration and byte counts, and started from
// there it sounds sample for sample as the same file built into the movie
// and started at the same step; loadSound(url, true) plays it from a
// streaming movie as its frames come in.
// A file that is not MP3 gives onLoad(false).
TEST_F(SoundCapture, Mp3FilesLoadedIntoSoundObjects) {
  if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  kit::Mp3Sound mp3;
  const std::vector<uint8_t> file = makeTone(mp3);
  ASSERT_FALSE(HasFailure());
  const long ms = std::lround(static_cast<double>(mp3.samples) * 1000 / 44100);
  dir.write("notes.txt", std::vector<uint8_t>(3000, 'a'));
  const std::string loader = R"(movie version=6 rate=12
actions {
  Push "s" 0 "Sound"
  NewObject
  SetVariable
  Push "s"
  GetVariable
  Push "onLoad"
  DefineFunction2 "" regs=2 r1:"ok" {
    Push "loaded "
    Push r:1
    Add2
    Push " "
    Add2
    Push 0 "s"
    GetVariable
    Push "getDuration"
    CallMethod
    Add2
    Push " ms "
    Add2
    Push 0 "s"
    GetVariable
    Push "getBytesLoaded"
    CallMethod
    Add2
    Push "/"
    Add2
    Push 0 "s"
    GetVariable
    Push "getBytesTotal"
    CallMethod
    Add2
    Trace
    Push r:1
    Not
    Push START
    Or
    If skip
    Push 0 "s"
    GetVariable
    Push "start"
    CallMethod
    Pop
  skip:
  }
  SetMember
  Push STREAMING "FILE" 2 "s"
  GetVariable
  Push "loadSound"
  CallMethod
  Pop
}
showframe
showframe
showframe
showframe
showframe
showframe
)";
  // onLoad starts the sound unless it streams (it starts by itself then).
  auto withFile = [&](const std::string& file, const std::string& streaming) {
    std::string text = loader;
    text.replace(text.find("FILE"), 4, file);
    text.replace(text.find("STREAMING"), 9, streaming);
    text.replace(text.find("START"), 5, streaming);
    return text;
  };
  const std::vector<int16_t> loaded = capture(withFile("tone.mp3", "false"), 6, "--trace");
  const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
  const std::string bytes = std::to_string(file.size());
  EXPECT_EQ(std::string(out.begin(), out.end()),
            "loaded true " + std::to_string(ms) + " ms " + bytes + "/" + bytes + "\n");
  const std::vector<int16_t> built =
      capture("movie rate=12\nshowframe\nsound 1 \"tone.mp3\"\nstartsound 1\nshowframe\nshowframe\nshowframe\n"
              "showframe\nshowframe\n", 6);
  EXPECT_EQ(loaded, built);
  // Streamed, the sound starts with the first frame step after its first
  // blocks came and then sounds the same, sample for sample.
  const std::vector<int16_t> streamed = capture(withFile("tone.mp3", "true"), 6);
  const auto firstSound = [](const std::vector<int16_t>& s) {
    return static_cast<size_t>(std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; }) - s.begin());
  };
  const size_t from = firstSound(streamed), builtFrom = firstSound(built);
  ASSERT_LT(builtFrom, built.size());
  ASSERT_LT(from, streamed.size());
  const size_t common = std::min(streamed.size() - from, built.size() - builtFrom);
  EXPECT_GT(common, size_t{4000});
  size_t differ = 0;
  for (size_t i = 0; i < common; ++i) differ += streamed[from + i] != built[builtFrom + i];
  EXPECT_EQ(differ, 0u);
  // A streaming sound tells how much has come and where it plays, and
  // stop() silences it for good: its timeline does not start it again.
  const std::string stopper = R"(movie version=6 rate=12
actions {
  Push "s" 0 "Sound"
  NewObject
  SetVariable
  Push true "tone.mp3" 2 "s"
  GetVariable
  Push "loadSound"
  CallMethod
  Pop
}
showframe
showframe
showframe
actions {
  Push 0 "s"
  GetVariable
  Push "getDuration"
  CallMethod
  Push 0 "s"
  GetVariable
  Push "getPosition"
  CallMethod
  Greater
  Trace
  Push 0 "s"
  GetVariable
  Push "stop"
  CallMethod
  Pop
}
showframe
showframe
showframe
)";
  const std::vector<int16_t> stopped = capture(stopper, 6, "--trace");
  const std::vector<uint8_t> stopOut = test::TempDir::read(dir.file("out.txt"));
  EXPECT_EQ(std::string(stopOut.begin(), stopOut.end()), "true\n");
  const size_t heard = firstSound(stopped);
  EXPECT_LT(heard, stopped.size());
  // Four steps of 1/12 s in, the rest is silence.
  const size_t stopAt = 2 * 44100 * 4 / 12;
  EXPECT_TRUE(std::all_of(stopped.begin() + std::min(stopAt + 2 * 2048, stopped.size()), stopped.end(),
                          [](int16_t v) { return v == 0; }));
  capture(withFile("notes.txt", "false"), 3, "--trace");
  const std::vector<uint8_t> refused = test::TempDir::read(dir.file("out.txt"));
  EXPECT_EQ(std::string(refused.begin(), refused.end()), "loaded false 0 ms 3000/3000\n");
}

// Streams of "song.mp3": 26 frames' worth (at 12 fps) of a stereo sine,
// made with lame.
class Mp3Stream : public SoundCapture {
 protected:
  // Writes the file; `whole` is what the library alone decodes of it.
  void makeSong(std::vector<int16_t>& whole) {
    std::vector<int> stereo;
    for (int i = 0; i < 26 * 3675; ++i) {
      const int v = static_cast<int>(9000 * std::sin(i * 0.023));
      stereo.insert(stereo.end(), {v, v / 3});
    }
    writeWav("song.wav", 44100, 2, 16, stereo);
    const std::string command =
        "lame --quiet -t -b 128 '" + dir.file("song.wav") + "' '" + dir.file("song.mp3") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    kit::Mp3Sound mp3;
    std::string error;
    ASSERT_TRUE(kit::readMp3(test::TempDir::read(dir.file("song.mp3")), mp3, error)) << error;
    whole = decodeDirectly(mp3.data);
  }
};

// An MP3 stream (whole frames in each block, the decoder's state kept from
// block to block) sounds as the library decodes the whole file, faded in
// over the first buffer, and paces its timeline.
TEST_F(Mp3Stream, PlaysAcrossBlocksInStep) {
  if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  std::vector<int16_t> whole;
  ASSERT_NO_FATAL_FAILURE(makeSong(whole));
  std::string source = "movie rate=12\nstreamhead \"song.mp3\"\n";
  for (int f = 0; f < 26; ++f) source += "streamblock\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 20, "--dump-display");
  EXPECT_GE(levelFrame(), 19) << output();
  EXPECT_LE(levelFrame(), 22) << output();
  Expected want(runFrames(20));
  std::vector<int> left, right;
  const int64_t slope = (int64_t{32768} << 15) / static_cast<int64_t>(kBuffer);
  for (size_t k = 0; k < want.left.size() && 2 * k + 1 < whole.size(); ++k) {
    const int64_t gain = k < kBuffer ? (slope * static_cast<int64_t>(k)) >> 15 : 32768;
    left.push_back(static_cast<int>((whole[2 * k] * gain) >> 15));
    right.push_back(static_cast<int>((whole[2 * k + 1] * gain) >> 15));
  }
  want.add(0, left, right);
  expectSame(got, want);
}

// An empty first stream block with a negative seek of 1,000 samples: the
// stream plays that much silence, then the MP3 blocks, faded in over the
// first buffer as always.
TEST_F(Mp3Stream, NegativeSeeksPlaySilence) {
  if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  std::vector<int16_t> whole;
  ASSERT_NO_FATAL_FAILURE(makeSong(whole));
  // No samples, seek -1000 (0xFC18).
  std::string source = "movie rate=12\nstreamhead \"song.mp3\"\nstreamblock data=000018fc\nshowframe\n";
  for (int f = 0; f < 26; ++f) source += "streamblock\nshowframe\n";
  const std::vector<int16_t> got = capture(source, 20);
  Expected want(runFrames(20));
  std::vector<int> left(1000, 0), right(1000, 0);
  const int64_t slope = (int64_t{32768} << 15) / static_cast<int64_t>(kBuffer);
  for (size_t k = 1000; k < want.left.size() && 2 * (k - 1000) + 1 < whole.size(); ++k) {
    const int64_t gain = k < kBuffer ? (slope * static_cast<int64_t>(k)) >> 15 : 32768;
    left.push_back(static_cast<int>((whole[2 * (k - 1000)] * gain) >> 15));
    right.push_back(static_cast<int>((whole[2 * (k - 1000) + 1] * gain) >> 15));
  }
  want.add(0, left, right);
  expectSame(got, want);
}

}  // namespace
}  // namespace kivra
