#pragma once
// The movies the player writes around loaded data that is not a movie: a
// one-frame movie showing a JPEG image, a movie holding one MP3 event sound,
// and a streaming-sound movie made from MP3 data while it arrives. Each is
// written in memory and then fed to the movie intake like a downloaded
// movie. Player thread; the caller owns every buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/MovieWriter.h"
#include "core/sound/Mp3FrameHeader.h"

namespace kivra {

// The movies' frame rate, 12.0 frames per second in 8.8 fixed point.
inline constexpr uint16_t kSyntheticFrameRate = 0x0C00;
// A larger image is shown cut to this many pixels each way.
inline constexpr uint32_t kMaxImagePixels = 2880;

// Writes the movie showing `jpeg` (a whole JPEG file) into the empty `out`:
// the bitmap as character 1, a rectangle filled with it at one pixel per 20
// twips as character 2, placed at depth 1 in the only frame. False, with
// `out` left failed or unfinished, when the image header cannot be read or
// the bitmap decoder would refuse the image.
[[nodiscard]] bool writeImageMovie(const uint8_t* jpeg, size_t length, MovieWriter& out);

// Writes the movie holding sound character 1 made of `data` from its first
// MPEG audio frame, at `firstFrame`, to the end, into the empty `out`; its
// sample count is that of the whole frames walked from the first. False
// when no frame header is there or the writer fails.
[[nodiscard]] bool writeSoundMovie(const uint8_t* data, size_t length, size_t firstFrame, MovieWriter& out);

// The sound format byte for MP3 data whose first frame is `first`: codec 2,
// the rate code of its MPEG version, 16-bit, stereo unless single-channel.
uint8_t mp3SoundFormat(const Mp3FrameHeader& first);

// MP3 data turned into a streaming-sound movie piece by piece, so that the
// sound can play while it downloads. The received bytes go through a small
// ring buffer from which at most kMaxTake bytes are taken at a time; whole
// frames of the first frame's kind are gathered into blocks of about one
// movie frame of sound, each written as a ShowFrame and a SoundStreamBlock.
// The first block is preceded by a frame with a block of its size holding
// only zeros.
//
// The intake needs the movie's length in its header before the first block
// exists. With the input size known, the header declares an upper bound of
// the movie's size, and once all the announced input has come finish() pads
// the movie after its End tag to that length, so the intake sees it
// complete; the padding is usually a few percent of the input. With the size
// unknown (or the input cut short) the movie ends with its End tag but never
// reaches its declared length (kUnknownInputLength when unknown). A block
// that would pass the declared length is dropped, and so is the rest of the
// sound.
class Mp3StreamMovie {
 public:
  static constexpr size_t kRingBytes = 4096;  // the longest frame (1729), a header and a take
  static constexpr size_t kMaxTake = 1050;
  static constexpr uint32_t kUnknownInputLength = uint32_t{64} << 20;
  static constexpr uint16_t kFrameCount = 1000;

  Mp3StreamMovie() = default;
  Mp3StreamMovie(const Mp3StreamMovie&) = delete;
  Mp3StreamMovie& operator=(const Mp3StreamMovie&) = delete;

  // Starts the movie at the frame header at `firstFrame` (of `available`
  // bytes; the frame is not consumed) and appends the file header and the
  // stream head to `out`. `expectedInput` is how many bytes will be fed
  // from that frame on, or -1 when unknown. False when there is no frame
  // header there.
  [[nodiscard]] bool start(const uint8_t* firstFrame, size_t available, int64_t expectedInput,
                           std::vector<uint8_t>& out);
  // Takes the next bytes of MP3 data; appends the blocks completed by them.
  void feed(const uint8_t* data, size_t count, std::vector<uint8_t>& out);
  // At the end of the data: the last whole frames, the closing frame and End
  // tags, and the padding to the declared length when all the announced
  // input came.
  void finish(std::vector<uint8_t>& out);

  bool started() const { return started_; }
  bool failed() const { return !writer_.ok(); }
  // Blocks were dropped because they would pass the declared length.
  bool truncated() const { return truncated_; }
  uint32_t declaredLength() const { return declared_; }
  uint16_t samplesPerBlock() const { return perBlock_; }

 private:
  void takeFrames(bool atEnd, std::vector<uint8_t>& out);
  bool frameOfStream(const uint8_t* header4, Mp3FrameHeader& h) const;
  void peek(size_t offset, uint8_t* to, size_t count) const;
  void drop(size_t count);
  void writeBlock(const uint8_t* data, size_t length, uint16_t samples);
  void flushGroup(std::vector<uint8_t>& out);

  MovieWriter writer_;
  Mp3FrameHeader first_;
  uint8_t ring_[kRingBytes] = {};
  size_t ringStart_ = 0;
  size_t ringBytes_ = 0;
  bool inStep_ = true;  // the ring starts at a frame that follows a frame taken
  std::vector<uint8_t> group_;
  int groupFrames_ = 0;
  uint32_t groupSamples_ = 0;
  int framesPerBlock_ = 1;
  uint16_t perBlock_ = 0;
  uint32_t declared_ = 0;
  int64_t expectedInput_ = -1;
  uint64_t inputFed_ = 0;
  bool wroteBlock_ = false;
  bool started_ = false;
  bool finished_ = false;
  bool truncated_ = false;
};

}  // namespace kivra
