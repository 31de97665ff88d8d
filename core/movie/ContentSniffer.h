#pragma once
// Decides what the data loaded into one target is, before it reaches the
// movie intake: a movie or variables (passed through as they come), a JPEG
// image or an MP3 sound (turned into a small movie the player writes
// itself), or nothing it knows. One sniffer per load; player thread.
//
// The loader hands every piece to feed() and calls finish() at the end of
// the data. Both append to `out` whatever must go to the intake at that
// moment; the caller feeds those bytes on in the same order and, after
// finish(), ends the intake's stream. Nothing is ever appended for a sound
// target except a movie the sniffer wrote.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/movie/SyntheticMovies.h"

namespace kivra {

enum class SniffTarget {
  Movie,           // a level or a clip
  Variables,       // variables for a clip: always passed through
  EventSound,      // a sound that plays once loaded
  StreamingSound,  // a sound that plays while it loads
};

enum class SniffMode : uint8_t {
  Undecided = 0,
  PassThrough = 1,  // a movie or variables, fed to the intake as they come
  Jpeg = 2,         // becomes a one-frame movie showing the image
  Mp3Event = 4,     // becomes a movie holding the sound
  Mp3Stream = 8,    // becomes a streaming-sound movie while it arrives
};

class ContentSniffer {
 public:
  // Beyond this many buffered bytes the load is dropped: a non-movie that
  // large must not eat the memory.
  static constexpr size_t kMaxBuffered = size_t{64} << 20;

  // `expectedSize`: the size the stream announced, or -1.
  ContentSniffer(SniffTarget target, int64_t expectedSize, size_t maxBuffered = kMaxBuffered);
  ContentSniffer(const ContentSniffer&) = delete;
  ContentSniffer& operator=(const ContentSniffer&) = delete;

  // The next piece of the data, split anywhere.
  void feed(const uint8_t* data, size_t count, std::vector<uint8_t>& out);
  // The end of the data: appends the image or sound movie, the end of the
  // streaming movie, or for a movie target the undecided bytes as they are
  // (the intake then refuses them unless they are a movie).
  void finish(std::vector<uint8_t>& out);

  SniffMode mode() const { return mode_; }
  // The data becomes a movie the sniffer writes: the target's script object
  // is loading something other than a movie.
  bool nonMovie() const {
    return mode_ == SniffMode::Jpeg || mode_ == SniffMode::Mp3Event || mode_ == SniffMode::Mp3Stream;
  }
  // The data was dropped: too much to hold, no memory, or an image whose
  // header the decoder cannot read. Nothing more comes out.
  bool failed() const { return failed_; }
  bool finished() const { return finished_; }
  // The streaming movie ran into the length its header declared and lost
  // the rest of the sound (see Mp3StreamMovie).
  bool truncated() const { return stream_.truncated(); }

 private:
  bool soundTarget() const { return target_ == SniffTarget::EventSound || target_ == SniffTarget::StreamingSound; }
  // The one place a load is dropped.
  void fail();
  [[nodiscard]] bool append(const uint8_t* data, size_t count);
  void releaseBuffer();
  void decide(bool atEnd);
  // The offset of the first MP3 frame found, or -1; resumes where the last
  // call stopped.
  int64_t findMp3Frames(bool atEnd);
  void startStream(size_t firstFrame, std::vector<uint8_t>& out);

  SniffTarget target_;
  int64_t expected_;
  size_t maxBuffered_;
  SniffMode mode_ = SniffMode::Undecided;
  bool failed_ = false;
  bool finished_ = false;
  bool sawData_ = false;

  std::unique_ptr<uint8_t[]> buffer_;
  size_t length_ = 0;
  size_t capacity_ = 0;
  // The MP3 search has rejected every position before this one.
  size_t mp3Scan_ = 0;
  size_t mp3First_ = 0;

  Mp3StreamMovie stream_;
};

}  // namespace kivra
