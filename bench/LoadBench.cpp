// A 5 MB movie fetched from a server on the loopback address: the bytes per
// second from the request to the last byte in the movie intake (libcurl on
// a worker thread, the hand-over to the main thread, the intake). Compare
// with intake_bench, the intake's own speed.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/headless/HeadlessPlayer.h"
#include "tests/support/LoopbackHttpServer.h"

namespace {
using namespace kivra;

// A movie of one frame whose bulk is one long tag of a code the player
// skips: what matters here is moving the bytes.
std::string bigMovie(size_t bytes) {
  std::string m = "XVQ";
  m += '\x06';
  m.append(4, '\0');
  m += "\x00\x00\x00\x00\x00";  // an empty frame rectangle (5-bit fields)
  m += '\x00';
  m += '\x0C';  // 12 frames per second
  m += '\x01';
  m += '\x00';  // one frame
  const size_t body = bytes - m.size() - 6 - 4;
  const uint16_t code = 1000 << 6 | 0x3F;
  m += static_cast<char>(code & 0xFF);
  m += static_cast<char>(code >> 8);
  for (int i = 0; i < 4; ++i) m += static_cast<char>(body >> (8 * i));
  m.append(body, 'x');
  m += "\x40\x00";  // ShowFrame
  m += std::string("\x00\x00", 2);  // End
  const size_t length = m.size();
  for (int i = 0; i < 4; ++i) m[4 + i] = static_cast<char>(length >> (8 * i));
  return m;
}

void BM_MovieFromLoopbackHttp(benchmark::State& state) {
  const std::string movie = bigMovie(5u << 20);
  test::LoopbackHttpServer server;
  server.route("/big.qvx", test::LoopbackHttpServer::Route::ok(movie));
  HeadlessPlayer player{CommandLine{}};
  for (auto _ : state) {
    const LoadResult r = player.loadMovieUrl(server.url("/big.qvx"), 30000);
    if (!r.ok || player.core().level0()->movie().received() != static_cast<int64_t>(movie.size())) {
      state.SkipWithError(r.ok ? "the movie did not arrive whole" : r.error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(movie.size()));
}
BENCHMARK(BM_MovieFromLoopbackHttp)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
