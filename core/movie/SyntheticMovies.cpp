#include "core/movie/SyntheticMovies.h"

#include <algorithm>
#include <cstring>

#include "core/format/TagCodes.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/JpegHeader.h"

namespace kivra {

namespace {

constexpr uint8_t kMovieVersion = 6;
constexpr int32_t kTwipsPerPixel = 20;
constexpr uint8_t kClippedBitmapFill = 0x41;
constexpr uint8_t kPlaceHasCharacter = 0x02;
// The bitmap decoder reads a tag's JPEG data as a table stream followed by
// the image stream; an empty table stream (start of image, end of image)
// lets a whole JPEG file follow as it is.
constexpr uint8_t kEmptyTableStream[4] = {0xFF, 0xD8, 0xFF, 0xD9};
// Everything of the image movie but the JPEG bytes fits in this.
constexpr size_t kImageMovieOverhead = 128;
constexpr size_t kSoundMovieOverhead = 64;
// ShowFrame and End.
constexpr size_t kClosingBytes = 4;
// ShowFrame, a long tag header, sample count and seek samples.
constexpr size_t kBlockOverhead = 2 + 6 + 4;

constexpr uint16_t code(TagCode c) { return static_cast<uint16_t>(c); }

// An edge's delta has at most 17 bits (a 4-bit count of n - 2).
static_assert(MovieWriter::signedBits(kMaxImagePixels * kTwipsPerPixel) <= 17);

// A straight edge along one axis, as a shape record.
void writeAxisEdge(MovieWriter& w, int32_t delta, bool vertical) {
  const unsigned n = std::max(MovieWriter::signedBits(delta), 2u);
  w.writeBits(1, 1);  // edge
  w.writeBits(1, 1);  // straight
  w.writeBits(n - 2, 4);
  w.writeBits(0, 1);  // along one axis
  w.writeBits(vertical, 1);
  w.writeSignedBits(delta, n);
}

// The rectangle (0, 0)-(width, height) in fill style 1, drawn clockwise on
// the screen so the fill lies to the right of each edge.
void writeRectangleRecords(MovieWriter& w, int32_t width, int32_t height) {
  w.writeBits(1, 4);  // fill index bits: one style
  w.writeBits(0, 4);  // line index bits: no lines
  w.writeBits(0, 1);  // style change
  w.writeBits(0x05, 5);  // move-to and fill 1
  w.writeBits(0, 5);     // move to (0, 0): zero-bit coordinates
  w.writeBits(1, 1);     // fill 1 = style 1
  writeAxisEdge(w, width, false);
  writeAxisEdge(w, height, true);
  writeAxisEdge(w, -width, false);
  writeAxisEdge(w, -height, true);
  w.writeBits(0, 6);  // end of shape
  w.flushBits();
}

// The file header with its length still to patch, and the body header.
void writeBodyHeader(MovieWriter& w, const RECT& frame, uint16_t frameCount) {
  w.writeFileHeader(kMovieVersion);
  w.writeRect(frame);
  w.writeU16(kSyntheticFrameRate);
  w.writeU16(frameCount);
}

// The header `h4` with another bit-rate index and padding bit, parsed: the
// shortest and longest frames of one stream.
int frameBytesAt(const uint8_t* h4, int rateIndex, int padding) {
  uint8_t probe[4] = {h4[0], h4[1], static_cast<uint8_t>((h4[2] & 0x0D) | rateIndex << 4 | padding << 1), h4[3]};
  Mp3FrameHeader h;
  return Mp3FrameHeader::parse(probe, sizeof probe, h) ? h.frameBytes : 0;
}

}  // namespace

uint8_t mp3SoundFormat(const Mp3FrameHeader& first) {
  // The rate code of the MPEG version: 44.1 kHz and its kin for MPEG-1,
  // 22.05 kHz for MPEG-2, 11.025 kHz for MPEG-2.5.
  const int rate = first.version == 1 ? 3 : first.version == 2 ? 2 : 1;
  return static_cast<uint8_t>(0x20 | rate << 2 | 0x02 | (first.channels == 1 ? 0 : 1));
}

bool writeImageMovie(const uint8_t* jpeg, size_t length, MovieWriter& w) {
  if (!jpeg || w.total() != 0) return false;
  JpegImageSize size;
  if (!findJpegImageSize(jpeg, length, size)) return false;
  const int32_t width = static_cast<int32_t>(std::min(size.width, kMaxImagePixels)) * kTwipsPerPixel;
  const int32_t height = static_cast<int32_t>(std::min(size.height, kMaxImagePixels)) * kTwipsPerPixel;
  const RECT frame{0, width, 0, height};
  if (length > MovieWriter::kMaxLength || !w.reserve(length + kImageMovieOverhead)) return false;

  writeBodyHeader(w, frame, 1);

  w.beginTag(code(TagCode::DefineBitsJPEG2), true);
  w.writeU16(1);
  const size_t bitmapData = w.length();
  w.writeBytes(kEmptyTableStream, sizeof kEmptyTableStream);
  w.writeBytes(jpeg, length);
  if (!w.endTag()) return false;
  // The decoder will get exactly these bytes: it must accept their header
  // and see the size the markers gave.
  JpegImageSize decoded;
  if (!checkJpegHeader(w.data() + bitmapData, w.length() - bitmapData, decoded) || decoded.width != size.width ||
      decoded.height != size.height)
    return false;

  w.beginTag(code(TagCode::DefineShape), true);
  w.writeU16(2);
  w.writeRect(frame);
  w.writeU8(1);  // one fill style
  w.writeU8(kClippedBitmapFill);
  w.writeU16(1);
  MATRIX pixelsToTwips;
  pixelsToTwips.a = kTwipsPerPixel * kFixedOne;
  pixelsToTwips.d = kTwipsPerPixel * kFixedOne;
  w.writeMatrix(pixelsToTwips);
  w.writeU8(0);  // no line styles
  writeRectangleRecords(w, width, height);
  if (!w.endTag()) return false;

  w.beginTag(code(TagCode::PlaceObject2), false);
  w.writeU8(kPlaceHasCharacter);
  w.writeU16(1);  // depth
  w.writeU16(2);  // character
  if (!w.endTag()) return false;

  w.writeEmptyTag(code(TagCode::ShowFrame));
  w.writeEmptyTag(code(TagCode::End));
  return w.patchFileLength();
}

bool writeSoundMovie(const uint8_t* data, size_t length, size_t firstFrame, MovieWriter& w) {
  if (!data || firstFrame >= length || w.total() != 0) return false;
  Mp3FrameHeader first;
  if (!Mp3FrameHeader::parse(data + firstFrame, length - firstFrame, first)) return false;
  // The sound lasts as long as its whole frames, walked header by header.
  uint64_t samples = 0;
  size_t at = firstFrame;
  Mp3FrameHeader h;
  while (Mp3FrameHeader::parse(data + at, length - at, h) && static_cast<size_t>(h.frameBytes) <= length - at) {
    samples += static_cast<uint64_t>(h.samples);
    at += static_cast<size_t>(h.frameBytes);
  }
  const size_t soundBytes = length - firstFrame;
  if (soundBytes > MovieWriter::kMaxLength || !w.reserve(soundBytes + kSoundMovieOverhead)) return false;

  writeBodyHeader(w, RECT{0, kTwipsPerPixel, 0, kTwipsPerPixel}, 1);
  w.beginTag(code(TagCode::DefineSound), true);
  w.writeU16(1);
  w.writeU8(mp3SoundFormat(first));
  w.writeU32(static_cast<uint32_t>(std::min<uint64_t>(samples, UINT32_MAX)));
  w.writeU16(0);  // seek samples
  w.writeBytes(data + firstFrame, soundBytes);
  if (!w.endTag()) return false;
  w.writeEmptyTag(code(TagCode::ShowFrame));
  w.writeEmptyTag(code(TagCode::End));
  return w.patchFileLength();
}

// ---- Streaming sound ------------------------------------------------------

bool Mp3StreamMovie::start(const uint8_t* firstFrame, size_t available, int64_t expectedInput,
                           std::vector<uint8_t>& out) {
  if (started_ || finished_ || !Mp3FrameHeader::parse(firstFrame, available, first_)) return false;
  started_ = true;
  // A block holds the whole frames nearest to one 12 fps movie frame of
  // sound (three 1152-sample frames at 44.1 kHz), at least one.
  const int perSecond = kSyntheticFrameRate >> 8;
  framesPerBlock_ = std::max(1, (first_.sampleRate + perSecond * first_.samples / 2) / (perSecond * first_.samples));
  perBlock_ = static_cast<uint16_t>(framesPerBlock_ * first_.samples);
  const size_t shortest = static_cast<size_t>(std::max(1, frameBytesAt(firstFrame, 1, 0)));
  const size_t longest = static_cast<size_t>(std::max(first_.frameBytes, frameBytesAt(firstFrame, 14, 1)));
  group_.reserve(static_cast<size_t>(framesPerBlock_) * longest);

  writeBodyHeader(writer_, RECT{0, 10 * kTwipsPerPixel, 0, 10 * kTwipsPerPixel}, kFrameCount);
  writer_.beginTag(code(TagCode::SoundStreamHead), false);
  const uint8_t format = mp3SoundFormat(first_);
  writer_.writeU8(format);  // playback
  writer_.writeU8(format);  // stream
  writer_.writeU16(perBlock_);
  writer_.writeU16(0);  // latency seek
  (void)writer_.endTag();

  if (expectedInput >= 0) {
    // The most the movie can grow to: all the input in frames of the
    // shortest kind, the last block partly full, the leading zero block of
    // the largest first block, and the closing tags.
    const uint64_t input = std::min<uint64_t>(static_cast<uint64_t>(expectedInput), MovieWriter::kMaxLength);
    const uint64_t blocks = input / shortest / static_cast<uint64_t>(framesPerBlock_) + 1;
    const uint64_t firstBlock = std::min<uint64_t>(input, static_cast<uint64_t>(framesPerBlock_) * longest);
    const uint64_t bound = writer_.total() + kBlockOverhead + firstBlock + blocks * kBlockOverhead + input + kClosingBytes;
    declared_ = static_cast<uint32_t>(std::min<uint64_t>(bound, MovieWriter::kMaxLength));
    expectedInput_ = expectedInput;
  } else {
    declared_ = kUnknownInputLength;
  }
  if (!writer_.patchFileLength(declared_)) return false;
  return writer_.drainTo(out);
}

bool Mp3StreamMovie::frameOfStream(const uint8_t* header4, Mp3FrameHeader& h) const {
  // Frames of another kind would break the stream's format and block size.
  return Mp3FrameHeader::parse(header4, 4, h) && h.version == first_.version && h.layer == first_.layer &&
         h.sampleRate == first_.sampleRate && h.channels == first_.channels;
}

void Mp3StreamMovie::peek(size_t offset, uint8_t* to, size_t count) const {
  size_t from = (ringStart_ + offset) % kRingBytes;
  const size_t head = std::min(count, kRingBytes - from);
  std::memcpy(to, ring_ + from, head);
  if (count > head) std::memcpy(to + head, ring_, count - head);
}

void Mp3StreamMovie::drop(size_t count) {
  ringStart_ = (ringStart_ + count) % kRingBytes;
  ringBytes_ -= count;
}

void Mp3StreamMovie::feed(const uint8_t* data, size_t count, std::vector<uint8_t>& out) {
  if (!started_ || finished_ || truncated_ || failed() || !data) return;
  inputFed_ += count;
  while (count > 0) {
    // Whole frames leave the ring after every take, so it always holds less
    // than a frame and a header and has room for the next take.
    const size_t take = std::min({count, kMaxTake, kRingBytes - ringBytes_});
    if (take == 0) {  // cannot happen (see above); never stall if it did
      drop(1);
      inStep_ = false;
      continue;
    }
    const size_t end = (ringStart_ + ringBytes_) % kRingBytes;
    const size_t head = std::min(take, kRingBytes - end);
    std::memcpy(ring_ + end, data, head);
    std::memcpy(ring_, data + head, take - head);
    ringBytes_ += take;
    data += take;
    count -= take;
    takeFrames(false, out);
    if (truncated_ || failed()) return;
  }
}

void Mp3StreamMovie::takeFrames(bool atEnd, std::vector<uint8_t>& out) {
  while (ringBytes_ >= 4 && !truncated_ && !failed()) {
    uint8_t header[4];
    peek(0, header, sizeof header);
    Mp3FrameHeader h;
    if (!frameOfStream(header, h)) {
      drop(1);
      inStep_ = false;
      continue;
    }
    const size_t bytes = static_cast<size_t>(h.frameBytes);
    if (ringBytes_ < bytes) {
      if (!atEnd) return;  // the rest of the frame is still to come
      drop(1);  // a frame cut off by the end of the data
      inStep_ = false;
      continue;
    }
    if (!inStep_) {
      // After bytes that were not a frame, a header counts only when
      // another follows it (or the data ends with its frame), as in sniffing.
      if (ringBytes_ >= bytes + 4) {
        uint8_t next[4];
        peek(bytes, next, sizeof next);
        Mp3FrameHeader following;
        if (!frameOfStream(next, following)) {
          drop(1);
          continue;
        }
      } else if (!atEnd) {
        return;
      } else if (ringBytes_ != bytes) {
        drop(1);
        continue;
      }
    }
    const size_t at = group_.size();
    group_.resize(at + bytes);
    peek(0, group_.data() + at, bytes);
    drop(bytes);
    inStep_ = true;
    ++groupFrames_;
    groupSamples_ += static_cast<uint32_t>(h.samples);
    if (groupFrames_ >= framesPerBlock_) flushGroup(out);
  }
}

void Mp3StreamMovie::writeBlock(const uint8_t* data, size_t length, uint16_t samples) {
  writer_.beginTag(code(TagCode::SoundStreamBlock), true);
  writer_.writeU16(samples);
  writer_.writeU16(samples);  // seek samples, as the stream's blocks carry them
  writer_.writeBytes(data, length);
  (void)writer_.endTag();
}

void Mp3StreamMovie::flushGroup(std::vector<uint8_t>& out) {
  if (groupFrames_ == 0) return;
  const size_t bytes = group_.size();
  const size_t needed = (wroteBlock_ ? 0 : kBlockOverhead + bytes) + kBlockOverhead + bytes + kClosingBytes;
  if (writer_.total() + needed > declared_) {
    truncated_ = true;  // the header promised less: the sound ends here
  } else {
    if (!wroteBlock_) {
      // The first block is preceded by one of its size holding only zeros
      // (no samples), in a frame of its own.
      writer_.writeEmptyTag(code(TagCode::ShowFrame));
      writer_.beginTag(code(TagCode::SoundStreamBlock), true);
      writer_.writeZeros(4 + bytes);
      (void)writer_.endTag();
      wroteBlock_ = true;
    }
    writer_.writeEmptyTag(code(TagCode::ShowFrame));
    writeBlock(group_.data(), bytes, static_cast<uint16_t>(groupSamples_));
    (void)writer_.drainTo(out);
  }
  group_.clear();
  groupFrames_ = 0;
  groupSamples_ = 0;
}

void Mp3StreamMovie::finish(std::vector<uint8_t>& out) {
  if (!started_ || finished_) return;
  finished_ = true;
  if (failed()) return;
  if (!truncated_) {
    takeFrames(true, out);
    flushGroup(out);
  }
  ringBytes_ = 0;
  // The last block's frame ends here.
  writer_.writeEmptyTag(code(TagCode::ShowFrame));
  writer_.writeEmptyTag(code(TagCode::End));
  // Padding a stream that ended early could cost far more than it carried.
  const bool allCame = expectedInput_ >= 0 && inputFed_ >= static_cast<uint64_t>(expectedInput_);
  if (allCame && writer_.total() < declared_) writer_.writeZeros(declared_ - writer_.total());
  (void)writer_.drainTo(out);
}

}  // namespace kivra
