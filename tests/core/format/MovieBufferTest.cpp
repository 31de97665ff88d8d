#include "core/format/MovieBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/MovieBytes.h"

namespace kivra {
namespace {

using test::Bytes;
using test::MovieSpec;

Bytes threeFrames(bool compressed) {
  MovieSpec spec;
  spec.compressed = compressed;
  spec.frameCount = 3;
  return test::movie(spec, {test::backgroundTag(10, 20, 30), test::showFrame(),
                            test::tag(43, {'a', 0}), test::showFrame(),
                            test::tag(12, Bytes(80, 0)), test::showFrame(), test::endTag()});
}

struct Snapshot {
  MovieStatus status;
  int64_t received;
  int framesLoaded;
  bool headerParsed;
  RECT rect;
  Bytes data;
};

Snapshot load(const Bytes& file, const std::vector<size_t>& cuts) {
  MovieBuffer m;
  size_t from = 0;
  for (size_t cut : cuts) {
    m.feed(file.data() + from, cut - from);
    from = cut;
  }
  m.feed(file.data() + from, file.size() - from);
  Snapshot s{m.status(), m.received(), m.framesLoaded(), m.headerParsed(), m.frameRect(), {}};
  if (m.data()) s.data.assign(m.data(), m.data() + m.received());
  return s;
}

TEST(MovieIntake, SplitAtEveryByteGivesTheSameMovie) {
  for (bool compressed : {false, true}) {
    const Bytes file = threeFrames(compressed);
    const Snapshot whole = load(file, {});
    ASSERT_EQ(whole.status, MovieStatus::Good);
    EXPECT_EQ(whole.framesLoaded, MovieBuffer::kAllFramesLoaded);
    for (size_t cut = 1; cut < file.size(); ++cut) {
      const Snapshot split = load(file, {cut});
      EXPECT_EQ(split.data, whole.data) << "cut at " << cut;
      EXPECT_EQ(split.framesLoaded, whole.framesLoaded) << "cut at " << cut;
    }
  }
}

TEST(MovieIntake, ByteByByteCountsFramesAsTheyArrive) {
  const Bytes file = threeFrames(false);
  MovieBuffer m;
  int framesSeen = 0;
  int lastLoaded = -1;
  for (size_t i = 0; i < file.size(); ++i) {
    const IntakeReport r = m.feed(&file[i], 1);
    framesSeen += r.framesAdded;
    if (i + 1 < file.size()) {
      EXPECT_GE(m.framesLoaded(), lastLoaded);
      EXPECT_LE(m.framesLoaded(), 2);
      lastLoaded = m.framesLoaded();
    } else {
      EXPECT_TRUE(r.complete);
    }
  }
  EXPECT_EQ(framesSeen, 3);
  EXPECT_EQ(m.framesLoaded(), MovieBuffer::kAllFramesLoaded);
}

TEST(MovieIntake, CompressedAndUncompressedLoadTheSameBytes) {
  const Snapshot plain = load(threeFrames(false), {});
  const Snapshot zipped = load(threeFrames(true), {});
  EXPECT_EQ(plain.data, zipped.data);
  ASSERT_FALSE(zipped.data.empty());
  EXPECT_EQ(zipped.data[0], 'X');  // inflated movies read as uncompressed
}

TEST(MovieIntake, HeaderFields) {
  MovieSpec spec;
  spec.version = 5;
  spec.xmin = -40;
  spec.xmax = 20000;
  spec.ymin = 0;
  spec.ymax = 6000;
  spec.rate = 0x1E80;
  spec.frameCount = 7;
  const Bytes file = test::movie(spec, {test::endTag()});
  MovieBuffer m;
  m.feed(file.data(), file.size());
  ASSERT_TRUE(m.headerParsed());
  EXPECT_EQ(m.version(), 5);
  EXPECT_EQ(m.frameRect(), (RECT{-40, 20000, 0, 6000}));
  EXPECT_EQ(m.frameRate(), 0x1E80);
  EXPECT_EQ(m.frameCount(), 7);
  EXPECT_EQ(m.fileLength(), static_cast<int64_t>(file.size()));
  EXPECT_TRUE(m.complete());
}

TEST(MovieIntake, HeaderSplitThreePlusFive) {
  const Bytes file = threeFrames(false);
  MovieBuffer m;
  m.feed(file.data(), 3);
  EXPECT_EQ(m.fileLength(), -1);
  m.feed(file.data() + 3, 5);
  EXPECT_EQ(m.fileLength(), static_cast<int64_t>(file.size()));
  EXPECT_FALSE(m.headerParsed());
  m.feed(file.data() + 8, file.size() - 8);
  EXPECT_TRUE(m.headerParsed());
}

TEST(MovieIntake, BodyHeaderWaitsForTheWholeRectangle) {
  MovieSpec spec;
  spec.xmin = -1000000;
  spec.xmax = 1000000;  // 21-bit fields: the rectangle takes 12 bytes
  const Bytes file = test::movie(spec, {test::showFrame(), test::endTag()});
  MovieBuffer m;
  m.feed(file.data(), 23);  // more than 20 bytes, but the frame count is missing
  EXPECT_FALSE(m.headerParsed());
  m.feed(file.data() + 23, 1);
  EXPECT_TRUE(m.headerParsed());
  EXPECT_EQ(m.frameRect().xmin, -1000000);
  EXPECT_EQ(m.firstTagPosition(), 24);
}

TEST(MovieIntake, TinyCompleteMovieStillParses) {
  MovieSpec spec;
  spec.xmin = spec.xmax = spec.ymin = spec.ymax = 0;
  const Bytes file = test::movie(spec, {test::showFrame()});
  ASSERT_LT(file.size(), 21u);
  MovieBuffer m;
  m.feed(file.data(), file.size());
  EXPECT_TRUE(m.headerParsed());
  EXPECT_EQ(m.framesLoaded(), MovieBuffer::kAllFramesLoaded);
}

TEST(MovieIntake, BadHeaders) {
  Bytes file = threeFrames(false);
  file[0] = 'Q';
  EXPECT_EQ(load(file, {}).status, MovieStatus::BadHeader);

  Bytes shortLength = threeFrames(false);
  shortLength[4] = 7;
  shortLength[5] = shortLength[6] = shortLength[7] = 0;
  EXPECT_EQ(load(shortLength, {}).status, MovieStatus::BadHeader);

  // A file length too small to hold the body header can never play.
  Bytes stub = {'X', 'V', 'Q', 6, 10, 0, 0, 0, 0x50, 0};
  EXPECT_EQ(load(stub, {}).status, MovieStatus::BadHeader);

  Bytes huge = threeFrames(false);
  huge[7] = 0x7F;
  EXPECT_EQ(load(huge, {}).status, MovieStatus::OutOfMemory);
}

TEST(MovieIntake, FailedMovieAcceptsNothingMore) {
  MovieBuffer m;
  const Bytes bad = {'A', 'B', 'C', 6, 100, 0, 0, 0};
  m.feed(bad.data(), bad.size());
  EXPECT_TRUE(m.failed());
  const Bytes good = threeFrames(false);
  m.feed(good.data(), good.size());
  EXPECT_EQ(m.status(), MovieStatus::BadHeader);
  EXPECT_EQ(m.received(), 0);
}

TEST(MovieIntake, TruncatedMovieNeverCompletes) {
  const Bytes file = threeFrames(false);
  // Cut inside the third frame's DoAction body.
  const Bytes cut(file.begin(), file.end() - 20);
  MovieBuffer m;
  m.feed(cut.data(), cut.size());
  EXPECT_FALSE(m.complete());
  EXPECT_EQ(m.framesLoaded(), 1);
  EXPECT_FALSE(m.corrupt());
}

TEST(MovieIntake, TruncatedCompressedMovieKeepsWhatInflated) {
  const Bytes file = threeFrames(true);
  const Bytes cut(file.begin(), file.end() - 6);
  MovieBuffer m;
  m.feed(cut.data(), cut.size());
  EXPECT_FALSE(m.complete());
  EXPECT_GE(m.framesLoaded(), 1);
}

TEST(MovieIntake, CorruptCompressedStreamStopsInflation) {
  Bytes file = threeFrames(true);
  for (size_t i = 14; i < file.size(); ++i) file[i] ^= 0x5A;
  MovieBuffer m;
  m.feed(file.data(), file.size());
  EXPECT_FALSE(m.complete());
  const int64_t got = m.received();
  m.feed(file.data(), file.size());  // later input is ignored
  EXPECT_EQ(m.received(), got);
}

TEST(MovieIntake, ExcessBytesAreDropped) {
  Bytes file = threeFrames(false);
  const size_t length = file.size();
  file.insert(file.end(), {1, 2, 3, 4, 5});
  MovieBuffer m;
  m.feed(file.data(), file.size());
  EXPECT_EQ(m.received(), static_cast<int64_t>(length));
  EXPECT_TRUE(m.complete());
}

TEST(MovieIntake, TagRunningPastTheFileIsCorrupt) {
  MovieSpec spec;
  Bytes file = test::movie(spec, {test::showFrame(), test::tag(12, Bytes(4, 0)), test::endTag()});
  // Claim the DoAction body is far longer than the file.
  const size_t doAction = file.size() - 2 - 6;
  file[doAction] = static_cast<uint8_t>((12 << 6) | 0x30);
  MovieBuffer m;
  const IntakeReport r = m.feed(file.data(), file.size());
  EXPECT_TRUE(r.corrupt);
  EXPECT_TRUE(m.corrupt());
  EXPECT_EQ(m.framesLoaded(), MovieBuffer::kAllFramesLoaded);
}

TEST(MovieIntake, FramePeriods) {
  EXPECT_EQ(MovieBuffer::framePeriodFor(0), 1u);
  EXPECT_EQ(MovieBuffer::framePeriodFor(0x0C00), 83u);  // 12 fps; the tick is 8 ms
  EXPECT_EQ(MovieBuffer::framePeriodFor(0x0C00) / 10, 8u);
  EXPECT_EQ(MovieBuffer::framePeriodFor(0x1E00), 33u);
  EXPECT_EQ(MovieBuffer::framePeriodFor(0x0100), 1000u);
  EXPECT_EQ(MovieBuffer::framePeriodFor(0x0080), 2000u);  // half a frame a second
  EXPECT_EQ(MovieBuffer::framePeriodFor(0xFFFF), 3u);
}

}  // namespace
}  // namespace kivra
