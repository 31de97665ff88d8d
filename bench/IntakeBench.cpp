// Movie intake speed: a large movie fed in 1,024-byte chunks, plain and
// compressed, and a walk over every tag header.
#include <benchmark/benchmark.h>

#include "core/format/MovieBuffer.h"
#include "core/format/TagCursor.h"
#include "tests/support/MovieBytes.h"

namespace {
using namespace kivra;

test::Bytes bigMovie(bool compressed) {
  test::MovieSpec spec;
  spec.compressed = compressed;
  spec.frameCount = 2000;
  std::vector<test::Bytes> tags;
  for (int f = 0; f < 2000; ++f) {
    tags.push_back(test::tag(12, test::Bytes(200, static_cast<uint8_t>(f))));
    tags.push_back(test::showFrame());
  }
  tags.push_back(test::endTag());
  return test::movie(spec, tags);
}

void feedInChunks(benchmark::State& state, bool compressed) {
  const test::Bytes file = bigMovie(compressed);
  for (auto _ : state) {
    MovieBuffer movie;
    for (size_t at = 0; at < file.size(); at += 1024)
      movie.feed(file.data() + at, std::min<size_t>(1024, file.size() - at));
    benchmark::DoNotOptimize(movie.framesLoaded());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}

void BM_FeedPlain(benchmark::State& state) { feedInChunks(state, false); }
void BM_FeedCompressed(benchmark::State& state) { feedInChunks(state, true); }

void BM_WalkTags(benchmark::State& state) {
  const test::Bytes file = bigMovie(false);
  MovieBuffer movie;
  movie.feed(file.data(), file.size());
  for (auto _ : state) {
    TagCursor cursor(movie.data(), movie.received());
    cursor.setPosition(movie.firstTagPosition());
    TagHeader tag;
    int tags = 0;
    while (cursor.readTagHeader(tag) == TagRead::Tag && tag.code != 0) {
      cursor.setPosition(tag.end);
      ++tags;
    }
    benchmark::DoNotOptimize(tags);
  }
}

BENCHMARK(BM_FeedPlain);
BENCHMARK(BM_FeedCompressed);
BENCHMARK(BM_WalkTags);
}  // namespace

BENCHMARK_MAIN();
