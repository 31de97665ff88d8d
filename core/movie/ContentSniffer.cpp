#include "core/movie/ContentSniffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/sound/Mp3FrameHeader.h"

namespace kivra {

namespace {

uint8_t lowerAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + ('a' - 'A')) : c; }

// A movie of either kind, or variables text ("<?" starts an XML prolog);
// compared without regard to case. The intake itself compares exact bytes.
bool startsLikeMovie(const uint8_t* p, size_t n) {
  if (n >= 2 && p[0] == '<' && p[1] == '?') return true;
  if (n < 3) return false;
  const uint8_t first = lowerAscii(p[0]);
  return (first == 'x' || first == 'z') && lowerAscii(p[1]) == 'v' && lowerAscii(p[2]) == 'q';
}

bool startsLikeJpeg(const uint8_t* p, size_t n) { return n >= 2 && p[0] == 0xFF && p[1] == 0xD8; }

// A WAVE file may hold MPEG audio, but it is not an MP3 file.
bool startsLikeRiff(const uint8_t* p, size_t n) { return n >= 4 && std::memcmp(p, "RIFF", 4) == 0; }

}  // namespace

ContentSniffer::ContentSniffer(SniffTarget target, int64_t expectedSize, size_t maxBuffered)
    : target_(target), expected_(expectedSize), maxBuffered_(maxBuffered) {
  if (target_ == SniffTarget::Variables) mode_ = SniffMode::PassThrough;
}

void ContentSniffer::fail() {
  failed_ = true;
  releaseBuffer();
}

void ContentSniffer::releaseBuffer() {
  buffer_.reset();
  length_ = 0;
  capacity_ = 0;
}

bool ContentSniffer::append(const uint8_t* data, size_t count) {
  if (count > maxBuffered_ - length_) {
    fail();
    return false;
  }
  const size_t needed = length_ + count;
  if (needed > capacity_) {
    // First the announced size (or the first piece's), then a fifth more
    // or the piece, whichever is larger.
    size_t next = 0;
    if (capacity_ == 0) {
      next = expected_ > 0 ? static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(expected_), maxBuffered_))
                           : count;
    } else {
      next = length_ + std::max(count, length_ / 5);
    }
    next = std::min(std::max(next, needed), maxBuffered_);
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[next]);
    if (!grown) {
      fail();
      return false;
    }
    if (length_ > 0) std::memcpy(grown.get(), buffer_.get(), length_);
    buffer_ = std::move(grown);
    capacity_ = next;
  }
  std::memcpy(buffer_.get() + length_, data, count);
  length_ += count;
  return true;
}

int64_t ContentSniffer::findMp3Frames(bool atEnd) {
  const uint8_t* b = buffer_.get();
  size_t i = mp3Scan_;
  while (i < length_) {
    const void* sync = std::memchr(b + i, 0xFF, length_ - i);
    if (!sync) {
      i = length_;
      break;
    }
    i = static_cast<size_t>(static_cast<const uint8_t*>(sync) - b);
    if (length_ - i < 4) {
      if (!atEnd) break;  // the header is still arriving
      ++i;
      continue;
    }
    Mp3FrameHeader h;
    if (!Mp3FrameHeader::parse(b + i, length_ - i, h)) {
      ++i;
      continue;
    }
    // A header counts when another one follows exactly one frame later, or
    // when its frame ends the data.
    const size_t next = i + static_cast<size_t>(h.frameBytes);
    if (next <= length_ && length_ - next >= 4) {
      Mp3FrameHeader second;
      if (Mp3FrameHeader::parse(b + next, length_ - next, second)) {
        mp3Scan_ = i;
        return static_cast<int64_t>(i);
      }
      ++i;
      continue;
    }
    if (!atEnd) break;  // wait for the place of the next header
    if (next == length_) {
      mp3Scan_ = i;
      return static_cast<int64_t>(i);
    }
    ++i;
  }
  mp3Scan_ = i;
  return -1;
}

void ContentSniffer::decide(bool atEnd) {
  const uint8_t* b = buffer_.get();
  if (startsLikeMovie(b, length_)) {
    mode_ = SniffMode::PassThrough;
  } else if (startsLikeJpeg(b, length_)) {
    mode_ = SniffMode::Jpeg;
  } else if (soundTarget() && !startsLikeRiff(b, length_)) {
    const int64_t first = findMp3Frames(atEnd);
    if (first >= 0) {
      mp3First_ = static_cast<size_t>(first);
      mode_ = target_ == SniffTarget::StreamingSound ? SniffMode::Mp3Stream : SniffMode::Mp3Event;
    }
  }
}

void ContentSniffer::startStream(size_t firstFrame, std::vector<uint8_t>& out) {
  const uint8_t* b = buffer_.get();
  const int64_t received = static_cast<int64_t>(length_);
  const int64_t input = expected_ >= 0 ? std::max(expected_, received) - static_cast<int64_t>(firstFrame) : -1;
  if (!stream_.start(b + firstFrame, length_ - firstFrame, input, out)) {
    fail();
    return;
  }
  stream_.feed(b + firstFrame, length_ - firstFrame, out);
  releaseBuffer();
  if (stream_.failed()) fail();
}

void ContentSniffer::feed(const uint8_t* data, size_t count, std::vector<uint8_t>& out) {
  if (failed_ || finished_ || !data || count == 0) return;
  const bool firstPiece = !sawData_;
  sawData_ = true;
  switch (mode_) {
    case SniffMode::PassThrough:
      // A sound target takes no movie: the data goes nowhere.
      if (!soundTarget()) out.insert(out.end(), data, data + count);
      return;
    case SniffMode::Mp3Stream:
      stream_.feed(data, count, out);
      if (stream_.failed()) fail();
      return;
    case SniffMode::Jpeg:
    case SniffMode::Mp3Event:
      (void)append(data, count);  // a failure is kept in failed()
      return;
    case SniffMode::Undecided:
      break;
  }
  if (firstPiece && startsLikeMovie(data, count)) {
    mode_ = SniffMode::PassThrough;
    if (!soundTarget()) out.insert(out.end(), data, data + count);
    return;
  }
  if (!append(data, count)) return;
  decide(false);
  if (mode_ == SniffMode::PassThrough) {
    if (!soundTarget()) out.insert(out.end(), buffer_.get(), buffer_.get() + length_);
    releaseBuffer();
  } else if (mode_ == SniffMode::Mp3Stream) {
    startStream(mp3First_, out);
  }
}

void ContentSniffer::finish(std::vector<uint8_t>& out) {
  if (failed_ || finished_) return;
  finished_ = true;
  if (mode_ == SniffMode::Undecided && length_ > 0) decide(true);
  switch (mode_) {
    case SniffMode::Undecided:
    case SniffMode::PassThrough:
      // Bytes of no known kind reach a movie target as they are, for the
      // intake to refuse.
      if (!soundTarget() && length_ > 0) out.insert(out.end(), buffer_.get(), buffer_.get() + length_);
      break;
    case SniffMode::Jpeg: {
      MovieWriter movie;
      if (!writeImageMovie(buffer_.get(), length_, movie) || !movie.drainTo(out)) fail();
      break;
    }
    case SniffMode::Mp3Event: {
      MovieWriter movie;
      if (!writeSoundMovie(buffer_.get(), length_, mp3First_, movie) || !movie.drainTo(out)) fail();
      break;
    }
    case SniffMode::Mp3Stream:
      if (!stream_.started()) startStream(mp3First_, out);
      if (!failed_) stream_.finish(out);
      if (stream_.failed()) fail();
      break;
  }
  releaseBuffer();
}

}  // namespace kivra
