// --export-video end to end: a movie with a moving square and a tone, made
// with the kit, exported to each container and read back with FFmpeg's
// decoders; frames are compared with --screenshot of the same steps and the
// sound with --wav of the same run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/PngImage.h"
#include "tests/support/PlayerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/kit/Sounds.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

constexpr int kSteps = 11;  // the movie's 12 frames: the first, then 11 steps
constexpr int kFrameMs = 41;  // 24 frames a second, in whole milliseconds

// What a file holds, decoded: pictures as 8-bit RGB, sound as 16-bit stereo.
struct Decoded {
  std::string videoCodec, audioCodec;
  int width = 0, height = 0;
  double frameRate = 0;
  std::vector<std::vector<uint8_t>> frames;
  // When the last frame is shown, after the first (a container may start
  // both streams a little late, to hold a codec's delay).
  double lastFrameSeconds = 0;
  double firstFrameSeconds = -1;
  int audioRate = 0;
  std::vector<int16_t> audio;
};

bool decodeFile(const std::string& path, Decoded& out) {
  av_log_set_level(AV_LOG_ERROR);  // Opus reports its trimmed padding
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return false;
  bool ok = avformat_find_stream_info(format, nullptr) >= 0;
  const int vi = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int ai = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  ok = ok && vi >= 0 && ai >= 0;
  AVCodecContext* codecs[2] = {nullptr, nullptr};
  const int index[2] = {vi, ai};
  for (int k = 0; ok && k < 2; ++k) {
    const AVStream* st = format->streams[index[k]];
    const AVCodec* c = avcodec_find_decoder(st->codecpar->codec_id);
    codecs[k] = c ? avcodec_alloc_context3(c) : nullptr;
    ok = codecs[k] && avcodec_parameters_to_context(codecs[k], st->codecpar) >= 0 &&
         avcodec_open2(codecs[k], c, nullptr) >= 0;
    if (ok) (k == 0 ? out.videoCodec : out.audioCodec) = c->name;
  }
  if (!ok) {
    for (AVCodecContext*& c : codecs) avcodec_free_context(&c);
    avformat_close_input(&format);
    return false;
  }
  const AVStream* vs = format->streams[vi];
  out.frameRate = av_q2d(vs->avg_frame_rate);
  out.audioRate = codecs[1]->sample_rate;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVChannelLayout stereo;
  av_channel_layout_default(&stereo, 2);
  swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, out.audioRate, &codecs[1]->ch_layout,
                      codecs[1]->sample_fmt, out.audioRate, 0, nullptr);
  swr_init(resampler);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto receive = [&](int k) {
    while (avcodec_receive_frame(codecs[k], frame) >= 0) {
      if (k == 0) {
        out.width = frame->width;
        out.height = frame->height;
        std::vector<uint8_t> rgb(static_cast<size_t>(frame->width) * frame->height * 3);
        if (frame->format == AV_PIX_FMT_YUV420P) {
          // BT.709, studio range, as the exporter tags it: worked here so
          // that no converter's rounding hides an error of the exporter's.
          EXPECT_EQ(frame->colorspace, AVCOL_SPC_BT709);
          EXPECT_EQ(frame->color_range, AVCOL_RANGE_MPEG);
          for (int y = 0; y < frame->height; ++y)
            for (int x = 0; x < frame->width; ++x) {
              const double l = (frame->data[0][y * frame->linesize[0] + x] - 16) * 255.0 / 219;
              const double u = (frame->data[1][y / 2 * frame->linesize[1] + x / 2] - 128) * 255.0 / 224;
              const double v = (frame->data[2][y / 2 * frame->linesize[2] + x / 2] - 128) * 255.0 / 224;
              const double c[3] = {l + 1.5748 * v, l - 0.1873 * u - 0.4681 * v, l + 1.8556 * u};
              for (int k = 0; k < 3; ++k)
                rgb[(static_cast<size_t>(y) * frame->width + x) * 3 + k] =
                    static_cast<uint8_t>(std::clamp(std::lround(c[k]), 0L, 255L));
            }
        } else {
          scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                        frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr,
                                        nullptr);
          uint8_t* planes[1] = {rgb.data()};
          const int strides[1] = {frame->width * 3};
          sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
        }
        out.frames.push_back(std::move(rgb));
        const double at = frame->best_effort_timestamp * av_q2d(vs->time_base);
        if (out.firstFrameSeconds < 0) out.firstFrameSeconds = at;
        out.lastFrameSeconds = std::max(out.lastFrameSeconds, at - out.firstFrameSeconds);
      } else {
        std::vector<int16_t> pcm(static_cast<size_t>(frame->nb_samples) * 2 + 64);
        uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
        const int got = swr_convert(resampler, planes, frame->nb_samples + 32,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (got > 0) out.audio.insert(out.audio.end(), pcm.begin(), pcm.begin() + got * 2);
      }
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    for (int k = 0; k < 2; ++k)
      if (packet->stream_index == index[k] && avcodec_send_packet(codecs[k], packet) >= 0) receive(k);
    av_packet_unref(packet);
  }
  for (int k = 0; k < 2; ++k)
    if (avcodec_send_packet(codecs[k], nullptr) >= 0) receive(k);
  av_frame_free(&frame);
  av_packet_free(&packet);
  swr_free(&resampler);
  sws_freeContext(scaler);
  for (AVCodecContext*& c : codecs) avcodec_free_context(&c);
  avformat_close_input(&format);
  return true;
}

class VideoExport : public ::testing::Test {
 protected:
  void SetUp() override {
    // A 0.3 s tone from the first frame, under a square that moves 4 px a
    // frame across a 64x48 stage.
    kit::PcmSound tone;
    for (int i = 0; i < 13230; ++i) {
      const int v = static_cast<int>(8000 * std::sin(i * 2 * M_PI * 441 / 44100));
      tone.data.push_back(static_cast<uint8_t>(v));
      tone.data.push_back(static_cast<uint8_t>(v >> 8));
    }
    dir.write("tone.wav", kit::encodeWav(tone));
    std::string source =
        "movie size=64x48 rate=24\nbackground #203040\n"
        "shape 1 {\n  fill solid #f0c020\n  style moveto=0,0 fill1=1\n"
        "  lineto 16px,0\n  lineto 16px,16px\n  lineto 0,16px\n  lineto 0,0\n}\n"
        "sound 2 \"tone.wav\"\nstartsound 2\nplace2 1 id=1 at=4px,16px\nshowframe\n";
    for (int k = 1; k <= kSteps; ++k) source += "place2 1 move at=" + std::to_string(4 + 4 * k) + "px,16px\nshowframe\n";
    std::vector<uint8_t> bytes;
    qvxs::Diagnostics diag;
    ASSERT_TRUE(qvxs::compileMovie(source, bytes, diag, dir.file(""))) << diag.text();
    movie = dir.write("m.qvx", bytes);
  }

  int run(const std::string& arguments) { return test::runPlayer(KIVRA_PLAYER_PATH, arguments, dir); }
  std::string errors() const { return test::playerErrors(dir); }
  std::vector<int16_t> wavSamples(const std::string& path) const {
    const std::vector<uint8_t> b = test::TempDir::read(path);
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < b.size(); i += 2) samples.push_back(static_cast<int16_t>(b[i] | b[i + 1] << 8));
    return samples;
  }
  // The files in the folder, to see that nothing was left behind.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.file(""))) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir;
  std::string movie;
};

// Mean difference per channel, and the largest at one of the pixels.
void compare(const std::vector<uint8_t>& got, const PngImage& want, double& mean, int& largest) {
  long sum = 0;
  largest = 0;
  for (size_t i = 0; i < want.rgb.size() && i < got.size(); ++i) {
    const int d = std::abs(int{got[i]} - int{want.rgb[i]});
    sum += d;
    largest = std::max(largest, d);
  }
  mean = want.rgb.empty() ? 0 : static_cast<double>(sum) / want.rgb.size();
}

TEST_F(VideoExport, EachContainerHoldsTheScreenshotsAndTheSoundOfTheRun) {
  const std::string q = "'" + movie + "'";
  ASSERT_EQ(run("--headless --frames " + std::to_string(kSteps) + " --wav '" + dir.file("ref.wav") + "' " + q), 0)
      << errors();
  const std::vector<int16_t> wav = wavSamples(dir.file("ref.wav"));
  ASSERT_EQ(wav.size(), size_t{kSteps} * kFrameMs * 44100 / 1000 * 2);
  const int shots[] = {0, 5, kSteps};
  PngImage screenshot[3];
  for (int i = 0; i < 3; ++i) {
    const std::string png = dir.file("s" + std::to_string(shots[i]) + ".png");
    ASSERT_EQ(run("--headless --frames " + std::to_string(shots[i]) + " --screenshot '" + png + "' " + q), 0);
    ASSERT_TRUE(readPng(png, screenshot[i]));
  }

  struct Case {
    const char* name;
    const char* arguments;  // the .mkv one runs to the movie's end unasked
    const char* videoCodec;
    const char* audioCodec;
    int audioRate;
    size_t audioSlack;  // sample pairs a lossy codec's frames may add or cut
    double meanDifference;  // per channel, after a lossy codec (the square sits on whole 2x2 blocks)
    int largestDifference;
  };
  const Case cases[] = {
      {"out.mp4", "--frames 11", "h264", "aac", 44100, 1024, 1.5, 12},
      {"out.webm", "--frames 11", "vp9", "opus", 48000, 960, 1.5, 12},
      {"out.mkv", "", "ffv1", "pcm_s16le", 44100, 0, 0.0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir.file(c.name);
    ASSERT_EQ(run(std::string("--export-video '") + out + "' " + c.arguments + " " + q), 0) << errors();
    EXPECT_EQ(errors(), "");
    Decoded d;
    ASSERT_TRUE(decodeFile(out, d));
    EXPECT_EQ(d.videoCodec, c.videoCodec);
    EXPECT_EQ(d.audioCodec, c.audioCodec);
    EXPECT_EQ(d.width, 64);
    EXPECT_EQ(d.height, 48);
    EXPECT_NEAR(d.frameRate, 1000.0 / kFrameMs, 0.01);
    ASSERT_EQ(d.frames.size(), size_t{kSteps + 1});
    for (int i = 0; i < 3; ++i) {
      double mean = 0;
      int largest = 0;
      compare(d.frames[shots[i]], screenshot[i], mean, largest);
      EXPECT_LE(mean, c.meanDifference) << "frame " << shots[i];
      EXPECT_LE(largest, c.largestDifference) << "frame " << shots[i];
    }
    // The sound: as long as --wav's, at the codec's rate; the lossless one
    // sample for sample.
    EXPECT_EQ(d.audioRate, c.audioRate);
    const double want = static_cast<double>(wav.size() / 2) * c.audioRate / 44100;
    EXPECT_NEAR(static_cast<double>(d.audio.size() / 2), want, c.audioSlack + 1.0);
    if (c.audioSlack == 0) {
      EXPECT_TRUE(d.audio == wav);
    }
    // In step: the sound ends as the last frame is shown, as --wav's does;
    // the picture lasts one frame longer.
    const double audioSeconds = static_cast<double>(d.audio.size() / 2) / d.audioRate;
    EXPECT_NEAR(d.lastFrameSeconds, kSteps * kFrameMs / 1000.0, 0.002);
    EXPECT_NEAR(audioSeconds, d.lastFrameSeconds, 0.001 + c.audioSlack / static_cast<double>(c.audioRate));
  }
  // Odd sides are padded to even for 4:2:0, by repeating the edge.
  const std::string odd = dir.file("odd.mp4");
  ASSERT_EQ(run("--export-video '" + odd + "' --frames 1 --size 63x47 " + q), 0) << errors();
  Decoded d;
  ASSERT_TRUE(decodeFile(odd, d));
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 48);
  EXPECT_EQ(d.frames.size(), 2u);
}

TEST_F(VideoExport, RefusedOutputsLeaveNothingBehind) {
  const std::vector<std::string> before = files();
  const std::string q = " --frames 2 '" + movie + "'";
  EXPECT_EQ(run("--export-video '" + dir.file("out.avi") + "'" + q), 2);
  EXPECT_NE(errors().find("unknown video type"), std::string::npos) << errors();
  EXPECT_EQ(run("--export-video '" + dir.file("missing/out.mp4") + "'" + q), 2);
  EXPECT_NE(errors().find("cannot write"), std::string::npos) << errors();
  std::filesystem::create_directory(dir.file("taken.mkv"));
  EXPECT_EQ(run("--export-video '" + dir.file("taken.mkv") + "'" + q), 2);
  std::filesystem::remove(dir.file("taken.mkv"));
  // Each said so in one line.
  const std::string text = errors();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  // A movie that fails to load: status 1, and no file either.
  dir.write("bad.qvx", {'X', 'V', 'Q', 6, 1, 0, 0, 0});
  EXPECT_EQ(run("--export-video '" + dir.file("bad.mp4") + "' '" + dir.file("bad.qvx") + "'"), 1);
  std::vector<std::string> after = before;
  after.push_back("bad.qvx");
  after.push_back("err.txt");
  std::sort(after.begin(), after.end());
  after.erase(std::unique(after.begin(), after.end()), after.end());
  EXPECT_EQ(files(), after);
}

}  // namespace
}  // namespace kivra
