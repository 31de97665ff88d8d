#include "platform/PlatformPlayer.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <cstdio>

#include "core/format/CaseInsensitive.h"
#include "core/net/UrlRecord.h"
#include "core/script/ScriptEngine.h"
#include "core/host/HostCommand.h"
#include "platform/MemoryClipboard.h"
#include "platform/MemoryUse.h"
#include "platform/MovieFile.h"
#include "platform/ProjectorFile.h"

namespace kivra {

std::string executablePath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

PlatformPlayer::PlatformPlayer(AudioOutput* audio, std::unique_ptr<Clipboard> clipboard)
    : libraries_(*this),
      clipboard_(clipboard ? std::move(clipboard) : std::make_unique<MemoryClipboard>()),
      core_(Host{*this, *this, *this, *this, *this, *this, info_, input_, *this, libraries_, audio ? *audio : silence_,
                 *this, fonts_, printer_, *clipboard_}) {
  core_.setSocketConnections(&sockets_);
  core_.setSharedObjectStorage(&sharedObjects_);
  core_.setLocalConnectionBlock(&localConnectionBlock_);
}

PlatformPlayer::~PlatformPlayer() = default;

// The main movie fetched by URL. It replaces the current movie when the
// server answers, and is fed like a file from then on.
class PlatformPlayer::MovieUrlStream : public UrlStreamReceiver {
 public:
  MovieUrlStream(PlatformPlayer& owner, std::string url) : url(std::move(url)), owner_(owner) {}
  ~MovieUrlStream() override {
    if (id != 0 && !ended) owner_.net_.cancel(id);
  }

  bool streamStarted() override {
    owner_.core_.openMovie(url);
    opened = true;
    return true;
  }
  void streamLength(int64_t length) override {
    if (TimelinePlayer* root = owner_.core_.level0()) root->setBytesTotal(length);
  }
  void streamData(const uint8_t* data, size_t count) override {
    received += count;
    owner_.core_.feedMovie(data, count);
  }
  void streamEnded(bool ok) override {
    ended = true;
    failed = !ok;
    TimelinePlayer* root = owner_.core_.level0();
    if (ok && root && root->bytesTotal() <= 0) root->setBytesTotal(root->bytesLoaded());
    if (!waiting) {
      const LoadResult result = owner_.movieUrlResult(*this);
      if (!result.ok) owner_.movieUrlFailed(result.error);
    }
  }

  const std::string url;
  uint32_t id = 0;
  uint64_t received = 0;
  bool opened = false;
  bool ended = false;
  bool failed = false;
  bool waiting = false;  // loadMovieUrl reports the result itself

 private:
  PlatformPlayer& owner_;
};

LoadResult PlatformPlayer::loadMovieUrl(const std::string& url, uint32_t waitMs) {
  movieStream_.reset();
  auto stream = std::make_unique<MovieUrlStream>(*this, url);
  UrlStreamRequest request;
  request.url = url;
  stream->id = net_.open(request, *stream);
  if (stream->id == 0) return LoadResult{false, url + ": cannot be fetched"};
  movieStream_ = std::move(stream);
  if (waitMs == 0) return LoadResult{true, {}};
  movieStream_->waiting = true;
  while (!movieStream_->ended) {
    settleStreams(waitMs);
    if (!movieStream_->ended) {
      // Nothing came for that long: the stream was given up.
      net_.cancel(movieStream_->id);
      movieStream_->ended = movieStream_->failed = true;
    }
  }
  movieStream_->waiting = false;
  return movieUrlResult(*movieStream_);
}

LoadResult PlatformPlayer::movieUrlResult(const MovieUrlStream& stream) {
  LoadResult result;
  if (!stream.opened || (stream.failed && stream.received == 0)) {
    result.error = stream.url + ": cannot be fetched (no answer, or the server refused it)";
    return result;
  }
  const TimelinePlayer* root = core_.level0();
  if (!root || !checkMovieHeader(stream.url, root->movie(), stream.received, result.error)) {
    core_.unloadAll();
    return result;
  }
  result.ok = true;
  return result;
}

LoadResult PlatformPlayer::loadMovieFile(const std::string& name) {
  if (isNetworkUrl(name)) return loadMovieUrl(name, 0);
  LoadResult result;
  // A "file://" URL names a local file; other URLs need the network. A
  // file whose name only looks like a URL ("a:b.qvx") is still a file.
  std::string path = name;
  if (hasScheme(name) && ::access(name.c_str(), F_OK) != 0) {
    if (!fileUrlToPath(name, path)) {
      result.error = name + ": only local files (paths or file:// URLs) and http, https or ftp URLs can be opened";
      return result;
    }
  }
  // A file that cannot be opened leaves the current movie playing; once it
  // is open, the new movie replaces the current one, whatever follows.
  bool opened = false;
  const auto open = [&] {
    // Relative URLs the movie loads are relative to where it is, whatever
    // the working folder.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    core_.openMovie(error ? path : absolute.lexically_normal().string());
    opened = true;
  };
  const auto feed = [this](const uint8_t* data, size_t n) {
    core_.feedMovie(data, n);
    return !core_.level0()->movie().failed();
  };
  uint64_t bytesRead = 0;
  if (!readFileChunks(path, feed, bytesRead, result.error, open)) {
    if (opened) core_.unloadAll();
    return result;
  }
  if (!checkMovieHeader(path, core_.level0()->movie(), bytesRead, result.error)) {
    core_.unloadAll();
    return result;
  }
  result.ok = true;
  return result;
}

MovieCheck PlatformPlayer::checkMovieFile(const std::string& path) {
  MovieCheck check;
  MovieBuffer movie;
  uint64_t bytesRead = 0;
  const auto feed = [&movie](const uint8_t* data, size_t n) {
    movie.feed(data, n);
    return !movie.failed() && !movie.corrupt();
  };
  if (!readFileChunks(path, feed, bytesRead, check.result.error) ||
      !checkMovieHeader(path, movie, bytesRead, check.result.error))
    return check;
  if (movie.corrupt()) {
    check.result.error = path + ": damaged movie (a tag runs past the end of the file)";
    return check;
  }
  const RECT& r = movie.frameRect();
  check.width = (r.xmax - r.xmin) / 20;
  check.height = (r.ymax - r.ymin) / 20;
  check.result.ok = true;
  return check;
}

bool PlatformPlayer::loadEmbeddedMovie(const std::string& exe) {
  ProjectorTrailer trailer;
  if (!readProjectorTrailer(exe, trailer) || !trailer.found) return false;
  embedded_ = true;
  if (!trailer.movieInFile()) return false;
  bool opened = false;
  const auto open = [&] {
    core_.openMovie(exe);
    opened = true;
  };
  // A read error stops feeding; the movie plays as far as it arrived.
  const auto feed = [this](const uint8_t* data, size_t n) {
    core_.feedMovie(data, n);
    return true;
  };
  uint64_t bytesRead = 0;
  std::string error;
  readFileChunks(exe, trailer.movieOffset(), trailer.movieLength, feed, bytesRead, error, open);
  if (!opened) return false;
  return core_.level0() && core_.level0()->movie().headerParsed() && !core_.level0()->movie().failed();
}

std::string PlatformPlayer::loadWarning() const {
  const TimelinePlayer* root = core_.level0();
  if (!root) return {};
  const std::string incomplete = incompleteMovieText(root->movie());
  return incomplete.empty() ? incomplete : incomplete + "; it plays as far as it goes";
}

// ---- Host commands -------------------------------------------------------------------

bool PlatformPlayer::hostCommand(const std::string& command, const std::string& argument) {
  switch (hostCommandNamed(command)) {
    case HostCommand::Quit:
      quitPlayer();
      return true;
    case HostCommand::FullScreen:
      setFullScreen(hostCommandFlag(argument));
      return true;
    case HostCommand::AllowScale:
      // The whole setting is replaced: alignment goes too.
      core_.setScaleMode(hostCommandFlag(argument) ? ScaleMode::ShowAll : ScaleMode::NoScale, 0);
      return true;
    case HostCommand::ShowMenu:
      core_.setShowMenu(hostCommandFlag(argument));
      menuBarWanted_ = core_.showMenu();
      // In full screen the wish waits until full screen is left.
      if (!fullScreen_) applyMenuBar(menuBarWanted_);
      return true;
    case HostCommand::TrapAllKeys:
      trapAllKeys_ = hostCommandFlag(argument);
      return true;
    case HostCommand::Exec:
      // A refused name or a failed start does nothing and reports nothing.
      if (offline_) return true;
      launcher_.launch(commandFolderFor(executablePath_.empty() ? executablePath() : executablePath_),
                       argument);
      return true;
    case HostCommand::Unknown:
      break;
  }
  return false;
}

void PlatformPlayer::setFullScreen(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  applyFullScreen(on);
}

// ---- Menu commands ---------------------------------------------------------------------

bool PlatformPlayer::playerCommand(int id) {
  using namespace command;
  switch (id) {
    case kOpen:
    case kCreateProjector:
    case kAbout:
    case kAboutFromContextMenu:
    case kPrint:
    case kSettings:
      return false;
    default:
      break;
  }
  if (!commandState(id).enabled) return true;
  switch (id) {
    case kPlay:
    case kRewind:
    case kStepForward:
    case kStepBack:
    case kLoop:
      playbackCommand(id);
      break;
    case kQualityLow:
    case kQualityMedium:
    case kQualityHigh:
      core_.setQuality(id == kQualityLow ? Quality::Low : id == kQualityMedium ? Quality::Medium : Quality::High);
      core_.setAutoQuality(false);
      core_.redrawAll();
      break;
    case kZoomIn: core_.zoom(kFixedOne / 2); break;
    case kZoomInAtPoint: core_.zoomAt(kFixedOne / 2, contextX_, contextY_); break;
    case kZoomOut: core_.zoom(kFixedOne * 2); break;
    case kShowAll: core_.showAll(); break;
    case kActualSize: core_.showActualSize(); break;
    case kFullScreen: setFullScreen(!fullScreen_); break;
    case kLeaveFullScreen: setFullScreen(false); break;
    case kClose:
      // A projector has only its own movie: Close quits.
      if (embedded_) {
        quitPlayer();
      } else {
        core_.unloadAll();
        fillBackground(Rgba{255, 255, 255, 255});
        invalidate();
      }
      break;
    case kExit: quitPlayer(); break;
    case kCut: core_.editText(EditCode::Cut); break;
    case kCopy: core_.editText(EditCode::Copy); break;
    case kPaste: core_.editText(EditCode::Paste); break;
    case kDelete: core_.editText(EditCode::Delete); break;
    case kSelectAll: core_.editText(EditCode::SelectAll); break;
    default: return false;
  }
  return true;
}

void PlatformPlayer::playbackCommand(int id) {
  TimelinePlayer* root = core_.level0();
  if (!root) return;
  using namespace command;
  switch (id) {
    case kPlay:
      if (root->playing())
        root->stop();
      else
        root->play(true);  // from frame 0 when at the end without loop
      return;
    case kLoop:
      root->setLoop(!root->loop());
      return;
    case kRewind: root->seek(0); break;
    case kStepForward: root->seek(root->currentFrame() + 1); break;
    case kStepBack: root->seek(root->currentFrame() - 1); break;
    default: return;
  }
  root->stop();
  core_.runPendingActions();
  core_.redrawAll();
}

size_t PlatformPlayer::memoryInUse() { return allocatedBytes(); }

void PlatformPlayer::debugLog(const std::string& line) {
  if (!debug_) return;
  std::string text = line;
  if (text.empty() || text.back() != '\n') text += '\n';
  std::fprintf(stderr, "kivra-player: debug: %s", text.c_str());
}

void PlatformPlayer::setOffline() {
  offline_ = true;
  core_.setSocketConnections(nullptr);
  core_.setSharedObjectStorage(nullptr);
  core_.setLocalConnectionBlock(nullptr);
}

uint32_t PlatformPlayer::openStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) {
  if (offline_ && isNetworkUrl(request.url)) return 0;
  if (const uint32_t id = net_.open(request, receiver)) return id;
  return files_.open(request, receiver);
}

void PlatformPlayer::cancelStream(uint32_t id) {
  if (id >= NetUrlStreams::kFirstId) net_.cancel(id);
  else files_.cancel(id);
}

void PlatformPlayer::settleStreams(uint32_t idleMs) {
  sockets_.settle(idleMs);
  // A receiver may open more streams of either kind.
  do {
    files_.deliver();
    net_.settle(idleMs);
  } while (!files_.idle() || !net_.idle());
}

void PlatformPlayer::openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
  debugLog("OpenURL '" + url + "' window '" + window + "'" + (postData ? " post '" + *postData + "'" : "") + "\n");
}

void PlatformPlayer::useCodePage(int number) {
  std::unique_ptr<CodePage> page = loadSystemCodePage(number);
  if (!page) return;
  codePage_ = std::move(page);
  core_.script().setCodePage(*codePage_);
}

}  // namespace kivra
