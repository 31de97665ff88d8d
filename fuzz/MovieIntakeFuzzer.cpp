// Feeds arbitrary bytes, split at positions the input chooses, to the movie
// intake, walks every tag header, and plays a few frames of whatever loaded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/CorePlayer.h"
#include "tests/support/StubHost.h"
#include "core/format/MovieBuffer.h"
#include "core/format/TagCursor.h"

namespace {
using namespace kivra;

using test::StubHost;

void walkTags(const uint8_t* data, int64_t available, int64_t pos, int64_t limit) {
  TagCursor cursor(data, available);
  cursor.setSizeLimit(limit);
  cursor.setPosition(pos);
  TagHeader tag;
  for (int i = 0; i < 100000 && cursor.readTagHeader(tag) == TagRead::Tag; ++i) {
    cursor.setReadEnd(tag.end);
    cursor.readRect();
    cursor.readMatrix();
    cursor.readCxform(true);
    cursor.readString();
    cursor.clearReadEnd();
    cursor.setPosition(tag.end);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the split points.
  const size_t step = 1 + (data[0] % 64);
  const size_t first = data[1];
  data += 2;
  size -= 2;

  MovieBuffer movie;
  size_t at = 0;
  size_t piece = first % (size + 1);
  while (at < size) {
    if (piece > size - at) piece = size - at;
    movie.feed(data + at, piece);
    at += piece;
    piece = step;
  }
  if (movie.headerParsed())
    walkTags(movie.data(), movie.received(), movie.firstTagPosition(), movie.fileLength());

  StubHost host;
  CorePlayer player(host.host());
  player.openMovie("fuzz");
  player.feedMovie(data, size);
  for (int i = 0; i < 8; ++i) {
    host.clock += 100;
    player.frameStep(true);
  }
  player.render();
  return 0;
}
