// The content sniffer on arbitrary bytes. The first byte picks the target
// (bits 0-1), whether the stream announces its size (bit 2) and the seed of
// the piece sizes (bits 3-7); the rest is the loaded data. Fed whole and in
// pieces the sniffer must give the same bytes; data it passes on must come
// out unchanged; a movie it writes must pass the movie intake, split the
// same way, with every tag whole and an End tag last.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/format/MovieBuffer.h"
#include "core/format/TagCursor.h"
#include "core/movie/ContentSniffer.h"

namespace {

using namespace kivra;

// Piece sizes from a small generator: mostly short, now and then long.
struct Pieces {
  uint32_t state;
  size_t next(size_t left) {
    if (state == 0) return left;  // seed 0: one piece
    state = state * 1103515245u + 12345u;
    const size_t n = 1 + (state >> 16) % ((state >> 8) % 8 == 0 ? 2048 : 37);
    return n < left ? n : left;
  }
};

struct Outcome {
  std::vector<uint8_t> out;
  SniffMode mode = SniffMode::Undecided;
  bool failed = false;
  bool truncated = false;
};

Outcome sniff(SniffTarget target, bool announce, const std::vector<uint8_t>& input, uint32_t seed) {
  ContentSniffer s(target, announce ? static_cast<int64_t>(input.size()) : -1);
  Outcome o;
  Pieces pieces{seed};
  size_t at = 0;
  while (at < input.size()) {
    const size_t n = pieces.next(input.size() - at);
    s.feed(input.data() + at, n, o.out);
    at += n;
  }
  s.finish(o.out);
  o.mode = s.mode();
  o.failed = s.failed();
  o.truncated = s.truncated();
  if (s.nonMovie() != (o.mode == SniffMode::Jpeg || o.mode == SniffMode::Mp3Event || o.mode == SniffMode::Mp3Stream))
    std::abort();
  return o;
}

// The written movie, fed in pieces: a good header, complete, no corrupt
// tag, whole tags up to End.
void checkMovie(const std::vector<uint8_t>& movie, uint32_t seed) {
  MovieBuffer intake;
  Pieces pieces{seed};
  size_t at = 0;
  while (at < movie.size()) {
    const size_t n = pieces.next(movie.size() - at);
    intake.feed(movie.data() + at, n);
    at += n;
  }
  if (intake.failed() || !intake.headerParsed() || intake.corrupt() || !intake.complete()) std::abort();
  if (intake.version() != 6 || intake.frameRate() != 0x0C00) std::abort();
  TagCursor cursor(intake.data(), intake.received());
  cursor.setSizeLimit(intake.fileLength());
  cursor.setPosition(intake.firstTagPosition());
  TagHeader tag;
  bool ended = false;
  for (int i = 0; i < 1000000 && cursor.readTagHeader(tag) == TagRead::Tag; ++i) {
    if (tag.code == 0) {
      ended = true;
      break;
    }
    cursor.setPosition(tag.end);
  }
  if (!ended) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const SniffTarget target = static_cast<SniffTarget>(mode & 3);
  const bool announce = mode & 4;
  const uint32_t seed = mode >> 3;
  // A copy, so that a read past the data is caught by the sanitizer.
  const std::vector<uint8_t> input(data + 1, data + size);

  const Outcome whole = sniff(target, announce, input, 0);
  const Outcome split = sniff(target, announce, input, seed);
  // Nothing the sniffer decides may depend on where the pieces were cut.
  if (whole.out != split.out || whole.mode != split.mode || whole.failed != split.failed) std::abort();

  const bool sound = target == SniffTarget::EventSound || target == SniffTarget::StreamingSound;
  const bool written = split.mode == SniffMode::Jpeg || split.mode == SniffMode::Mp3Event ||
                       split.mode == SniffMode::Mp3Stream;
  if (target == SniffTarget::Variables && (split.out != input || split.mode != SniffMode::PassThrough)) std::abort();
  if (!written) {
    // Passed on as it came to a movie target, dropped by a sound target.
    if (sound || split.failed ? !split.out.empty() : split.out != input) std::abort();
    return 0;
  }
  if (split.failed) {
    // An image the decoder refuses leaves nothing behind; a streaming movie
    // may have begun before its writer failed, which cannot happen below
    // the writer's limit.
    if (split.mode != SniffMode::Jpeg || !split.out.empty()) std::abort();
    return 0;
  }
  if (split.mode == SniffMode::Mp3Stream && !announce) {
    // The header declares a length the movie never reaches. Checked with its
    // real length instead, so the intake does not reserve the declared one.
    if (split.out.size() < 8) std::abort();
    const uint32_t declared = static_cast<uint32_t>(split.out[4] | split.out[5] << 8 | split.out[6] << 16) |
                              static_cast<uint32_t>(split.out[7]) << 24;
    if (declared != Mp3StreamMovie::kUnknownInputLength || split.out.size() > declared) std::abort();
    std::vector<uint8_t> movie = split.out;
    for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<uint8_t>(movie.size() >> (8 * i));
    checkMovie(movie, seed);
    return 0;
  }
  checkMovie(split.out, seed);
  return 0;
}
