#pragma once
// Intake of one movie's bytes: the 8-byte file header, the inflation of
// compressed bodies, the body header (frame rectangle, rate, count) and the
// running count of completely received frames. The movie lives in one
// allocation of file length + 1 bytes made when the file header is complete;
// it never moves, so tag handlers may keep pointers into it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/format/Records.h"

namespace kivra {

class Inflater;

enum class MovieStatus : int { Good = 0, BadHeader = -1, OutOfMemory = -2 };

// What one call of feed() changed.
struct IntakeReport {
  bool headerParsed = false;  // the body header became known during this call
  int framesAdded = 0;        // complete ShowFrame tags found during this call
  bool corrupt = false;       // a tag header ran past the end during this call
  bool complete = false;      // the whole file has arrived during this call
};

class MovieBuffer {
 public:
  static constexpr int kAllFramesLoaded = 16000;
  // Larger movies are refused as out of memory; a 32-bit host could not hold
  // them either, and a bogus header must not reserve gigabytes.
  static constexpr uint32_t kMaxFileLength = 256u << 20;

  MovieBuffer();
  ~MovieBuffer();
  MovieBuffer(const MovieBuffer&) = delete;
  MovieBuffer& operator=(const MovieBuffer&) = delete;

  // Appends a piece of the movie, split anywhere.
  IntakeReport feed(const uint8_t* data, size_t count);

  MovieStatus status() const { return status_; }
  bool failed() const { return status_ != MovieStatus::Good; }
  bool compressed() const { return compressed_; }
  int version() const { return version_; }
  // -1 until the file header is complete.
  int64_t fileLength() const { return fileLength_; }
  int64_t received() const { return received_; }
  bool complete() const { return fileLength_ >= 0 && received_ >= fileLength_; }
  // The movie in uncompressed form, header included ("XVQ" even when the
  // file said "ZVQ"); received() bytes of it are valid.
  const uint8_t* data() const { return buffer_.get(); }

  bool headerParsed() const { return headerParsed_; }
  const RECT& frameRect() const { return frameRect_; }
  uint16_t frameRate() const { return frameRate_; }  // 8.8 frames per second
  uint16_t frameCount() const { return frameCount_; }
  uint32_t framePeriodMs() const { return framePeriodFor(frameRate_); }
  int64_t firstTagPosition() const { return firstTag_; }

  // 0-based index of the last complete frame; -1 while none is complete,
  // kAllFramesLoaded once the whole file is in.
  int framesLoaded() const { return framesLoaded_; }
  // A tag header ran past the end: the player quits at its next frame step.
  bool corrupt() const { return corrupt_; }

  // The frame period in ms for an 8.8 frame rate (1 ms for rate 0).
  static uint32_t framePeriodFor(uint16_t rate);

 private:
  [[nodiscard]] bool acceptHeader();
  void appendInflated(const uint8_t* data, size_t count);
  void parseBodyHeader(IntakeReport& report);
  void scanFrames(IntakeReport& report);

  MovieStatus status_ = MovieStatus::Good;
  uint8_t header_[8] = {};
  int headerBytes_ = 0;
  bool compressed_ = false;
  int version_ = 0;
  int64_t fileLength_ = -1;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t received_ = 0;
  std::unique_ptr<Inflater> inflater_;
  bool inflateDone_ = false;

  bool headerParsed_ = false;
  RECT frameRect_;
  uint16_t frameRate_ = 0;
  uint16_t frameCount_ = 0;
  int64_t firstTag_ = 0;
  int64_t scanPos_ = 0;
  bool scanStopped_ = false;
  int framesLoaded_ = -1;
  bool corrupt_ = false;
};

}  // namespace kivra
