#pragma once
// Writes a video file with sound through FFmpeg's libraries; the container
// and codecs follow the file name's extension:
//   .mp4   H.264 (libx264, preset veryfast, CRF 20) + AAC 160 kbit/s
//   .webm  VP9 (libvpx, realtime, CRF 32) + Opus 128 kbit/s at 48 kHz
//   .mkv   FFV1 in RGB + 16-bit PCM: lossless, every pixel and sample exact
// H.264 and VP9 get 4:2:0 studio-range BT.709, tagged so, converted here.
// Frames are timed by the movie's frame period in whole milliseconds, as
// the headless clock runs, so picture and sound stay in step.
// The file is written under a temporary name beside the target and renamed
// over it by finish(); a failed or abandoned encoder removes it, so no
// partial file is ever left at the target. One thread uses an encoder; it
// owns its codec contexts and scratch, reused for every frame.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kivra {

enum class VideoContainer { Mp4, WebM, Mkv };

// The container for a file name's extension (case-insensitive); false for
// any other name.
[[nodiscard]] bool videoContainerFor(const std::string& path, VideoContainer& out);

class VideoEncoder {
 public:
  VideoEncoder();
  ~VideoEncoder();  // abandons an unfinished file
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Starts `path` for frames of width x height pixels, each shown for
  // `frameMs` milliseconds, and 44.1 kHz 16-bit stereo sound. 4:2:0 codecs
  // get odd sides padded to even by repeating the last column or row.
  // False with a one-line reason; nothing is left on disk then.
  [[nodiscard]] bool open(const std::string& path, int width, int height, uint32_t frameMs, std::string& error);
  // The next frame: rows of 32-bit pixels, 0xAARRGGBB, opaque, from the
  // top row at `pixels`, `rowBytes` apart (negative: stored bottom-up).
  [[nodiscard]] bool addFrame(const uint8_t* pixels, ptrdiff_t rowBytes);
  // More sound: `frames` interleaved left/right sample pairs.
  [[nodiscard]] bool addAudio(const int16_t* samples, size_t frames);
  // Drains the codecs, writes the trailer and renames the file into place.
  [[nodiscard]] bool finish();
  // Stops and removes the temporary file.
  void abandon();
  // Why the last call failed (one line).
  const std::string& error() const { return error_; }
  // Wall-clock seconds spent inside addFrame and addAudio and finish:
  // conversion, encoding and writing, as seen by the calling thread.
  double encodeSeconds() const { return encodeSeconds_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string error_;
  double encodeSeconds_ = 0;
};

}  // namespace kivra
