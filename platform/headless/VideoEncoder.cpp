#include "platform/headless/VideoEncoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/host/AudioOutput.h"
#include "platform/MovieFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace kivra {

namespace {

std::string avText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool endsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}

// Codecs writing 8-bit RGB keep the stage's pixels exactly.
AVPixelFormat losslessFormat(const AVCodec* codec) {
  const AVPixelFormat wanted[] = {AV_PIX_FMT_0RGB32, AV_PIX_FMT_RGB32, AV_PIX_FMT_GBRP};
  for (AVPixelFormat w : wanted)
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
      if (*p == w) return w;
  return AV_PIX_FMT_NONE;
}

// Full-range RGB to studio-range BT.709 Y'CbCr 4:2:0, in 16.16 fixed
// point: each chroma sample from the mean of its 2x2 pixels. Even sides.
struct Bt709 {
  static constexpr double kR = 0.2126, kG = 0.7152, kB = 0.0722;
  static int32_t fixed(double v) { return static_cast<int32_t>(std::lround(v * 65536)); }
  const int32_t yr = fixed(kR * 219 / 255), yg = fixed(kG * 219 / 255), yb = fixed(kB * 219 / 255);
  const int32_t ur = fixed(-kR / (2 * (1 - kB)) * 224 / 255), ug = fixed(-kG / (2 * (1 - kB)) * 224 / 255),
                ub = fixed(0.5 * 224 / 255);
  const int32_t vr = fixed(0.5 * 224 / 255), vg = fixed(-kG / (2 * (1 - kR)) * 224 / 255),
                vb = fixed(-kB / (2 * (1 - kR)) * 224 / 255);

  uint8_t luma(uint32_t p) const {
    const int32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return static_cast<uint8_t>((yr * r + yg * g + yb * b + (16 << 16) + 32768) >> 16);
  }
  // `r`, `g`, `b`: sums of four pixels.
  static uint8_t chroma(int32_t cr, int32_t cg, int32_t cb, int32_t r, int32_t g, int32_t b) {
    const int32_t v = (cr * r + cg * g + cb * b + (128 << 18) + (1 << 17)) >> 18;
    return static_cast<uint8_t>(std::clamp(v, 16, 240));
  }

  // Converts the pairs of rows that differ from `previous` (the last
  // frame's pixels, width x height packed; empty: none yet, and it is
  // sized) and copies them there; `out` still holds the last frame's
  // conversion. A movie mostly repaints a small part of its stage.
  void convert(const uint8_t* pixels, ptrdiff_t rowBytes, int width, int height, std::vector<uint8_t>& previous,
               AVFrame* out) const {
    const size_t packed = static_cast<size_t>(width) * 4;
    const bool all = previous.empty();
    if (all) previous.resize(packed * height);
    for (int y = 0; y < height; y += 2) {
      uint8_t* before = previous.data() + packed * y;
      const uint8_t* rowA = pixels + y * rowBytes;
      const uint8_t* rowB = rowA + rowBytes;
      if (!all && std::memcmp(before, rowA, packed) == 0 && std::memcmp(before + packed, rowB, packed) == 0) continue;
      std::memcpy(before, rowA, packed);
      std::memcpy(before + packed, rowB, packed);
      convertRows(reinterpret_cast<const uint32_t*>(rowA), reinterpret_cast<const uint32_t*>(rowB), width,
                  out->data[0] + static_cast<ptrdiff_t>(y) * out->linesize[0], out->linesize[0],
                  out->data[1] + static_cast<ptrdiff_t>(y / 2) * out->linesize[1],
                  out->data[2] + static_cast<ptrdiff_t>(y / 2) * out->linesize[2]);
    }
  }

  void convertRows(const uint32_t* a, const uint32_t* b, int width, uint8_t* ya, int lumaStride, uint8_t* u,
                   uint8_t* v) const {
    uint8_t* yb2 = ya + lumaStride;
    for (int x = 0; x < width; ++x) {
      ya[x] = luma(a[x]);
      yb2[x] = luma(b[x]);
    }
    for (int x = 0; x < width; x += 2) {
      const uint32_t p[4] = {a[x], a[x + 1], b[x], b[x + 1]};
      int32_t r = 0, g = 0, bl = 0;
      for (uint32_t q : p) {
        r += (q >> 16) & 0xFF;
        g += (q >> 8) & 0xFF;
        bl += q & 0xFF;
      }
      u[x / 2] = chroma(ur, ug, ub, r, g, bl);
      v[x / 2] = chroma(vr, vg, vb, r, g, bl);
    }
  }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

bool videoContainerFor(const std::string& path, VideoContainer& out) {
  if (endsWith(path, ".mp4")) out = VideoContainer::Mp4;
  else if (endsWith(path, ".webm")) out = VideoContainer::WebM;
  else if (endsWith(path, ".mkv")) out = VideoContainer::Mkv;
  else return false;
  return true;
}

struct VideoEncoder::State {
  std::string target;
  std::string temp;  // the file being written; empty once renamed or removed
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* scaler = nullptr;  // for RGB codecs
  Bt709 yuv;  // for the others
  std::vector<uint8_t> previous;  // the last frame that went through `yuv`
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  int width = 0;  // the stage's
  int height = 0;
  int audioFrameSize = 1024;
  std::vector<uint8_t> padded;  // the stage at the codec's even size
  uint8_t** converted = nullptr;  // resampler output, `convertedCapacity` frames
  int convertedCapacity = 0;
  int64_t framesSent = 0;
  int64_t samplesSent = 0;  // at the audio codec's rate
  bool headerWritten = false;
  bool finished = false;

  ~State() {
    if (converted) av_freep(&converted[0]);
    av_freep(&converted);
    av_packet_free(&packet);
    av_frame_free(&sound);
    av_frame_free(&picture);
    if (fifo) av_audio_fifo_free(fifo);
    swr_free(&resampler);
    sws_freeContext(scaler);
    avcodec_free_context(&audio);
    avcodec_free_context(&video);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
    if (!temp.empty()) std::remove(temp.c_str());
  }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

void VideoEncoder::abandon() { state_.reset(); }

bool VideoEncoder::open(const std::string& path, int width, int height, uint32_t frameMs, std::string& error) {
  state_.reset();
  VideoContainer container;
  if (!videoContainerFor(path, container)) {
    error = "cannot write " + path + ": unknown video type (use .mp4, .webm or .mkv)";
    return false;
  }
  if (width < 1 || height < 1 || frameMs < 1) {
    error = "cannot write " + path + ": the movie has no stage to record";
    return false;
  }
  av_log_set_level(AV_LOG_ERROR);
  auto s = std::make_unique<State>();
  s->target = path;
  s->width = width;
  s->height = height;

  // A temporary name in the same folder, so that the final rename is
  // atomic and the folder's writability is known before any work.
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = folder + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      s->temp = name;
      break;
    }
    if (errno != EEXIST) {
      error = cannotText("write", path);
      return false;
    }
  }
  if (s->temp.empty()) {
    error = "cannot write " + path + ": no free temporary name beside it";
    return false;
  }
  auto fail = [&](const std::string& what, int code) {
    error = "cannot write " + path + ": " + what + (code ? ": " + avText(code) : "");
    return false;
  };

  const char* formatName = container == VideoContainer::Mp4 ? "mp4" : container == VideoContainer::WebM ? "webm" : "matroska";
  int r = avformat_alloc_output_context2(&s->format, nullptr, formatName, s->temp.c_str());
  if (r < 0 || !s->format) return fail(std::string("no ") + formatName + " muxer", r);

  // ---- video
  const AVCodec* vcodec = nullptr;
  if (container == VideoContainer::Mp4) vcodec = avcodec_find_encoder_by_name("libx264");
  else if (container == VideoContainer::WebM) vcodec = avcodec_find_encoder_by_name("libvpx-vp9");
  else vcodec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
  if (!vcodec) return fail("this FFmpeg has no encoder for it", 0);
  s->video = avcodec_alloc_context3(vcodec);
  if (!s->video) return fail("out of memory", 0);
  AVCodecContext* v = s->video;
  AVPixelFormat pixels = AV_PIX_FMT_YUV420P;
  if (container == VideoContainer::Mkv) {
    pixels = losslessFormat(vcodec);
    if (pixels == AV_PIX_FMT_NONE) return fail("the lossless encoder takes no RGB", 0);
    v->width = width;
    v->height = height;
  } else {
    v->width = (width + 1) & ~1;  // 4:2:0 needs even sides
    v->height = (height + 1) & ~1;
    v->color_range = AVCOL_RANGE_MPEG;
    v->colorspace = AVCOL_SPC_BT709;
    v->color_primaries = AVCOL_PRI_BT709;
    v->color_trc = AVCOL_TRC_IEC61966_2_1;
  }
  v->pix_fmt = pixels;
  v->time_base = AVRational{static_cast<int>(frameMs), 1000};
  v->framerate = AVRational{1000, static_cast<int>(frameMs)};
  v->thread_count = 0;  // as many as the machine has
  if (s->format->oformat->flags & AVFMT_GLOBALHEADER) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* vopts = nullptr;
  if (container == VideoContainer::Mp4) {
    av_dict_set(&vopts, "preset", "veryfast", 0);
    av_dict_set(&vopts, "crf", "20", 0);
  } else if (container == VideoContainer::WebM) {
    // Constant quality at libvpx's fastest settings: an export, not an
    // archive.
    v->bit_rate = 0;
    av_dict_set(&vopts, "crf", "32", 0);
    av_dict_set(&vopts, "deadline", "realtime", 0);
    av_dict_set(&vopts, "cpu-used", "8", 0);
    av_dict_set(&vopts, "row-mt", "1", 0);
  } else {
    av_dict_set(&vopts, "level", "3", 0);
    av_dict_set(&vopts, "slices", "4", 0);  // FFV1 threads by slices
  }
  r = avcodec_open2(v, vcodec, &vopts);
  av_dict_free(&vopts);
  if (r < 0) return fail(std::string("cannot start ") + vcodec->name, r);
  s->videoStream = avformat_new_stream(s->format, nullptr);
  if (!s->videoStream) return fail("out of memory", 0);
  s->videoStream->time_base = v->time_base;
  s->videoStream->avg_frame_rate = v->framerate;
  r = avcodec_parameters_from_context(s->videoStream->codecpar, v);
  if (r < 0) return fail("video parameters", r);

  // 4:2:0 is made here, exactly as BT.709 says; RGB goes through swscale,
  // which only copies it.
  if (pixels != AV_PIX_FMT_YUV420P) {
    s->scaler = sws_getContext(v->width, v->height, AV_PIX_FMT_RGB32, v->width, v->height, pixels, SWS_POINT,
                               nullptr, nullptr, nullptr);
    if (!s->scaler) return fail("no pixel conversion to the codec's format", 0);
  }
  if (v->width != width || v->height != height)
    s->padded.resize(static_cast<size_t>(v->width) * v->height * 4);
  s->picture = av_frame_alloc();
  if (!s->picture) return fail("out of memory", 0);
  s->picture->format = pixels;
  s->picture->width = v->width;
  s->picture->height = v->height;
  r = av_frame_get_buffer(s->picture, 0);
  if (r < 0) return fail("picture buffer", r);

  // ---- audio
  const AVCodec* acodec = nullptr;
  if (container == VideoContainer::Mp4) acodec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  else if (container == VideoContainer::WebM) acodec = avcodec_find_encoder_by_name("libopus");
  else acodec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  if (!acodec) return fail("this FFmpeg has no audio encoder for it", 0);
  s->audio = avcodec_alloc_context3(acodec);
  if (!s->audio) return fail("out of memory", 0);
  AVCodecContext* a = s->audio;
  a->sample_rate = container == VideoContainer::WebM ? 48000 : static_cast<int>(AudioOutput::kSampleRate);
  a->sample_fmt = container == VideoContainer::Mp4 ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
  av_channel_layout_default(&a->ch_layout, AudioOutput::kChannels);
  a->time_base = AVRational{1, a->sample_rate};
  if (container == VideoContainer::Mp4) a->bit_rate = 160000;
  if (container == VideoContainer::WebM) a->bit_rate = 128000;
  if (s->format->oformat->flags & AVFMT_GLOBALHEADER) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  r = avcodec_open2(a, acodec, nullptr);
  if (r < 0) return fail(std::string("cannot start ") + acodec->name, r);
  if (a->frame_size > 0) s->audioFrameSize = a->frame_size;
  s->audioStream = avformat_new_stream(s->format, nullptr);
  if (!s->audioStream) return fail("out of memory", 0);
  s->audioStream->time_base = a->time_base;
  r = avcodec_parameters_from_context(s->audioStream->codecpar, a);
  if (r < 0) return fail("audio parameters", r);

  AVChannelLayout stereo;
  av_channel_layout_default(&stereo, AudioOutput::kChannels);
  r = swr_alloc_set_opts2(&s->resampler, &a->ch_layout, a->sample_fmt, a->sample_rate, &stereo, AV_SAMPLE_FMT_S16,
                          static_cast<int>(AudioOutput::kSampleRate), 0, nullptr);
  if (r < 0 || (r = swr_init(s->resampler)) < 0) return fail("sound conversion", r);
  s->fifo = av_audio_fifo_alloc(a->sample_fmt, AudioOutput::kChannels, s->audioFrameSize * 4);
  s->sound = av_frame_alloc();
  s->packet = av_packet_alloc();
  if (!s->fifo || !s->sound || !s->packet) return fail("out of memory", 0);

  r = avio_open(&s->format->pb, s->temp.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) return fail("cannot open it", r);
  r = avformat_write_header(s->format, nullptr);
  if (r < 0) return fail("header", r);
  s->headerWritten = true;
  state_ = std::move(s);
  return true;
}

namespace {
// Writes every packet `codec` has ready to `stream`; false with the reason.
bool drainPackets(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, AVPacket* packet, bool video,
                  std::string& error) {
  for (;;) {
    int r = avcodec_receive_packet(codec, packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) {
      error = "encoding: " + avText(r);
      return false;
    }
    // One packet is one frame: its duration gives the last frame its time.
    if (video && packet->duration == 0) packet->duration = 1;
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    r = av_interleaved_write_frame(format, packet);
    if (r < 0) {
      error = "writing: " + avText(r);
      return false;
    }
  }
}
}  // namespace

bool VideoEncoder::addFrame(const uint8_t* pixels, ptrdiff_t rowBytes) {
  if (!state_) return false;
  const auto start = std::chrono::steady_clock::now();
  State& s = *state_;
  const uint8_t* rows = pixels;
  ptrdiff_t stride = rowBytes;
  if (!s.padded.empty()) {
    // Odd sides: the last column and row are repeated.
    const int w = s.video->width, h = s.video->height;
    const size_t outRow = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y) {
      uint8_t* out = s.padded.data() + y * outRow;
      const uint8_t* in = pixels + std::min(y, s.height - 1) * rowBytes;
      std::memcpy(out, in, static_cast<size_t>(s.width) * 4);
      if (w > s.width) std::memcpy(out + static_cast<size_t>(s.width) * 4, in + static_cast<size_t>(s.width - 1) * 4, 4);
    }
    rows = s.padded.data();
    stride = static_cast<ptrdiff_t>(outRow);
  }
  int r = av_frame_make_writable(s.picture);
  if (r >= 0) {
    if (s.scaler) {
      const uint8_t* const planes[1] = {rows};
      const int strides[1] = {static_cast<int>(stride)};
      sws_scale(s.scaler, planes, strides, 0, s.video->height, s.picture->data, s.picture->linesize);
    } else {
      s.yuv.convert(rows, stride, s.video->width, s.video->height, s.previous, s.picture);
    }
    s.picture->pts = s.framesSent++;
    r = avcodec_send_frame(s.video, s.picture);
  }
  bool ok = r >= 0;
  if (!ok) error_ = "cannot write " + s.target + ": encoding: " + avText(r);
  else ok = drainPackets(s.format, s.video, s.videoStream, s.packet, true, error_);
  if (!ok && error_.find(s.target) == std::string::npos) error_ = "cannot write " + s.target + ": " + error_;
  encodeSeconds_ += secondsSince(start);
  return ok;
}

namespace {
// Sends `count` samples from the FIFO (all, when fewer are left) to the
// audio encoder.
bool sendAudio(AVAudioFifo* fifo, AVCodecContext* audio, AVFrame* frame, int count, int64_t& sent,
               std::string& error) {
  av_frame_unref(frame);
  frame->nb_samples = count;
  frame->format = audio->sample_fmt;
  frame->sample_rate = audio->sample_rate;
  int r = av_channel_layout_copy(&frame->ch_layout, &audio->ch_layout);
  if (r >= 0) r = av_frame_get_buffer(frame, 0);
  if (r >= 0) r = av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), count);
  if (r >= 0) {
    frame->pts = sent;
    sent += count;
    r = avcodec_send_frame(audio, frame);
  }
  if (r < 0) {
    error = "encoding sound: " + avText(r);
    return false;
  }
  return true;
}
}  // namespace

bool VideoEncoder::addAudio(const int16_t* samples, size_t frames) {
  if (!state_) return false;
  const auto start = std::chrono::steady_clock::now();
  if (samples && frames == 0) return true;
  State& s = *state_;
  bool ok = true;
  // Converted in pieces, so the scratch stays small.
  constexpr size_t kPiece = 8192;
  const bool flushing = samples == nullptr;
  size_t done = 0;
  do {
    const int n = flushing ? 0 : static_cast<int>(std::min(kPiece, frames - done));
    const int room = swr_get_out_samples(s.resampler, n);
    if (room <= 0) break;  // flushing, and nothing is held back
    if (room > s.convertedCapacity) {
      if (s.converted) av_freep(&s.converted[0]);
      av_freep(&s.converted);
      if (av_samples_alloc_array_and_samples(&s.converted, nullptr, AudioOutput::kChannels, room,
                                             s.audio->sample_fmt, 0) < 0) {
        s.convertedCapacity = 0;
        error_ = "cannot write " + s.target + ": out of memory";
        ok = false;
        break;
      }
      s.convertedCapacity = room;
    }
    const uint8_t* in = flushing ? nullptr : reinterpret_cast<const uint8_t*>(samples + done * AudioOutput::kChannels);
    const int got = swr_convert(s.resampler, s.converted, room, flushing ? nullptr : &in, n);
    if (got < 0 || (got > 0 && av_audio_fifo_write(s.fifo, reinterpret_cast<void**>(s.converted), got) < got)) {
      error_ = "cannot write " + s.target + ": sound conversion";
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
    while (ok && av_audio_fifo_size(s.fifo) >= s.audioFrameSize) {
      ok = sendAudio(s.fifo, s.audio, s.sound, s.audioFrameSize, s.samplesSent, error_) &&
           drainPackets(s.format, s.audio, s.audioStream, s.packet, false, error_);
    }
    if (flushing && got == 0) break;
  } while (ok && (flushing || done < frames));
  if (!ok && error_.find(s.target) == std::string::npos) error_ = "cannot write " + s.target + ": " + error_;
  encodeSeconds_ += secondsSince(start);
  return ok;
}

bool VideoEncoder::finish() {
  if (!state_) return false;
  const auto start = std::chrono::steady_clock::now();
  State& s = *state_;
  // What the resampler holds back, then the short last piece of sound.
  bool ok = addAudio(nullptr, 0);
  if (ok && av_audio_fifo_size(s.fifo) > 0)
    ok = sendAudio(s.fifo, s.audio, s.sound, av_audio_fifo_size(s.fifo), s.samplesSent, error_);
  if (ok) ok = avcodec_send_frame(s.audio, nullptr) >= 0 &&
               drainPackets(s.format, s.audio, s.audioStream, s.packet, false, error_);
  if (ok) ok = avcodec_send_frame(s.video, nullptr) >= 0 &&
               drainPackets(s.format, s.video, s.videoStream, s.packet, true, error_);
  int r = 0;
  if (ok && (r = av_write_trailer(s.format)) < 0) {
    error_ = "writing: " + avText(r);
    ok = false;
  }
  if (ok && (r = avio_closep(&s.format->pb)) < 0) {
    error_ = "closing: " + avText(r);
    ok = false;
  }
  if (ok && std::rename(s.temp.c_str(), s.target.c_str()) != 0) {
    error_ = cannotText("write", s.target);
    ok = false;
  }
  if (ok) s.temp.clear();
  if (!ok && error_.find(s.target) == std::string::npos) error_ = "cannot write " + s.target + ": " + error_;
  encodeSeconds_ += secondsSince(start);
  state_.reset();  // removes the temporary file unless renamed
  return ok;
}

}  // namespace kivra
