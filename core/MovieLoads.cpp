#include "core/MovieLoads.h"

#include <algorithm>

#include "core/CorePlayer.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/ClipActions.h"
#include "core/movie/ContentSniffer.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

class MovieLoads::Load : public UrlStreamReceiver {
 public:
  Load(MovieLoads& owner, int level, DisplayObject* clip) : level(level), clip(clip), owner_(owner) {}
  ~Load() override {
    if (id != 0 && !ended_) owner_.player_.cancelUrlStream(id);
  }

  bool streamStarted() override {
    log("MSG_NEW_STREAM");
    if (done) return false;
    if (level >= 0) {
      // The level is replaced now that there is something to replace it with.
      busy = true;
      if (level == 0) owner_.replacingLevel0_ = this;
      timeline = &owner_.player_.replaceLevel(level, requested);
      owner_.replacingLevel0_ = nullptr;
      busy = false;
    }
    return !done && timeline;
  }
  bool streamFinalUrl(const std::string& url) override {
    (void)url;
    log("MSG_CHECK_FINAL_URL");
    return !done;
  }
  void streamLength(int64_t length) override {
    log("MSG_SET_CONTENT_LENGTH");
    announced_ = length;
    if (!done && timeline) timeline->setBytesTotal(length);
  }
  void streamData(const uint8_t* data, size_t count) override {
    if (done || !timeline) return;
    log("MSG_WRITE_STREAM");
    // A JPEG becomes a movie showing it; movies pass as they come.
    if (!sniffer_) sniffer_ = std::make_unique<ContentSniffer>(SniffTarget::Movie, announced_);
    timeline->countBytesLoaded(static_cast<int64_t>(count));
    std::vector<uint8_t> out;
    sniffer_->feed(data, count, out);
    feed(out);
    if (sniffer_->failed()) stop();
  }
  void streamEnded(bool ok) override {
    ended_ = true;
    if (done) return;
    log(ok ? "MSG_CLOSE_STREAM" : "MSG_DESTROY_STREAM");
    owner_.player_.debugLog("SetDataComplete()\n");
    if (ok && sniffer_ && timeline) {
      std::vector<uint8_t> out;
      sniffer_->finish(out);
      feed(out);
    }
    done = true;
    // Without an announced length, all that came is all there is.
    if (ok && timeline && timeline->bytesTotal() <= 0) timeline->setBytesTotal(timeline->bytesLoaded());
  }
  void stop() {
    if (!done && id != 0 && !ended_) owner_.player_.cancelUrlStream(id);
    ended_ = true;
    done = true;
    timeline = nullptr;
  }

  std::string requested;
  const int level;         // -1 for a clip
  DisplayObject* clip;     // the clip loaded into, while its timeline is this load's
  TimelinePlayer* timeline = nullptr;
  uint32_t id = 0;
  bool started = false;  // the movie is placed and running
  bool done = false;
  bool busy = false;

 private:
  void log(const char* message) { owner_.player_.debugLog(streamMessageLine(requested, message)); }
  void feed(const std::vector<uint8_t>& bytes) {
    if (bytes.empty() || !timeline) return;
    busy = true;
    timeline->feed(bytes.data(), bytes.size());
    busy = false;
  }

  MovieLoads& owner_;
  std::unique_ptr<ContentSniffer> sniffer_;
  int64_t announced_ = -1;
  bool ended_ = false;
};

MovieLoads::MovieLoads(CorePlayer& player) : player_(player) {}

MovieLoads::~MovieLoads() {
  for (auto& l : loads_) l->stop();
}

void MovieLoads::start(std::unique_ptr<Load> load, const UrlStreamRequest& request) {
  sweep();
  load->requested = request.url;
  player_.debugLog("RequestUrl '" + request.url + "'\n");
  load->id = player_.openUrlStream(request, *load);
  if (load->id == 0) return;
  loads_.push_back(std::move(load));
}

void MovieLoads::loadLevel(int level, const UrlStreamRequest& request) {
  start(std::make_unique<Load>(*this, level, nullptr), request);
}

void MovieLoads::loadClip(DisplayObject& clip, const UrlStreamRequest& request) {
  auto load = std::make_unique<Load>(*this, -1, &clip);
  // The clip's content goes at once; the clip shows nothing until the new
  // movie's first frame is in.
  auto root = std::make_unique<TimelinePlayer>(player_, clip.depth(), request.url);
  load->timeline = root.get();
  std::shared_ptr<Character> character = makeLoadedClipCharacter(root.get());
  player_.display().replaceContent(clip, std::move(character), std::move(root));
  start(std::move(load), request);
}

bool MovieLoads::dataArrived(TimelinePlayer& timeline) {
  auto it = std::find_if(loads_.begin(), loads_.end(), [&](const auto& l) { return l->timeline == &timeline; });
  if (it == loads_.end()) return false;
  Load& load = **it;
  const MovieBuffer& movie = timeline.movie();
  if (load.started || load.level == 0 || !movie.headerParsed() || (movie.framesLoaded() < 0 && !movie.complete()))
    return true;
  load.started = true;
  if (load.clip) {
    // A loaded movie starts in its clip as a placed sprite would.
    player_.display().fireEvent(*load.clip, kClipEventLoad);
  }
  timeline.seek(0);
  return true;
}

void MovieLoads::timelineGone(TimelinePlayer& timeline) {
  for (auto& l : loads_)
    if (l->timeline == &timeline) l->stop();
}

void MovieLoads::clear() {
  for (auto& l : loads_)
    if (l.get() != replacingLevel0_) l->stop();
  sweep();
}

void MovieLoads::sweep() {
  std::erase_if(loads_, [](const auto& l) { return l->done && !l->busy; });
}

}  // namespace kivra
