#include "core/movie/TimelinePlayer.h"

#include "core/CorePlayer.h"
#include "core/movie/TagCodes.h"

namespace kivra {

TimelinePlayer::TimelinePlayer(CorePlayer& player, int level) : player_(player), level_(level) {}

TimelinePlayer::~TimelinePlayer() = default;

int TimelinePlayer::version() const { return movie_.fileLength() >= 0 ? movie_.version() : 6; }

IntakeReport TimelinePlayer::feed(const uint8_t* data, size_t count) {
  const IntakeReport report = movie_.feed(data, count);
  if (movie_.headerParsed()) {
    cursor_.reset(movie_.data(), movie_.received());
    cursor_.setSizeLimit(movie_.fileLength());
    cursor_.setVersion(movie_.version());
    if (report.headerParsed) cursor_.setPosition(movie_.firstTagPosition());
  }
  player_.movieDataArrived(*this, report);
  return report;
}

DispatchResult TimelinePlayer::dispatchTag() {
  if (atEnd_) return kDispatchAtEnd;
  if (!movie_.headerParsed()) return kDispatchIncomplete;
  const int64_t start = cursor_.position();
  TagHeader tag;
  const TagRead r = cursor_.readTagHeader(tag);
  if (r == TagRead::Incomplete) return kDispatchIncomplete;
  if (r == TagRead::PastEnd) {
    player_.movieCorrupt();
    cursor_.setPosition(start);
    return kDispatchError;
  }
  cursor_.setReadEnd(tag.end);
  if (tag.code == static_cast<uint16_t>(TagCode::End)) {
    atEnd_ = true;
  } else if (!isDefinitionTag(tag.code)) {
    runControlTag(tag);
  }
  cursor_.clearReadEnd();
  cursor_.setPosition(tag.end);
  return static_cast<int>(movie_.status()) == 0 ? kDispatchDone : kDispatchError;
}

void TimelinePlayer::runControlTag(const TagHeader& tag) {
  switch (static_cast<TagCode>(tag.code)) {
    case TagCode::ShowFrame:
      ++currentFrame_;
      break;
    case TagCode::SetBackgroundColor:
      player_.setBackgroundColor(cursor_.readRgb());
      break;
    case TagCode::FrameLabel:
      label_ = cursor_.readString();
      break;
    case TagCode::DoAction:
    case TagCode::DoInitAction: {
      // Only the frame reached takes effect while seeking. A null clip means
      // the root of level 0.
      if (seeking_) break;
      const bool init = static_cast<TagCode>(tag.code) == TagCode::DoInitAction;
      if (init) cursor_.skip(2);  // the sprite id
      const uint8_t* code = cursor_.current();
      if (!code) break;
      const size_t length = static_cast<size_t>(tag.end - cursor_.position());
      player_.actions().push(init ? ActionList::Init : ActionList::Frame,
                             ActionBlock{code, length, nullptr, version(), 0});
      break;
    }
    default:
      break;
  }
}

DispatchResult TimelinePlayer::runToFrame(int frame) {
  DispatchResult result = kDispatchDone;
  while (currentFrame_ < frame) {
    result = dispatchTag();
    if (result != kDispatchDone) break;
  }
  return result;
}

void TimelinePlayer::rewind() {
  cursor_.setPosition(movie_.firstTagPosition());
  currentFrame_ = -1;
  label_.clear();
  atEnd_ = false;
}

int TimelinePlayer::seek(int frame) {
  if (movie_.failed()) return static_cast<int>(movie_.status());
  if (!movie_.headerParsed()) return kDispatchIncomplete;
  if (frame < 0) frame = 0;
  if (frame < currentFrame_) rewind();
  seeking_ = true;
  runToFrame(frame - 1);
  seeking_ = false;
  return runToFrame(frame);
}

void TimelinePlayer::advance() {
  if (!playing_) return;
  int target = currentFrame_ + 1;
  if (target > movie_.framesLoaded()) target = movie_.framesLoaded();
  const DispatchResult result = runToFrame(target);
  if (result == kDispatchIncomplete) return;
  if (result < 0) {
    playing_ = false;
  } else if (result == kDispatchAtEnd) {
    if (loop_ && currentFrame_ != 0) {
      seek(0);
    } else {
      playing_ = false;
    }
  }
}

void TimelinePlayer::play(bool restart) {
  if (restart && !loop_ && currentFrame_ >= frameCount() - 1) seek(0);
  playing_ = true;
}

}  // namespace kivra
