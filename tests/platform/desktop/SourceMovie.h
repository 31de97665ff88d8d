#pragma once
// Movies written as source text (tools/README.md), for the desktop tests
// that need shapes or scripts, and the small waits those tests share.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include "tools/qvxs/Compiler.h"

namespace kivra::test {

// Image files are those of the bitmap test movies.
inline std::vector<uint8_t> compileSource(const std::string& text) {
  std::vector<uint8_t> out;
  qvxs::Diagnostics diag;
  EXPECT_TRUE(qvxs::compileMovie(text, out, diag, KIVRA_TEST_IMAGES)) << diag.text();
  return out;
}

// Runs the event loop until `done` holds or `limitMs` passed; returns done().
inline bool runUntil(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < limitMs) {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

}  // namespace kivra::test
