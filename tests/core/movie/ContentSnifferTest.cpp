// Content sniffing and the movies written around images and sounds: every
// input is made here (JPEGs by libjpeg's compressor from synthetic images,
// MP3 frames as valid headers over empty bodies), fed in random splits, and
// the written movies are read back through the movie intake and tag cursor.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/format/MovieBuffer.h"
#include "core/format/MovieWriter.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "core/movie/ContentSniffer.h"
#include "core/render/bitmap/BitmapImage.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/JpegHeader.h"
#include "core/sound/Mp3FrameHeader.h"
#include "tests/support/JpegMaker.h"

namespace kivra {
namespace {

using Bytes = std::vector<uint8_t>;
using test::makeJpeg;

// ---- Inputs ------------------------------------------------------------------

// `count` frames with header h, bodies of zeros.
Bytes mp3Frames(int count, const uint8_t (&h)[4]) {
  Mp3FrameHeader header;
  EXPECT_TRUE(Mp3FrameHeader::parse(h, 4, header));
  Bytes frames;
  for (int i = 0; i < count; ++i) {
    frames.insert(frames.end(), h, h + 4);
    frames.insert(frames.end(), static_cast<size_t>(header.frameBytes) - 4, 0);
  }
  return frames;
}

constexpr uint8_t kStereo44k[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1 Layer III 128 kbit/s: 417 bytes, 1152 samples
constexpr uint8_t kMono22k[4] = {0xFF, 0xF3, 0x80, 0xC4};    // MPEG-2 64 kbit/s mono: 208 bytes, 576 samples
constexpr uint8_t kMono11k[4] = {0xFF, 0xE3, 0x40, 0xC4};    // MPEG-2.5 32 kbit/s mono, 576 samples

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

// ---- Running a sniffer -------------------------------------------------------

struct SniffRun {
  Bytes beforeFinish;  // what came out while feeding
  Bytes all;           // and after finish
  SniffMode mode = SniffMode::Undecided;
  bool nonMovie = false;
  bool failed = false;
};

// Feeds `data` in random pieces (seed 0: one piece) and finishes.
SniffRun sniff(SniffTarget target, const Bytes& data, unsigned seed, bool announceSize = true,
          size_t maxBuffered = ContentSniffer::kMaxBuffered) {
  ContentSniffer s(target, announceSize ? static_cast<int64_t>(data.size()) : -1, maxBuffered);
  SniffRun r;
  std::mt19937 random(seed);
  size_t at = 0;
  while (at < data.size()) {
    size_t n = data.size() - at;
    if (seed != 0) n = std::min(n, static_cast<size_t>(1 + random() % (random() % 4 == 0 ? 3000 : 40)));
    s.feed(data.data() + at, n, r.all);
    at += n;
  }
  r.beforeFinish = r.all;
  s.finish(r.all);
  r.mode = s.mode();
  r.nonMovie = s.nonMovie();
  r.failed = s.failed();
  return r;
}

// ---- Reading movies back ----------------------------------------------------

struct Tag {
  uint16_t code = 0;
  bool longForm = false;
  Bytes body;
};

struct ReadMovie {
  MovieStatus status = MovieStatus::Good;
  bool complete = false;
  bool corrupt = false;
  int64_t fileLength = -1;
  RECT frame;
  uint16_t rate = 0;
  uint16_t frameCount = 0;
  std::vector<Tag> tags;  // up to and including End
};

ReadMovie readMovie(const Bytes& bytes) {
  MovieBuffer m;
  m.feed(bytes.data(), bytes.size());
  ReadMovie r;
  r.status = m.status();
  if (m.failed() || !m.headerParsed()) return r;
  r.complete = m.complete();
  r.corrupt = m.corrupt();
  r.fileLength = m.fileLength();
  r.frame = m.frameRect();
  r.rate = m.frameRate();
  r.frameCount = m.frameCount();
  TagCursor c(m.data(), m.received(), m.version());
  c.setSizeLimit(m.fileLength());
  c.setPosition(m.firstTagPosition());
  TagHeader h;
  while (c.readTagHeader(h) == TagRead::Tag) {
    Tag t;
    t.code = h.code;
    t.longForm = h.longForm;
    t.body.assign(m.data() + h.bodyStart, m.data() + h.end);
    r.tags.push_back(std::move(t));
    if (h.code == 0) break;
    c.setPosition(h.end);
  }
  return r;
}

std::vector<uint16_t> codes(const ReadMovie& m) {
  std::vector<uint16_t> out;
  for (const Tag& t : m.tags) out.push_back(t.code);
  return out;
}

uint16_t u16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t u32(const Bytes& b, size_t at) { return u16(b, at) | static_cast<uint32_t>(u16(b, at + 2)) << 16; }

// The image shape's body, checked record by record: one clipped bitmap fill
// at 20 twips a pixel, and a closed rectangle of the frame's size in it.
void expectImageShape(const Bytes& body, const RECT& frame) {
  TagCursor c(body.data(), static_cast<int64_t>(body.size()));
  EXPECT_EQ(c.readU16(), 2);
  EXPECT_EQ(c.readRect(), frame);
  EXPECT_EQ(c.readU8(), 1);  // fills
  EXPECT_EQ(c.readU8(), 0x41);
  EXPECT_EQ(c.readU16(), 1);
  MATRIX m;
  m.a = m.d = 20 * kFixedOne;
  EXPECT_EQ(c.readMatrix(), m);
  EXPECT_EQ(c.readU8(), 0);  // lines
  const unsigned fillBits = c.readUB(4), lineBits = c.readUB(4);
  EXPECT_EQ(fillBits, 1u);
  EXPECT_EQ(lineBits, 0u);
  int32_t x = 0, y = 0, fill = -1;
  std::vector<std::pair<int32_t, int32_t>> points;
  for (int guard = 0; guard < 16; ++guard) {
    if (c.readBit()) {
      ASSERT_TRUE(c.readBit()) << "only straight edges";
      const unsigned n = c.readUB(4) + 2;
      if (c.readBit()) {
        x += c.readSB(n);
        y += c.readSB(n);
      } else if (c.readBit()) {
        y += c.readSB(n);
      } else {
        x += c.readSB(n);
      }
      points.emplace_back(x, y);
      continue;
    }
    const unsigned flags = c.readUB(5);
    if (flags == 0) break;
    EXPECT_EQ(flags & 0x18u, 0u);
    if (flags & 0x01) {
      const unsigned n = c.readUB(5);
      x = c.readSB(n);
      y = c.readSB(n);
      points.emplace_back(x, y);
    }
    if (flags & 0x02) {
      EXPECT_EQ(c.readUB(fillBits), 0u);
    }
    if (flags & 0x04) fill = static_cast<int32_t>(c.readUB(fillBits));
  }
  EXPECT_FALSE(c.overrun());
  EXPECT_EQ(c.remaining(), 0) << "the records fill the tag";
  EXPECT_EQ(fill, 1);
  const std::vector<std::pair<int32_t, int32_t>> rectangle = {
      {0, 0}, {frame.xmax, 0}, {frame.xmax, frame.ymax}, {0, frame.ymax}, {0, 0}};
  EXPECT_EQ(points, rectangle);
}

// ---- The image movie ----------------------------------------------------------

TEST(ContentSniffer, JpegBecomesAOneFrameMovieShowingTheImage) {
  const Bytes jpeg = makeJpeg(61, 37, 3);
  Bytes first;
  for (unsigned seed = 0; seed < 8; ++seed) {
    const SniffRun r = sniff(SniffTarget::Movie, jpeg, seed, seed % 2 == 0);
    EXPECT_EQ(r.mode, SniffMode::Jpeg);
    EXPECT_TRUE(r.nonMovie);
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(r.beforeFinish.empty()) << "the image movie is written at the end";
    if (seed == 0) first = r.all;
    EXPECT_EQ(r.all, first) << "seed " << seed;
  }

  const ReadMovie m = readMovie(first);
  ASSERT_EQ(m.status, MovieStatus::Good);
  EXPECT_TRUE(m.complete);
  EXPECT_FALSE(m.corrupt);
  EXPECT_EQ(m.fileLength, static_cast<int64_t>(first.size()));
  EXPECT_EQ(first[3], 6);
  const RECT frame{0, 61 * 20, 0, 37 * 20};
  EXPECT_EQ(m.frame, frame);
  EXPECT_EQ(m.rate, 0x0C00);
  EXPECT_EQ(m.frameCount, 1);
  ASSERT_EQ(codes(m), (std::vector<uint16_t>{21, 2, 26, 1, 0}));
  EXPECT_TRUE(m.tags[0].longForm);
  EXPECT_TRUE(m.tags[1].longForm);

  const Bytes& bits = m.tags[0].body;
  EXPECT_EQ(u16(bits, 0), 1);
  // An empty table stream, then the file as it came.
  EXPECT_EQ(Bytes(bits.begin() + 2, bits.begin() + 6), (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));
  EXPECT_EQ(Bytes(bits.begin() + 6, bits.end()), jpeg);
  BitmapImage image;
  ASSERT_TRUE(decodeJpegBitmap(bits.data() + 2, bits.size() - 2, image)) << "the player's decoder reads the tag";
  EXPECT_EQ(image.width(), 61u);
  EXPECT_EQ(image.height(), 37u);

  expectImageShape(m.tags[1].body, frame);
  EXPECT_EQ(m.tags[2].body, (Bytes{0x02, 1, 0, 2, 0}));  // character 2 at depth 1
  EXPECT_TRUE(m.tags[3].body.empty());
}

TEST(ContentSniffer, LargeImageIsShownCutTo2880PixelsEachWay) {
  const Bytes jpeg = makeJpeg(4000, 3000, 1);
  const SniffRun r = sniff(SniffTarget::Movie, jpeg, 3);
  ASSERT_EQ(r.mode, SniffMode::Jpeg);
  const ReadMovie m = readMovie(r.all);
  ASSERT_EQ(m.status, MovieStatus::Good);
  const RECT frame{0, 57600, 0, 57600};
  EXPECT_EQ(m.frame, frame);
  ASSERT_EQ(codes(m), (std::vector<uint16_t>{21, 2, 26, 1, 0}));
  expectImageShape(m.tags[1].body, frame);
  // The bitmap itself keeps its size; the frame shows its top-left part.
  JpegImageSize size;
  ASSERT_TRUE(checkJpegHeader(m.tags[0].body.data() + 2, m.tags[0].body.size() - 2, size));
  EXPECT_EQ(size.width, 4000u);
  EXPECT_EQ(size.height, 3000u);
}

TEST(ContentSniffer, ImageWhoseHeaderCannotBeReadIsDropped) {
  const Bytes jpeg = makeJpeg(16, 16, 1);
  Bytes noFrame(jpeg.begin(), jpeg.begin() + 20);  // cut before the frame marker
  Bytes garbage = {0xFF, 0xD8};
  garbage.insert(garbage.end(), 500, 0x5A);
  // A frame the decoder would not allocate: 65535 x 65535 pixels.
  Bytes huge = jpeg;
  JpegImageSize size;
  ASSERT_TRUE(findJpegImageSize(huge.data(), huge.size(), size));
  for (size_t i = 2; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
      break;
    }
  ASSERT_TRUE(findJpegImageSize(huge.data(), huge.size(), size));
  ASSERT_EQ(size.width, 65535u);
  Bytes noHeight = huge;  // a zero height (to be given by a later marker) is refused too
  for (size_t i = 2; i + 8 < noHeight.size(); ++i)
    if (noHeight[i] == 0xFF && noHeight[i + 1] == 0xC0) {
      noHeight[i + 5] = noHeight[i + 6] = 0;
      break;
    }
  for (const Bytes& bad : {noFrame, garbage, huge, noHeight}) {
    const SniffRun r = sniff(SniffTarget::Movie, bad, 5);
    EXPECT_EQ(r.mode, SniffMode::Jpeg);
    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.all.empty());
  }
}

// ---- Movies, variables and unknown data ------------------------------------

TEST(ContentSniffer, MoviesAndVariablesPassThroughAsTheyCome) {
  MovieWriter w;
  w.writeFileHeader(6);
  w.writeRect(RECT{0, 2000, 0, 1000});
  w.writeU16(0x0C00);
  w.writeU16(1);
  w.writeEmptyTag(1);
  w.writeEmptyTag(0);
  ASSERT_TRUE(w.patchFileLength());
  const Bytes movie(w.data(), w.data() + w.length());
  Bytes zipped = movie;
  zipped[0] = 'Z';
  Bytes lower = movie;
  lower[0] = 'x', lower[1] = 'v', lower[2] = 'q';
  const Bytes xml = text("<?xml version=\"1.0\"?><a/>");

  for (const Bytes& data : {movie, zipped, lower, xml}) {
    for (unsigned seed = 0; seed < 4; ++seed) {
      ContentSniffer s(SniffTarget::Movie, -1);
      Bytes out;
      // The first piece decides when it holds the magic; with a shorter one
      // the bytes wait until the magic is complete.
      const size_t firstPiece = seed == 0 ? data.size() : seed;
      s.feed(data.data(), firstPiece, out);
      if (firstPiece >= 3) {
        EXPECT_EQ(out.size(), firstPiece);
      }
      s.feed(data.data() + firstPiece, data.size() - firstPiece, out);
      EXPECT_EQ(s.mode(), SniffMode::PassThrough);
      EXPECT_FALSE(s.nonMovie());
      EXPECT_EQ(out, data);
      s.finish(out);
      EXPECT_EQ(out, data) << "nothing more at the end";
    }
  }
  EXPECT_EQ(readMovie(movie).status, MovieStatus::Good);
  EXPECT_TRUE(readMovie(movie).complete);
  // The intake compares exact bytes: the lower-case magic reaches it and is refused there.
  EXPECT_EQ(readMovie(lower).status, MovieStatus::BadHeader);

  // Variables pass whatever they look like.
  const Bytes vars = text("a=1&b=GIF89a");
  EXPECT_EQ(sniff(SniffTarget::Variables, vars, 2).all, vars);
  EXPECT_EQ(sniff(SniffTarget::Variables, vars, 2).mode, SniffMode::PassThrough);
  // A sound target takes no movie.
  for (SniffTarget sound : {SniffTarget::EventSound, SniffTarget::StreamingSound}) {
    const SniffRun r = sniff(sound, movie, 1);
    EXPECT_EQ(r.mode, SniffMode::PassThrough);
    EXPECT_TRUE(r.all.empty());
  }
}

TEST(ContentSniffer, UnknownDataReachesAMovieTargetOnlyAtTheEnd) {
  Bytes gif = text("GIF89a");
  gif.insert(gif.end(), 300, 0x11);
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  png.insert(png.end(), 300, 0x22);
  const Bytes mp3 = mp3Frames(4, kStereo44k);  // MP3 is only looked for in sounds
  for (const Bytes& data : {gif, png, mp3}) {
    const SniffRun r = sniff(SniffTarget::Movie, data, 7);
    EXPECT_EQ(r.mode, SniffMode::Undecided);
    EXPECT_FALSE(r.nonMovie);
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(r.beforeFinish.empty());
    EXPECT_EQ(r.all, data);
    EXPECT_EQ(readMovie(r.all).status, MovieStatus::BadHeader) << "the level stays empty";
    // Into a sound they go nowhere.
    if (data != mp3) {
      EXPECT_TRUE(sniff(SniffTarget::EventSound, data, 7).all.empty());
    }
  }
}

TEST(ContentSniffer, BufferedDataPastTheCapIsDropped) {
  Bytes gif = text("GIF89a");
  gif.insert(gif.end(), 1500, 0x11);
  Bytes fakeJpeg = {0xFF, 0xD8};
  fakeJpeg.insert(fakeJpeg.end(), 1500, 0x11);
  for (const Bytes& data : {gif, fakeJpeg}) {
    const SniffRun r = sniff(SniffTarget::Movie, data, 4, false, 1000);
    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.all.empty());
  }
  // A streaming sound is not held whole, so the cap does not limit it.
  const Bytes mp3 = mp3Frames(30, kStereo44k);
  const SniffRun r = sniff(SniffTarget::StreamingSound, mp3, 4, true, 1000);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.mode, SniffMode::Mp3Stream);
  EXPECT_TRUE(readMovie(r.all).complete);
}

// ---- Sounds ----------------------------------------------------------------------

TEST(ContentSniffer, Mp3BecomesAnEventSoundMovie) {
  struct Case {
    const uint8_t (*header)[4];
    int frames;
    uint8_t format;
    uint32_t samplesPerFrame;
  };
  const Case cases[] = {{&kStereo44k, 10, 0x2F, 1152}, {&kMono22k, 7, 0x2A, 576}, {&kMono11k, 3, 0x26, 576}};
  Bytes junk = text("ID3junk");
  junk.insert(junk.end(), {0xFF, 0xFB, 0x90, 0x64, 0x00, 0xFF});  // a header with no second one after it
  Bytes id3v1 = text("TAG");
  id3v1.resize(128, 'x');
  for (const Case& c : cases) {
    const Bytes frames = mp3Frames(c.frames, *c.header);
    const Bytes file = cat({junk, frames, id3v1});
    Bytes first;
    for (unsigned seed = 0; seed < 5; ++seed) {
      const SniffRun r = sniff(SniffTarget::EventSound, file, seed, seed != 3);
      EXPECT_EQ(r.mode, SniffMode::Mp3Event);
      EXPECT_TRUE(r.nonMovie);
      EXPECT_TRUE(r.beforeFinish.empty());
      if (seed == 0) first = r.all;
      EXPECT_EQ(r.all, first);
    }
    const ReadMovie m = readMovie(first);
    ASSERT_EQ(m.status, MovieStatus::Good);
    EXPECT_TRUE(m.complete);
    EXPECT_EQ(m.frame, (RECT{0, 20, 0, 20}));
    EXPECT_EQ(m.rate, 0x0C00);
    EXPECT_EQ(m.frameCount, 1);
    ASSERT_EQ(codes(m), (std::vector<uint16_t>{14, 1, 0}));
    ASSERT_TRUE(m.tags[0].longForm);
    const Bytes& body = m.tags[0].body;
    EXPECT_EQ(u16(body, 0), 1);
    EXPECT_EQ(body[2], c.format);
    EXPECT_EQ(u32(body, 3), c.samplesPerFrame * static_cast<uint32_t>(c.frames));
    EXPECT_EQ(u16(body, 7), 0);
    // From the first frame to the very end, the closing tag data included.
    EXPECT_EQ(Bytes(body.begin() + 9, body.end()), cat({frames, id3v1}));
  }

  // One frame that ends the data is a sound, known only at the end.
  const Bytes one = mp3Frames(1, kStereo44k);
  ContentSniffer s(SniffTarget::EventSound, -1);
  Bytes out;
  s.feed(one.data(), one.size(), out);
  EXPECT_EQ(s.mode(), SniffMode::Undecided);
  s.finish(out);
  EXPECT_EQ(s.mode(), SniffMode::Mp3Event);
  EXPECT_EQ(u32(readMovie(out).tags.at(0).body, 3), 1152u);
}

TEST(ContentSniffer, SoundTargetsTakeOnlyMp3FramePairs) {
  const Bytes frames = mp3Frames(5, kStereo44k);
  // A wave file is not MP3 even when it holds MPEG frames.
  const Bytes riff = cat({text("RIFF"), Bytes{0x10, 0, 0, 0}, text("WAVEfmt "), frames});
  // Headers that are valid alone but never a frame apart.
  Bytes lonely;
  for (int i = 0; i < 300; ++i) lonely.insert(lonely.end(), {0xFF, 0xFB, 0x90, 0x64, 0x00});
  for (const Bytes& data : {riff, lonely}) {
    for (SniffTarget target : {SniffTarget::EventSound, SniffTarget::StreamingSound}) {
      const SniffRun r = sniff(target, data, 9);
      EXPECT_EQ(r.mode, SniffMode::Undecided);
      EXPECT_FALSE(r.nonMovie);
      EXPECT_TRUE(r.all.empty());
    }
  }
}

TEST(ContentSniffer, Mp3BecomesAStreamingMovieWhileItArrives) {
  const int kFrames = 20;
  const Bytes frames = mp3Frames(kFrames, kStereo44k);
  // Junk before and between the frames is left out of the blocks.
  Bytes junk = {0x00, 0xFF, 0xFB, 0x90, 0x64, 0x12, 0xFF};
  const Bytes file = cat({junk, Bytes(frames.begin(), frames.begin() + 417 * 8), junk,
                          Bytes(frames.begin() + 417 * 8, frames.end()), Bytes{0xFF, 0xFB}});

  Bytes knownSize;
  for (unsigned seed = 0; seed < 6; ++seed) {
    ContentSniffer s(SniffTarget::StreamingSound, static_cast<int64_t>(file.size()));
    MovieBuffer intake;
    std::mt19937 random(seed);
    Bytes out;
    size_t fed = 0, at = 0;
    int framesBeforeEnd = -1;
    while (at < file.size()) {
      const size_t n = std::min<size_t>(file.size() - at, seed == 0 ? file.size() : 1 + random() % 700);
      s.feed(file.data() + at, n, out);
      at += n;
      intake.feed(out.data() + fed, out.size() - fed);
      fed = out.size();
      framesBeforeEnd = intake.framesLoaded();
    }
    EXPECT_EQ(s.mode(), SniffMode::Mp3Stream);
    EXPECT_TRUE(s.nonMovie());
    if (seed != 0) {
      EXPECT_GT(framesBeforeEnd, 3) << "frames play while the data arrives";
    }
    s.finish(out);
    intake.feed(out.data() + fed, out.size() - fed);
    EXPECT_FALSE(s.failed());
    EXPECT_FALSE(s.truncated());
    EXPECT_EQ(intake.status(), MovieStatus::Good);
    EXPECT_FALSE(intake.corrupt());
    EXPECT_TRUE(intake.complete()) << "the movie is padded to its declared length";
    if (seed == 0) knownSize = out;
    EXPECT_EQ(out, knownSize) << "seed " << seed;
  }

  const ReadMovie m = readMovie(knownSize);
  ASSERT_EQ(m.status, MovieStatus::Good);
  EXPECT_EQ(m.frame, (RECT{0, 200, 0, 200}));
  EXPECT_EQ(m.rate, 0x0C00);
  EXPECT_EQ(m.frameCount, 1000);
  ASSERT_GE(m.tags.size(), 4u);
  EXPECT_EQ(m.tags[0].code, 18);
  EXPECT_EQ(m.tags[0].body, (Bytes{0x2F, 0x2F, 0x80, 0x0D, 0, 0}));  // 3 x 1152 = 3456 samples a block
  // Head, then a frame per block: the first is all zeros, the size of the next.
  EXPECT_EQ(m.tags[1].code, 1);
  EXPECT_EQ(m.tags[2].code, 19);
  EXPECT_EQ(m.tags[2].body, Bytes(4 + 3 * 417, 0));
  Bytes sound;
  uint32_t samples = 0;
  std::vector<uint16_t> perBlock;
  size_t i = 3;
  for (; i + 1 < m.tags.size() && m.tags[i].code == 1 && m.tags[i + 1].code == 19; i += 2) {
    const Bytes& b = m.tags[i + 1].body;
    EXPECT_TRUE(m.tags[i + 1].longForm);
    EXPECT_EQ(u16(b, 0), u16(b, 2)) << "seek samples repeat the count";
    perBlock.push_back(u16(b, 0));
    samples += u16(b, 0);
    sound.insert(sound.end(), b.begin() + 4, b.end());
  }
  EXPECT_EQ(perBlock, (std::vector<uint16_t>{3456, 3456, 3456, 3456, 3456, 3456, 2304}));
  EXPECT_EQ(samples, 1152u * kFrames);
  EXPECT_EQ(sound, frames);
  ASSERT_EQ(m.tags.size(), i + 2);
  EXPECT_EQ(m.tags[i].code, 1);  // the last block's frame
  EXPECT_EQ(m.tags[i + 1].code, 0);

  // Without a size the movie declares a large length it never reaches; the
  // tags are the same.
  const SniffRun unknown = sniff(SniffTarget::StreamingSound, file, 2, false);
  EXPECT_EQ(unknown.mode, SniffMode::Mp3Stream);
  const ReadMovie u = readMovie(unknown.all);
  ASSERT_EQ(u.status, MovieStatus::Good);
  EXPECT_FALSE(u.complete);
  EXPECT_EQ(u.fileLength, int64_t{64} << 20);
  ASSERT_EQ(u.tags.size(), m.tags.size());
  for (size_t k = 0; k < u.tags.size(); ++k) EXPECT_EQ(u.tags[k].body, m.tags[k].body);
}

TEST(ContentSniffer, StreamingMovieStopsAtItsDeclaredLength) {
  // A stream that sends more than it announced: the movie keeps to the
  // length in its header and ends where the room ends.
  const Bytes frames = mp3Frames(200, kStereo44k);
  ContentSniffer s(SniffTarget::StreamingSound, 2000);
  Bytes out;
  s.feed(frames.data(), 900, out);
  EXPECT_EQ(s.mode(), SniffMode::Mp3Stream);
  s.feed(frames.data() + 900, frames.size() - 900, out);
  s.finish(out);
  EXPECT_TRUE(s.truncated());
  EXPECT_FALSE(s.failed());
  const ReadMovie m = readMovie(out);
  ASSERT_EQ(m.status, MovieStatus::Good);
  EXPECT_TRUE(m.complete);
  EXPECT_EQ(out.size(), static_cast<size_t>(m.fileLength));
  EXPECT_EQ(m.tags.back().code, 0);

  // A stream that stops short of what it announced is not padded: its movie
  // ends with End and stays incomplete, as with an unknown size.
  const Bytes some(frames.begin(), frames.begin() + 417 * 10);
  ContentSniffer cut(SniffTarget::StreamingSound, static_cast<int64_t>(frames.size()));
  Bytes cutOut;
  cut.feed(some.data(), some.size(), cutOut);
  cut.finish(cutOut);
  const ReadMovie c = readMovie(cutOut);
  ASSERT_EQ(c.status, MovieStatus::Good);
  EXPECT_FALSE(c.complete);
  EXPECT_GT(c.fileLength, static_cast<int64_t>(frames.size()));
  EXPECT_EQ(codes(c), (std::vector<uint16_t>{18, 1, 19, 1, 19, 1, 19, 1, 19, 1, 19, 1, 0}));
}

// ---- Robustness --------------------------------------------------------------

TEST(ContentSniffer, FramePairSearchStaysLinearOnHostileData) {
  // Every fourth byte starts a valid header, and none is a frame apart
  // from another; fed a byte at a time, a search restarting from the
  // beginning would take hours.
  Bytes hostile;
  while (hostile.size() < (size_t{1} << 20)) hostile.insert(hostile.end(), {0xFF, 0xFB, 0x90, 0x64});
  ContentSniffer s(SniffTarget::EventSound, -1);
  Bytes out;
  for (uint8_t b : hostile) s.feed(&b, 1, out);
  s.finish(out);
  EXPECT_EQ(s.mode(), SniffMode::Undecided);
  EXPECT_TRUE(out.empty());
}

TEST(ContentSniffer, GarbageNeverBreaksTheSnifferOrTheMoviesItWrites) {
  const Bytes jpeg = makeJpeg(9, 5, 1);
  const Bytes frames = mp3Frames(6, kMono22k);
  std::mt19937 random(1234);
  for (int round = 0; round < 600; ++round) {
    // Random bytes rich in sync bytes, sometimes over a real start.
    Bytes data;
    const int start = round % 4;
    if (start == 1) data = Bytes(jpeg.begin(), jpeg.begin() + random() % jpeg.size());
    if (start == 2) data = Bytes(frames.begin(), frames.begin() + random() % frames.size());
    const size_t extra = random() % 3000;
    for (size_t i = 0; i < extra; ++i) {
      const uint32_t v = random();
      data.push_back(v % 5 == 0 ? 0xFF : v % 7 == 0 ? kMono22k[1 + v % 3] : static_cast<uint8_t>(v >> 8));
    }
    if (start == 3 && !data.empty()) data[random() % data.size()] ^= 0x40;
    const SniffTarget target = static_cast<SniffTarget>(round / 4 % 4);
    const SniffRun r = sniff(target, data, static_cast<unsigned>(round + 1), round % 3 != 0);
    const SniffRun whole = sniff(target, data, 0, round % 3 != 0);
    EXPECT_EQ(r.all, whole.all) << "round " << round;
    if (r.nonMovie && !r.failed) {
      const ReadMovie m = readMovie(r.all);
      EXPECT_EQ(m.status, MovieStatus::Good);
      EXPECT_FALSE(m.corrupt);
      ASSERT_FALSE(m.tags.empty());
      EXPECT_EQ(m.tags.back().code, 0);
    }
  }
}

// ---- The writer ----------------------------------------------------------------

TEST(MovieWriter, RecordsAndTagHeadersReadBack) {
  MovieWriter w;
  w.writeFileHeader(6);
  const RECT rects[] = {{0, 0, 0, 0}, {-1, 1, -20, 20}, {-57600, 57600, 0, 1}, {-(1 << 30), (1 << 30) - 1, 0, 0}};
  for (const RECT& r : rects) w.writeRect(r);
  MATRIX m;
  m.a = -3 * kFixedOne / 2;
  m.d = 5;
  m.b = 7;
  m.c = -0x7FFF;
  m.tx = -1;
  m.ty = 123456;
  w.writeMatrix(m);
  w.writeMatrix(MATRIX{});
  w.beginTag(12, false);
  w.writeZeros(62);  // the longest short tag
  ASSERT_TRUE(w.endTag());
  w.beginTag(21, true);
  w.writeU8(9);  // the long form may hold a short body
  ASSERT_TRUE(w.endTag());
  w.beginTag(2, true);
  for (int i = 0; i < 70000; ++i) w.writeU8(static_cast<uint8_t>(i * 7));  // grows past 64 KiB
  ASSERT_TRUE(w.endTag());
  w.writeEmptyTag(0);
  ASSERT_TRUE(w.patchFileLength());
  ASSERT_TRUE(w.ok());

  TagCursor c(w.data(), static_cast<int64_t>(w.length()));
  c.setPosition(4);
  EXPECT_EQ(c.readU32(), w.length());
  for (const RECT& r : rects) EXPECT_EQ(c.readRect(), r);
  EXPECT_EQ(c.readMatrix(), m);
  EXPECT_EQ(c.readMatrix(), MATRIX{});
  TagHeader h;
  const std::vector<std::pair<uint16_t, uint32_t>> expected = {{12, 62}, {21, 1}, {2, 70000}, {0, 0}};
  for (const auto& [code, length] : expected) {
    ASSERT_EQ(c.readTagHeader(h), TagRead::Tag);
    EXPECT_EQ(h.code, code);
    EXPECT_EQ(h.length, length);
    EXPECT_EQ(h.longForm, code == 21 || code == 2);
    if (code == 2) {
      EXPECT_EQ(w.data()[h.bodyStart + 69999], static_cast<uint8_t>(69999 * 7));
    }
    c.setPosition(h.end);
  }
  EXPECT_EQ(c.position(), static_cast<int64_t>(w.length()));
  EXPECT_FALSE(c.overrun());

  // Bits are packed most significant first and padded at a byte write.
  MovieWriter bits;
  bits.writeBits(0x5, 3);
  bits.writeSignedBits(-2, 3);
  bits.writeU8(0xAB);
  bits.writeBits(1, 1);
  bits.flushBits();
  ASSERT_EQ(bits.length(), 3u);
  EXPECT_EQ(bits.data()[0], 0xB8);  // 101 110 00
  EXPECT_EQ(bits.data()[1], 0xAB);
  EXPECT_EQ(bits.data()[2], 0x80);
  EXPECT_EQ(MovieWriter::signedBits(0), 0u);
  EXPECT_EQ(MovieWriter::signedBits(-1), 1u);
  EXPECT_EQ(MovieWriter::signedBits(1), 2u);
  EXPECT_EQ(MovieWriter::signedBits(57600), 17u);
  EXPECT_EQ(MovieWriter::signedBits(INT32_MIN), 32u);
}

TEST(MovieWriter, RefusesWhatWouldBreakTheMovie) {
  {
    MovieWriter w;
    w.beginTag(12, false);
    w.writeZeros(63);
    EXPECT_FALSE(w.endTag()) << "a short tag cannot say 63";
    EXPECT_FALSE(w.ok());
    w.writeU8(1);
    EXPECT_EQ(w.length(), 65u) << "nothing is written once failed";
  }
  {
    MovieWriter w;
    w.writeZeros(MovieWriter::kMaxLength + 1);
    EXPECT_FALSE(w.ok()) << "past the intake's limit";
    EXPECT_EQ(w.length(), 0u);
  }
  {
    MovieWriter w;
    EXPECT_FALSE(w.reserve(MovieWriter::kMaxLength + 1));
  }
  {
    MovieWriter w;
    w.writeRect(RECT{INT32_MIN, 0, 0, 0});  // needs 32 bits; the count has 5
    EXPECT_FALSE(w.ok());
  }
  {
    MovieWriter w;
    w.beginTag(1, false);
    w.beginTag(1, false);  // tags do not nest
    EXPECT_FALSE(w.ok());
  }
  {
    MovieWriter w;
    w.beginTag(1024, false);  // the code has 10 bits
    EXPECT_FALSE(w.ok());
  }
  {
    MovieWriter w;
    EXPECT_FALSE(w.endTag());
    EXPECT_FALSE(w.ok());
  }
  {
    MovieWriter w;
    Bytes out;
    w.writeFileHeader(6);
    w.beginTag(1, false);
    EXPECT_FALSE(w.drainTo(out)) << "not while a tag is open";
  }
  {
    MovieWriter w;
    Bytes out;
    w.writeFileHeader(6);
    ASSERT_TRUE(w.drainTo(out));
    EXPECT_EQ(out.size(), 8u);
    EXPECT_EQ(w.total(), 8u);
    EXPECT_FALSE(w.patchFileLength()) << "the header has gone";
  }
}

}  // namespace
}  // namespace kivra
