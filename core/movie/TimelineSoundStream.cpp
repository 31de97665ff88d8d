#include "core/movie/TimelineSoundStream.h"

#include <algorithm>

#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "core/movie/Character.h"
#include "core/movie/TimelineContext.h"
#include "core/movie/TimelinePlayer.h"
#include "core/sound/SoundMixer.h"

namespace kivra {

TimelineSoundStream::TimelineSoundStream(TimelinePlayer& timeline, TimelineContext& context,
                                         uint8_t playbackFormat, uint8_t streamFormat, uint16_t samplesPerBlock)
    : timeline_(timeline),
      context_(context),
      playback_(playbackFormat),
      format_(streamFormat),
      perBlock_(samplesPerBlock) {}

TimelineSoundStream::~TimelineSoundStream() { stop(); }

void TimelineSoundStream::start(SoundMixer& mixer, int64_t tagStart, int frame, uint32_t nowMs) {
  stop();
  // Only the codecs a stream can carry.
  if (format_.codecNumber() > 6) return;
  auto c = std::make_shared<SoundChannel>();
  c->stream = this;
  // The record starts empty: the first fetch supplies the block just met.
  c->record.format = format_;
  c->played = static_cast<uint64_t>(frame < 0 ? 0 : frame) * samplesPerBlock();
  c->volumeClip = &timeline_;
  c->startClip = &timeline_;
  position_ = tagStart;
  frame_ = frame;
  ended_ = false;
  waiting_ = false;
  firstBlock_ = true;
  seekPending_ = false;
  if (mixer.addChannel(c, nowMs)) channel_ = std::move(c);
}

void TimelineSoundStream::stop() {
  if (!channel_) return;
  channel_->done = true;
  channel_->stream = nullptr;
  channel_.reset();
}

bool TimelineSoundStream::fetchBlock(SoundChannel& channel) {
  if (ended_) return false;
  const MovieBuffer& movie = timeline_.movie();
  if (waiting_) {
    // After running dry the stream plays on only once the sound buffer time
    // has arrived beyond it, so that it does not stutter block by block.
    if (timeline_.isSoundStream()) {
      // A loaded sound's movie grows by blocks of the server's pace, not
      // frames of a movie: it waits for the time instead.
      if (!movie.complete() && !timeline_.dataEnded() && context_.milliseconds() - dryAt_ < context_.soundBufferMs())
        return false;
    } else {
      const int loaded = timeline_.isRoot() ? movie.framesLoaded() : timeline_.frameCount();
      if (!movie.complete() && loaded < int64_t{context_.soundBufferFrames()} + frame_) return false;
    }
    waiting_ = false;
  }
  TagCursor in = timeline_.tagCursor();
  const int64_t end = timeline_.tagStreamEnd();
  in.setPosition(position_);
  while (true) {
    if (in.position() >= end) {
      ended_ = true;
      return true;
    }
    TagHeader tag;
    const TagRead r = in.readTagHeader(tag);
    if (r == TagRead::Incomplete && timeline_.dataEnded()) {
      // Cut short: what did arrive has played.
      ended_ = true;
      return false;
    }
    if (r == TagRead::Incomplete) {
      // Not here yet: silence until it is, read again from this tag.
      waiting_ = true;
      dryAt_ = context_.milliseconds();
      context_.debugLog("Buffer Underrun! " + timeline_.url() + "\n");
      return movie.complete();
    }
    if (r == TagRead::PastEnd) {
      ended_ = true;
      return false;
    }
    position_ = tag.end;
    in.setReadEnd(tag.end);
    switch (static_cast<TagCode>(tag.code)) {
      case TagCode::End:
        ended_ = true;
        return true;
      case TagCode::ShowFrame:
        ++frame_;
        return true;
      case TagCode::DefineSound:
        timeline_.defineAhead(tag);
        break;
      case TagCode::StartSound: {
        const std::shared_ptr<Character> sound = timeline_.dictionary().lookup(in.readU16());
        if (sound && sound->kind == CharacterKind::Sound && !in.overrun())
          context_.startSound(timeline_, *sound, in.current(), static_cast<size_t>(in.remaining()));
        break;
      }
      case TagCode::SoundStreamBlock: {
        SoundRecord block;
        block.format = format_;
        block.data = in.current();
        block.length = block.data ? static_cast<size_t>(in.remaining()) : 0;
        int16_t seek = 0;
        switch (format_.codec()) {
          case SoundCodec::Mp3:
            // Sample count and seek lead the MPEG data.
            block.sampleCount = in.readU16();
            seek = static_cast<int16_t>(in.readU16());
            block.seekSamples = static_cast<uint16_t>(seek > 0 ? seek : 0);
            block.data = in.overrun() ? nullptr : in.current();
            block.length = block.data ? static_cast<size_t>(in.remaining()) : 0;
            break;
          case SoundCodec::Nellymoser8k:
          case SoundCodec::Nellymoser:
            block.sampleCount = static_cast<uint32_t>(block.length * 256 / 64);
            break;
          default:
            block.sampleCount = samplesPerBlock();
            break;
        }
        // The MP3 decoder keeps its state from block to block after the
        // first; the first block's seek samples are decoded into nothing.
        channel.startBlock(block, firstBlock_);
        if (format_.codec() == SoundCodec::Mp3) {
          if (firstBlock_ && (block.sampleCount > 0 || seek < 0)) seekPending_ = true;
          if (seekPending_ && block.sampleCount > 0 && seek >= 0) {
            const uint32_t skip = std::min<uint32_t>(static_cast<uint32_t>(seek), block.sampleCount);
            channel.blockLeft -= skip;
            channel.decoder.decode(nullptr, skip);
            seekPending_ = false;
            channel.pendingSilence = 0;
          } else if (seekPending_ && seek < 0) {
            // Played as silence by the mixer, the seek staying pending.
            channel.pendingSilence = -int32_t{seek};
          }
        }
        firstBlock_ = false;
        break;
      }
      default:
        break;
    }
    in.clearReadEnd();
    in.clearOverrun();
    in.setPosition(tag.end);
  }
}

}  // namespace kivra
