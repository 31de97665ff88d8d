#pragma once
// A core player with a do-nothing host, movies compiled from source text,
// and the display tree as text, for tests of timelines and the display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CorePlayer.h"
#include "tests/support/StubPlayer.h"
#include "core/movie/DisplayDump.h"
#include "tools/qvxs/Compiler.h"

namespace kivra::test {

// A 550 x 400 px stage; `HostT` is built from (width, height).
template <class HostT = StubHost>
class TestPlayerOf : public StubPlayerOf<HostT> {
 public:
  TestPlayerOf() : StubPlayerOf<HostT>(550, 400) {}

  // Opens and feeds a whole movie (frame 0 runs as soon as it is in).
  void load(const std::vector<uint8_t>& movie, const std::string& url = "test.qvx") {
    this->openMovie(url);
    this->feedMovie(movie.data(), movie.size());
  }
  // Frame steps that always advance.
  void steps(int n) {
    for (int i = 0; i < n; ++i) this->frameStep(false);
  }
  std::string tree() const { return dumpDisplay(this->display()); }
};

using TestPlayer = TestPlayerOf<>;

inline std::vector<uint8_t> compile(const std::string& source) {
  std::vector<uint8_t> out;
  qvxs::Diagnostics diag;
  EXPECT_TRUE(qvxs::compileMovie(source, out, diag)) << diag.text();
  return out;
}

// A red 10 x 10 px square, as character `id`.
inline std::string square(int id) {
  return "shape " + std::to_string(id) +
         " {\n fill solid #ff0000\n style moveto=0,0 fill1=1\n lineto 200,0\n lineto 200,200\n lineto 0,200\n"
         " lineto 0,0\n}\n";
}

}  // namespace kivra::test
