#include "platform/desktop/DesktopPlayer.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include "platform/desktop/PlayerWindow.h"

namespace kivra {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- Movies built in place ---------------------------------------------------

class BitWriter {
 public:
  void put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ == 0) out_.push_back(0);
      if ((value >> i) & 1) out_.back() |= static_cast<uint8_t>(0x80 >> used_);
      used_ = (used_ + 1) & 7;
    }
  }
  Bytes take() { return std::move(out_); }

 private:
  Bytes out_;
  int used_ = 0;
};

void putU16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes tag(uint16_t code, const Bytes& body = {}) {
  Bytes b;
  putU16(b, static_cast<uint16_t>(code << 6 | body.size()));  // bodies here are short
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

constexpr uint16_t kEnd = 0;
constexpr uint16_t kShowFrame = 1;
constexpr uint16_t kSetBackgroundColor = 9;

// A version-6 movie of `frames` empty frames on a stage of width x height
// pixels, at `rate` (8.8 frames per second), optionally with a background.
Bytes makeMovie(int width, int height, uint16_t rate, int frames, const Bytes& background = {}) {
  BitWriter rect;
  rect.put(16, 5);  // bits per field: enough for 32767 twips
  rect.put(0, 16);
  rect.put(static_cast<uint32_t>(width * 20), 16);
  rect.put(0, 16);
  rect.put(static_cast<uint32_t>(height * 20), 16);
  Bytes body = rect.take();
  putU16(body, rate);
  putU16(body, static_cast<uint16_t>(frames));
  if (!background.empty()) {
    const Bytes bg = tag(kSetBackgroundColor, background);
    body.insert(body.end(), bg.begin(), bg.end());
  }
  for (int i = 0; i < frames; ++i) {
    const Bytes show = tag(kShowFrame);
    body.insert(body.end(), show.begin(), show.end());
  }
  const Bytes end = tag(kEnd);
  body.insert(body.end(), end.begin(), end.end());

  Bytes file = {'X', 'V', 'Q', 6};
  putU32(file, static_cast<uint32_t>(8 + body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

class TempFiles {
 public:
  TempFiles() {
    dir_ = std::filesystem::temp_directory_path() /
           ("kivra-desktop-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  ~TempFiles() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

 private:
  std::filesystem::path dir_;
};

void runEventLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

QSize clientSize(DesktopPlayer& player) {
  const PixelRect r = player.clientRectangle();
  return QSize(r.width(), r.height());
}

QMimeData* fileDrop(const std::string& path) {
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  return data;
}

// ---- Window size -------------------------------------------------------------

TEST(DesktopPlayer, ClientAreaFollowsMovieSizeChanged) {
  DesktopPlayer player(CommandLine{});
  player.movieSizeChanged(320, 240);
  EXPECT_EQ(clientSize(player), QSize(320, 240));
  EXPECT_EQ(player.stage().size(), QSize(320, 240));

  player.window().show();
  player.movieSizeChanged(400, 300);
  QApplication::processEvents();
  EXPECT_EQ(clientSize(player), QSize(400, 300));
  player.movieSizeChanged(123, 45);
  QApplication::processEvents();
  EXPECT_EQ(clientSize(player), QSize(123, 45));
}

TEST(DesktopPlayer, SizeOptionWinsOverTheMovie) {
  CommandLine options;
  options.width = 640;
  options.height = 480;
  DesktopPlayer player(options);
  EXPECT_EQ(clientSize(player), QSize(640, 480));
  player.movieSizeChanged(320, 240);
  EXPECT_EQ(clientSize(player), QSize(640, 480));
}

TEST(DesktopPlayer, LoadedMovieSizesTheWindowAndStartsTheTimer) {
  TempFiles files;
  const std::string path = files.write("stage.qvx", makeMovie(200, 150, 0x0C00, 3));
  DesktopPlayer player(CommandLine{});
  EXPECT_FALSE(player.frameTimerActive());
  const LoadResult result = player.loadMovieFile(path);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(clientSize(player), QSize(200, 150));
  EXPECT_TRUE(player.frameTimerActive());
  // 12 fps: an 83 ms period, ticks every 8 ms.
  EXPECT_EQ(player.core().framePeriod(), 83u);
  EXPECT_EQ(player.tickInterval(), 8);
}

TEST(DesktopPlayer, MissingFileIsAnError) {
  DesktopPlayer player(CommandLine{});
  const LoadResult result = player.loadMovieFile("/nonexistent/movie.qvx");
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_FALSE(player.frameTimerActive());
}

// ---- Frame timer -----------------------------------------------------------------

TEST(DesktopPlayer, TimerDrivesFrameSteps) {
  TempFiles files;
  // 50 fps: a 20 ms period, ticks every 2 ms.
  const std::string path = files.write("fast.qvx", makeMovie(100, 100, 0x3200, 4));
  DesktopPlayer player(CommandLine{});
  ASSERT_TRUE(player.loadMovieFile(path).ok);
  player.window().show();
  const uint64_t before = player.core().framesAdvanced();
  runEventLoopFor(400);
  const uint64_t advanced = player.core().framesAdvanced() - before;
  // About 20 in 400 ms; allow for a loaded machine, but never more than the
  // clock permits.
  EXPECT_GE(advanced, 5u);
  EXPECT_LE(advanced, 21u);
}

TEST(DesktopPlayer, MillisecondsIsMonotonic) {
  DesktopPlayer player(CommandLine{});
  const uint32_t a = player.milliseconds();
  runEventLoopFor(30);
  const uint32_t b = player.milliseconds();
  EXPECT_GE(b - a, 25u);
}

// ---- Painting -------------------------------------------------------------------

TEST(DesktopPlayer, PaintsTheMovieBackground) {
  TempFiles files;
  const std::string path = files.write("red.qvx", makeMovie(60, 40, 0x0C00, 1, {255, 0, 0}));
  DesktopPlayer player(CommandLine{});
  ASSERT_TRUE(player.loadMovieFile(path).ok);
  player.window().show();
  const QImage shot = player.stage().grab().toImage();
  ASSERT_EQ(shot.size(), QSize(60, 40));
  EXPECT_EQ(shot.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(59, 39), qRgb(255, 0, 0));
}

TEST(DesktopPlayer, EmptyWindowShowsTheBackgroundColour) {
  DesktopPlayer player(CommandLine{});
  player.window().show();
  EXPECT_EQ(player.stage().grab().toImage().pixel(5, 5), qRgb(255, 255, 255));
  player.fillBackground(Rgba{0, 0, 255, 255});
  EXPECT_EQ(player.stage().grab().toImage().pixel(5, 5), qRgb(0, 0, 255));
}

// ---- Host commands -------------------------------------------------------------------

TEST(DesktopPlayer, QuitEndsTheEventLoopWithZero) {
  TempFiles files;
  const std::string path = files.write("quit.qvx", makeMovie(100, 100, 0x1800, 2));
  DesktopPlayer player(CommandLine{});
  ASSERT_TRUE(player.loadMovieFile(path).ok);
  player.window().show();
  // The movie asks to quit; the next frame step carries it out.
  QTimer::singleShot(50, [&player] { player.core().requestQuit(); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });
  watchdog.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(player.quitRequestedByMovie());
  EXPECT_FALSE(player.window().isVisible());
  EXPECT_FALSE(player.frameTimerActive());
}

TEST(DesktopPlayer, CursorKinds) {
  DesktopPlayer player(CommandLine{});
  EXPECT_TRUE(player.setCursor(CursorKind::Hand));
  EXPECT_EQ(player.stage().cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(player.setCursor(CursorKind::IBeam));
  EXPECT_EQ(player.stage().cursor().shape(), Qt::IBeamCursor);
  EXPECT_TRUE(player.setCursor(CursorKind::Arrow));
  EXPECT_EQ(player.stage().cursor().shape(), Qt::ArrowCursor);
  EXPECT_FALSE(player.setCursor(static_cast<CursorKind>(7)));
  EXPECT_EQ(player.stage().cursor().shape(), Qt::ArrowCursor);
}

// ---- Dropped files -----------------------------------------------------------------

TEST(DesktopPlayer, DroppedFileReplacesTheMovie) {
  TempFiles files;
  const std::string first = files.write("first.qvx", makeMovie(200, 150, 0x0C00, 1));
  const std::string second = files.write("second.qvx", makeMovie(100, 80, 0x0C00, 1));
  DesktopPlayer player(CommandLine{});
  ASSERT_TRUE(player.loadMovieFile(first).ok);
  player.window().show();
  ASSERT_EQ(clientSize(player), QSize(200, 150));

  std::unique_ptr<QMimeData> data(fileDrop(second));
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player.window(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player.window(), &drop);
  QApplication::processEvents();
  EXPECT_EQ(clientSize(player), QSize(100, 80));
  EXPECT_TRUE(player.core().hasMovie());
}

TEST(DesktopPlayer, EmbeddedMovieRefusesDrops) {
  TempFiles files;
  // A stand-in executable: some bytes, the movie, the trailer.
  Bytes exe = {0x7F, 'E', 'L', 'F', 0, 0, 0, 0};
  const Bytes movie = makeMovie(120, 90, 0x0C00, 1);
  exe.insert(exe.end(), movie.begin(), movie.end());
  putU32(exe, 0xFA123456u);
  putU32(exe, static_cast<uint32_t>(movie.size()));
  const std::string exePath = files.write("projector", exe);
  const std::string other = files.write("other.qvx", makeMovie(50, 50, 0x0C00, 1));

  DesktopPlayer player(CommandLine{});
  ASSERT_TRUE(player.loadEmbeddedMovie(exePath));
  ASSERT_TRUE(player.embedded());
  EXPECT_EQ(clientSize(player), QSize(120, 90));

  std::unique_ptr<QMimeData> data(fileDrop(other));
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player.window(), &enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player.window(), &drop);
  EXPECT_EQ(clientSize(player), QSize(120, 90));
}

}  // namespace
}  // namespace kivra
