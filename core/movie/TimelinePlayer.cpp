#include "core/movie/TimelinePlayer.h"

#include <algorithm>

#include "core/format/CaseInsensitive.h"
#include "core/movie/ActionQueue.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/TimelineContext.h"
#include "core/movie/TimelineSoundStream.h"
#include "core/movie/Display.h"
#include "core/format/TagCodes.h"

namespace kivra {

namespace {
// Export chains of libraries importing from libraries are short; deeper is a cycle.
constexpr int kMaxExportHops = 16;

bool supportedSoundCodec(uint8_t format) {
  switch (format >> 4) {
    case 0: case 1: case 2: case 3: case 5: case 6: case 15:
      return true;
    default:
      return false;
  }
}
}  // namespace

TimelinePlayer::TimelinePlayer(TimelineContext& player, int level, std::string url, RootKind kind)
    : context_(player), root_(this), rootKind_(kind), level_(level), url_(std::move(url)),
      bitmaps_(std::make_unique<MovieBitmaps>(dictionary_)),
      fonts_(std::make_unique<MovieFonts>(dictionary_)) {
  fonts_->setContext(&context_);
  if (kind == RootKind::SoundStream) loop_ = false;
  if (kind != RootKind::Library) display().addTimeline(this);
}

TimelinePlayer::TimelinePlayer(TimelinePlayer& root, DisplayObject& object, const Character& sprite)
    : context_(root.context_), root_(&root), rootKind_(RootKind::Level), level_(object.depth()), object_(&object) {
  const MovieBuffer& m = root.movie_;
  const int64_t start = sprite.data ? sprite.data - m.data() : 0;
  cursor_.reset(m.data(), start + static_cast<int64_t>(sprite.dataLength));
  cursor_.setVersion(root.version());
  firstTag_ = start;
  streamEnd_ = start + static_cast<int64_t>(sprite.dataLength);
  cursor_.setSizeLimit(streamEnd_);
  cursor_.setPosition(firstTag_);
  spriteFrames_ = sprite.sprite() ? sprite.sprite()->frameCount : 0;
  display().addTimeline(this);
}

TimelinePlayer::~TimelinePlayer() {
  soundStream_.reset();
  context_.timelineGone(*this);
  // A level root's display object refers to this timeline without owning it.
  if (isRoot() && object_ && object_->timeline_ == this) object_->timeline_ = nullptr;
  if (rootKind_ != RootKind::Library) display().removeTimeline(this);
}

Display& TimelinePlayer::display() const { return context_.display(); }

int64_t TimelinePlayer::bytesTotal() const {
  if (root_->bytesTotal_ > 0) return root_->bytesTotal_;
  // Without an announced length the whole file's length counts, once known.
  const int64_t length = root_->movie_.fileLength();
  return length >= 0 && !root_->movie_.compressed() ? length : root_->bytesLoaded_;
}

const MovieBuffer& TimelinePlayer::movie() const { return root_->movie_; }

int TimelinePlayer::version() const {
  const MovieBuffer& m = root_->movie_;
  return m.fileLength() >= 0 ? m.version() : 6;
}

int TimelinePlayer::frameCount() const { return isRoot() ? movie_.frameCount() : spriteFrames_; }

IntakeReport TimelinePlayer::feed(const uint8_t* data, size_t count) {
  if (!isRoot()) return IntakeReport{};
  const IntakeReport report = movie_.feed(data, count);
  if (movie_.headerParsed()) {
    if (report.headerParsed) {
      cursor_.reset(movie_.data(), movie_.received());
      cursor_.setSizeLimit(movie_.fileLength());
      cursor_.setVersion(movie_.version());
      firstTag_ = movie_.firstTagPosition();
      cursor_.setPosition(firstTag_);
    } else {
      cursor_.setAvailable(movie_.received());
    }
  }
  context_.movieDataArrived(*this, report);
  return report;
}

bool TimelinePlayer::waitingForImport() const { return root_->importWait_ != nullptr; }

bool TimelinePlayer::libraryComplete() const {
  return movie_.complete() && !importWait_ && (atEnd_ || cursor_.position() >= movie_.fileLength());
}

// ---- Dispatch ------------------------------------------------------------------

DispatchResult TimelinePlayer::dispatchTag() {
  if (atEnd_) return kDispatchAtEnd;
  if (waitingForImport()) return kDispatchIncomplete;
  const MovieBuffer& m = movie();
  if (!m.headerParsed()) return kDispatchIncomplete;
  // A stream that stops without its End tag ends there all the same.
  const int64_t end = isRoot() ? (m.complete() ? m.fileLength() : INT64_MAX) : streamEnd_;
  if (cursor_.position() >= end || (!isRoot() && end - cursor_.position() < 2)) {
    atEnd_ = true;
    return kDispatchAtEnd;
  }
  const int64_t start = cursor_.position();
  TagHeader tag;
  const TagRead r = cursor_.readTagHeader(tag);
  if (r == TagRead::Incomplete) return kDispatchIncomplete;
  if (r == TagRead::PastEnd) {
    context_.movieCorrupt();
    cursor_.setPosition(start);
    return kDispatchError;
  }
  cursor_.setReadEnd(tag.end);
  if (tag.code == static_cast<uint16_t>(TagCode::End)) {
    atEnd_ = true;
  } else if (isDefinitionTag(tag.code)) {
    defineTag(tag);
  } else if (!isLibrary()) {
    // A library defines characters but never runs its own control tags
    // (its sprites, placed by importers, run theirs).
    runControlTag(tag);
  }
  cursor_.clearReadEnd();
  cursor_.clearOverrun();
  cursor_.setPosition(tag.end);
  return m.failed() ? kDispatchError : kDispatchDone;
}

// Tag 10: the offset table follows the id (its first offset / 2 is the
// glyph count). Tag 48: flags, language, name and glyph count come first.
void TimelinePlayer::defineFont(const TagHeader& tag) {
  const bool font2 = tag.code == static_cast<uint16_t>(TagCode::DefineFont2);
  auto c = newCharacter(cursor_.readU16(), CharacterKind::Font, tag.code);
  Character::FontPart& f = c->part.emplace<Character::FontPart>();
  if (font2) {
    f.flags = cursor_.readU8();
    f.language = cursor_.readU8();
    if (version() < 6) f.language = (f.flags & 0x40) ? 2 : 1;
    if (f.language == 0) {
      context_.debugLog("WARNING: invalid language tag in QVX.\n");
      f.language = 1;
    }
    const uint8_t nameLength = cursor_.readU8();
    for (uint8_t i = 0; i < nameLength && !cursor_.overrun(); ++i) f.name += static_cast<char>(cursor_.readU8());
    f.glyphCount = cursor_.readU16();
  }
  if (cursor_.overrun()) return;  // a truncated definition defines nothing
  f.table = cursor_.current();
  f.tableLength = static_cast<size_t>(cursor_.remaining());
  if (!font2) f.glyphCount = f.tableLength >= 2 ? (f.table[0] | f.table[1] << 8) / 2u : 0;
  c->data = f.table;
  c->dataLength = f.tableLength;
  c->tagBody = cursor_.base() + tag.bodyStart;
  c->tagLength = tag.length;
  const std::string key = font2 ? MovieFonts::keyForFont2(f.flags, f.name) : std::string();
  std::shared_ptr<Character> defined = dictionary().define(std::move(c));
  // A name counts once its font is defined (a repeated id keeps the first).
  if (defined && font2 && !f.name.empty()) fonts().registerName(key, defined);
}

// A font information tag completes its font: name, style and code table.
void TimelinePlayer::defineFontInfo(const TagHeader& tag) {
  std::shared_ptr<Character> font = dictionary().lookup(cursor_.readU16());
  Character::FontPart* f = font ? font->font() : nullptr;
  if (!f || cursor_.overrun()) return;
  const uint8_t* body = cursor_.current();
  const size_t length = static_cast<size_t>(cursor_.remaining());
  std::string name;
  const uint8_t nameLength = cursor_.readU8();
  for (uint8_t i = 0; i < nameLength && !cursor_.overrun(); ++i) name += static_cast<char>(cursor_.readU8());
  const uint8_t flags = cursor_.readU8();
  if (cursor_.overrun()) return;
  if (!f->info) {
    f->info = body;
    f->infoLength = length;
  }
  f->infoTag = static_cast<uint8_t>(tag.code);
  f->infoUnicode = tag.code == 62 || version() >= 6;
  if (f->name.empty()) f->name = name;
  fonts().registerName(MovieFonts::keyForFontInfo(flags, name), font);
}

std::shared_ptr<Character> TimelinePlayer::newCharacter(uint16_t id, CharacterKind kind, uint16_t tagCode) {
  auto c = std::make_shared<Character>();
  c->id = id;
  c->kind = kind;
  c->tagCode = static_cast<uint8_t>(tagCode & 0xFF);
  c->owner = root_;
  return c;
}

void TimelinePlayer::defineTag(const TagHeader& tag) {
  Dictionary& dict = dictionary();
  auto finish = [&](std::shared_ptr<Character> c) {
    if (cursor_.overrun()) return;  // a truncated definition defines nothing
    c->data = cursor_.current();
    c->dataLength = static_cast<size_t>(cursor_.remaining());
    c->tagBody = cursor_.base() + tag.bodyStart;
    c->tagLength = tag.length;
    dict.define(std::move(c));
  };
  switch (static_cast<TagCode>(tag.code)) {
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3:
    case TagCode::DefineText:
    case TagCode::DefineText2:
    case TagCode::DefineEditText: {
      const uint16_t id = cursor_.readU16();
      const TagCode code = static_cast<TagCode>(tag.code);
      const CharacterKind kind = code == TagCode::DefineEditText ? CharacterKind::EditText
                                 : (code == TagCode::DefineText || code == TagCode::DefineText2)
                                     ? CharacterKind::StaticText
                                     : CharacterKind::Shape;
      auto c = newCharacter(id, kind, tag.code);
      c->bounds = cursor_.readRect();
      if (kind == CharacterKind::EditText && !cursor_.overrun() && !dict.find(id)) {
        TagCursor flags = cursor_;
        if (!(flags.readU16() & 0x0100)) display().setHoldsDeviceText();  // no embedded outlines
      }
      finish(std::move(c));
      break;
    }
    case TagCode::FreeCharacter:
      dict.remove(cursor_.readU16());
      break;
    case TagCode::DefineBits:
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsJPEG2:
    case TagCode::DefineBitsJPEG3:
    case TagCode::DefineBitsLossless2:
    {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::Bitmap, tag.code);
      c->part.emplace<Character::BitmapPart>();
      finish(std::move(c));
      break;
    }
    case TagCode::DefineButton:
    case TagCode::DefineButton2: {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::Button, tag.code);
      Character::ButtonPart& button = c->part.emplace<Character::ButtonPart>();
      if (tag.code == static_cast<uint16_t>(TagCode::DefineButton2)) button.trackAsMenu = cursor_.readU8() & 1;
      finish(std::move(c));
      break;
    }
    case TagCode::JPEGTables:
      // Decoded by the bitmap code; the first tables a movie carries are its own.
      if (!root_->jpegTables_ && cursor_.remaining() > 0) {
        root_->jpegTables_ = cursor_.current();
        root_->jpegTablesLength_ = static_cast<size_t>(cursor_.remaining());
        bitmaps().setJpegTables(root_->jpegTables_, root_->jpegTablesLength_);
      }
      break;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
      defineFont(tag);
      break;
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2:
      defineFontInfo(tag);
      break;
    case TagCode::DefineSound: {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::Sound, tag.code);
      Character::SoundPart& sound = c->part.emplace<Character::SoundPart>();
      sound.format = cursor_.readU8();
      sound.sampleCount = cursor_.readU32();
      if ((sound.format >> 4) == 2) sound.seekSamples = cursor_.readU16();
      const uint16_t id = c->id;
      if (!supportedSoundCodec(sound.format)) {
        if (std::shared_ptr<Character> old = dict.find(id); old && old->kind == CharacterKind::Sound)
          dict.remove(id);
        break;
      }
      finish(std::move(c));
      break;
    }
    case TagCode::DefineButtonSound:
    case TagCode::DefineButtonCxform: {
      std::shared_ptr<Character> b = dict.lookup(cursor_.readU16());
      Character::ButtonPart* button = b ? b->button() : nullptr;
      if (!button || cursor_.overrun()) break;
      const bool sound = tag.code == static_cast<uint16_t>(TagCode::DefineButtonSound);
      const uint8_t*& data = sound ? button->soundData : button->cxformData;
      size_t& length = sound ? button->soundLength : button->cxformLength;
      if (!data && cursor_.remaining() > 0) {
        data = cursor_.current();
        length = static_cast<size_t>(cursor_.remaining());
      }
      break;
    }
    case TagCode::DefineSprite: {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::Sprite, tag.code);
      c->part.emplace<Character::SpritePart>().frameCount = cursor_.readU16();
      finish(std::move(c));
      break;
    }
    case TagCode::DefineMorphShape: {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::MorphShape, tag.code);
      c->bounds = cursor_.readRect();
      c->part.emplace<Character::MorphPart>().endBounds = cursor_.readRect();
      finish(std::move(c));
      break;
    }
    case TagCode::DefineVideoStream: {
      auto c = newCharacter(cursor_.readU16(), CharacterKind::VideoStream, tag.code);
      Character::VideoPart& video = c->part.emplace<Character::VideoPart>();
      video.frameCount = cursor_.readU16();
      const uint16_t width = cursor_.readU16();
      const uint16_t height = cursor_.readU16();
      c->bounds = RECT{0, width * 20, 0, height * 20};
      if (video.frameCount > 0 && !dict.find(c->id))
        video.frames = std::make_unique<Character::VideoFrameData[]>(video.frameCount);
      finish(std::move(c));
      break;
    }
    case TagCode::ExportAssets:
      exportAssets();
      break;
    case TagCode::ImportAssets:
      importAssets(tag);
      break;
    default:
      break;
  }
}

void TimelinePlayer::runControlTag(const TagHeader& tag) {
  switch (static_cast<TagCode>(tag.code)) {
    case TagCode::ShowFrame:
      ++currentFrame_;
      break;
    case TagCode::SetBackgroundColor:
      context_.setBackgroundColor(cursor_.readRgb());
      break;
    case TagCode::FrameLabel:
      label_ = cursor_.readString();
      break;
    case TagCode::PlaceObject:
      placeObject(tag, false);
      break;
    case TagCode::PlaceObject2:
      placeObject(tag, true);
      break;
    case TagCode::RemoveObject:
    case TagCode::RemoveObject2: {
      if (tag.code == static_cast<uint16_t>(TagCode::RemoveObject)) cursor_.readU16();  // the id is not used
      const uint16_t depth = cursor_.readU16();
      if (object_ && !cursor_.overrun()) display().remove(*object_, depth);
      break;
    }
    case TagCode::DoAction:
      if (!seeking_ && cursor_.remaining() > 0) {
        ActionBlock block;
        block.code = cursor_.current();
        block.length = static_cast<size_t>(cursor_.remaining());
        block.clip = object_;
        block.version = version();
        context_.actions().push(ActionList::Frame, block);
      }
      break;
    case TagCode::DoInitAction: {
      // Init actions run once per sprite; passing over them in a seek still counts.
      std::shared_ptr<Character> sprite = dictionary().lookup(cursor_.readU16());
      Character::SpritePart* part = sprite ? sprite->sprite() : nullptr;
      if (!part || part->initActionsDone || cursor_.overrun()) break;
      part->initActionsDone = true;
      if (cursor_.remaining() > 0) {
        ActionBlock block;
        block.code = cursor_.current();
        block.length = static_cast<size_t>(cursor_.remaining());
        block.clip = object_;
        block.version = version();
        context_.actions().push(ActionList::Init, block);
      }
      break;
    }
    case TagCode::VideoFrame: {
      std::shared_ptr<Character> video = dictionary().lookup(cursor_.readU16());
      const uint16_t frame = cursor_.readU16();
      Character::VideoPart* part = video ? video->video() : nullptr;
      if (!part || !part->frames || cursor_.overrun()) break;
      Character::VideoFrameData& slot = part->frames[frame % part->frameCount];
      slot.data = cursor_.current();
      slot.length = static_cast<size_t>(cursor_.remaining());
      break;
    }
    case TagCode::StartSound: {
      // While a stream plays, its fetches start the sounds in step with it.
      if (seeking_ || (soundStream_ && soundStream_->playing())) break;
      const std::shared_ptr<Character> sound = dictionary().lookup(cursor_.readU16());
      if (!sound || sound->kind != CharacterKind::Sound || cursor_.overrun()) break;
      context_.startSound(*this, *sound, cursor_.current(), static_cast<size_t>(cursor_.remaining()));
      break;
    }
    case TagCode::SoundStreamHead:
    case TagCode::SoundStreamHead2: {
      const uint8_t playback = cursor_.readU8();
      const uint8_t format = cursor_.readU8();
      const uint16_t perBlock = cursor_.readU16();
      if (cursor_.overrun()) break;
      soundStream_ = std::make_unique<TimelineSoundStream>(*this, context_, playback, format, perBlock);
      break;
    }
    case TagCode::SoundStreamBlock:
      // The first block met while no channel plays starts one; the channel
      // fetches the blocks itself from then on.
      if (!seeking_ && soundStream_ && !soundStream_->playing())
        context_.startSoundStream(*soundStream_, tag.start, currentFrame_);
      break;
    default:
      break;
  }
}

void TimelinePlayer::placeObject(const TagHeader& tag, bool second) {
  if (!object_) return;
  PlaceInfo info;
  info.version = version();
  if (!second) {
    const uint16_t id = cursor_.readU16();
    info.depth = cursor_.readU16();
    info.matrix = cursor_.readMatrix();
    info.flags = kPlaceHasCharacter | kPlaceHasMatrix;
    if (cursor_.remaining() > 0) {
      info.cxform = cursor_.readCxform(false);
      info.flags |= kPlaceHasCxform;
    }
    if (cursor_.overrun()) return;
    info.character = dictionary().lookup(id);
    if (!info.character) return;  // an undefined character places nothing
    display().place(*object_, info);
    return;
  }
  info.flags = cursor_.readU8();
  info.depth = cursor_.readU16();
  uint16_t id = 0;
  if (info.flags & kPlaceHasCharacter) id = cursor_.readU16();
  if (info.flags & kPlaceHasMatrix) info.matrix = cursor_.readMatrix();
  if (info.flags & kPlaceHasCxform) info.cxform = cursor_.readCxform(true);
  if (info.flags & kPlaceHasRatio) info.ratio = cursor_.readU16();
  if (info.flags & kPlaceHasName) info.name = cursor_.readString();
  if (info.flags & kPlaceHasClipDepth) info.clipDepth = cursor_.readU16();
  if (info.flags & kPlaceHasClipActions) {
    info.clipActions = cursor_.current();
    info.clipActionsLength = static_cast<size_t>(cursor_.remaining());
  }
  if (cursor_.overrun()) return;
  (void)tag;
  if (info.flags & kPlaceHasCharacter) {
    info.character = dictionary().lookup(id);
    if (!info.character) return;  // ignored as a whole
  }
  if (info.flags & kPlaceMove) {
    display().move(*object_, info);
  } else if (display().place(*object_, info) == PlaceResult::NoCharacter) {
    context_.movieCorrupt();
  }
}

// ---- Export and import ---------------------------------------------------------

void TimelinePlayer::exportAssets() {
  const uint16_t count = cursor_.readU16();
  for (uint16_t i = 0; i < count && !cursor_.overrun(); ++i) {
    const uint16_t id = cursor_.readU16();
    std::string name = cursor_.readString();
    if (cursor_.overrun()) break;
    std::shared_ptr<Character> c = dictionary().find(id);
    if (!c) continue;
    c->exportName = name;
    root_->exports_[std::move(name)] = std::move(c);
  }
}

std::shared_ptr<Character> TimelinePlayer::exported(const std::string& name, bool chain, int hops) const {
  const auto& exports = root_->exports_;
  if (auto it = exports.find(name); it != exports.end()) return it->second;
  if (!chain || hops >= kMaxExportHops) return nullptr;
  for (const TimelinePlayer* source : root_->importSources_)
    if (auto c = source->exported(name, true, hops + 1)) return c;
  return nullptr;
}

void TimelinePlayer::importAssets(const TagHeader& tag) {
  TimelinePlayer& r = *root_;
  if (r.importWait_) return;  // one import is awaited at a time
  const std::string url = cursor_.readString();
  if (cursor_.overrun()) return;
  if (version() >= 6 && !context_.importAllowed(r.url_, url)) return;
  TimelinePlayer& library = context_.libraryFor(r.url_, url);
  if (std::find(r.importSources_.begin(), r.importSources_.end(), &library) == r.importSources_.end())
    r.importSources_.push_back(&library);
  r.importTagBody_ = cursor_.position();
  r.importTagEnd_ = tag.end;
  r.importWait_ = &library;
  if (library.libraryComplete()) r.resolveImport();
}

void TimelinePlayer::resolveImport() {
  TimelinePlayer& r = *root_;
  TimelinePlayer* library = r.importWait_;
  if (!library) return;
  const bool v6 = version() >= 6;
  TagCursor in(r.movie_.data(), r.importTagEnd_, version());
  in.setPosition(r.importTagBody_);
  const uint16_t count = in.readU16();
  for (uint16_t i = 0; i < count && !in.overrun(); ++i) {
    const uint16_t id = in.readU16();
    std::string name = in.readString();
    if (in.overrun()) break;
    if (r.dictionary_.find(id)) continue;
    std::shared_ptr<Character> target = library->exported(name, v6);
    if (!target) continue;
    auto alias = newCharacter(id, CharacterKind::ImportAlias, static_cast<uint16_t>(TagCode::ImportAssets));
    alias->target = target;
    r.dictionary_.define(alias);
    if (v6) r.exports_[std::move(name)] = target;
  }
  if (v6 && !library->libraryInitActionsQueued_) {
    library->libraryInitActionsQueued_ = true;
    queueLibraryInitActions(*library);
  }
  r.importWait_ = nullptr;
}

void TimelinePlayer::queueLibraryInitActions(TimelinePlayer& library) {
  const MovieBuffer& m = library.movie_;
  TagCursor in(m.data(), m.received(), m.version());
  in.setSizeLimit(m.fileLength());
  in.setPosition(m.firstTagPosition());
  TagHeader tag;
  while (in.readTagHeader(tag) == TagRead::Tag && tag.code != static_cast<uint16_t>(TagCode::End)) {
    if (tag.code == static_cast<uint16_t>(TagCode::DoInitAction) && tag.length > 2) {
      ActionBlock block;
      block.code = m.data() + tag.bodyStart + 2;  // after the sprite id
      block.length = tag.length - 2;
      block.clip = root_->object_;
      block.version = m.version();
      context_.actions().push(ActionList::Init, block);
    }
    in.setPosition(tag.end);
  }
}

// ---- Frames -------------------------------------------------------------------

DispatchResult TimelinePlayer::runToFrame(int frame) {
  DispatchResult result = kDispatchDone;
  while (currentFrame_ < frame) {
    result = dispatchTag();
    if (result != kDispatchDone) break;
  }
  return result;
}

void TimelinePlayer::rewindCursor() {
  cursor_.setPosition(firstTag_);
  currentFrame_ = -1;
  label_.clear();
  atEnd_ = false;
}

int TimelinePlayer::seek(int frame) {
  const MovieBuffer& m = movie();
  if (m.failed()) return static_cast<int>(m.status());
  if (!m.headerParsed()) return kDispatchIncomplete;
  if (removed_ || root_->isLibrary()) return kDispatchDone;
  const bool offStage = isSoundStream();
  if (isRoot() && !object_ && !offStage) display().placeLevel(*this, level_, levelCharacter());
  if (!object_ && !offStage) return kDispatchDone;
  if (frame < 0) frame = 0;
  // A jump ends the stream; the next block met starts it again.
  if (soundStream_) soundStream_->stop();
  if (frame < currentFrame_ && offStage) {
    rewindCursor();
  } else if (frame < currentFrame_) {
    rewindCursor();
    std::vector<std::unique_ptr<DisplayObject>> kept = display().beginRewind(*object_);
    seeking_ = true;
    runToFrame(frame - 1);
    seeking_ = false;
    const int result = runToFrame(frame);
    display().endRewind(*object_, std::move(kept));
    return result;
  }
  seeking_ = true;
  runToFrame(frame - 1);
  seeking_ = false;
  return runToFrame(frame);
}

void TimelinePlayer::advance() {
  if (skipNextAdvance_) {
    skipNextAdvance_ = false;
    return;
  }
  if (removed_) return;
  // A level waits for its first frame before it is placed and runs.
  if (isRoot() && !object_ && rootKind_ != RootKind::SoundStream) return;
  // enterFrame fires every tick, playing or not.
  if (object_) display().fireEvent(*object_, kClipEventEnterFrame);
  if (!playing_) return;
  if (soundStream_ && soundStream_->playing() && context_.heldByStream(*this)) return;
  int target = currentFrame_ + 1;
  if (isRoot()) target = std::min(target, movie_.framesLoaded());
  const DispatchResult result = runToFrame(target);
  if (result == kDispatchIncomplete) return;
  if (result < 0) {
    stop();
  } else if (result == kDispatchAtEnd) {
    // A one-frame timeline never restarts.
    if (loop_ && currentFrame_ != 0) {
      seek(0);
    } else {
      stop();
    }
  }
}

void TimelinePlayer::play(bool restart) {
  if (restart && !loop_ && currentFrame_ >= frameCount() - 1) seek(0);
  playing_ = true;
}

void TimelinePlayer::stop() {
  playing_ = false;
  if (soundStream_) soundStream_->stop();
}

TagCursor TimelinePlayer::tagCursor() const {
  TagCursor in = cursor_;
  in.clearReadEnd();
  in.clearOverrun();
  return in;
}

void TimelinePlayer::defineAhead(const TagHeader& tag) {
  const TagCursor saved = cursor_;
  cursor_.setPosition(tag.bodyStart);
  cursor_.setReadEnd(tag.end);
  defineTag(tag);
  cursor_ = saved;
}

int64_t TimelinePlayer::tagStreamEnd() const {
  const MovieBuffer& m = movie();
  return isRoot() ? (m.complete() ? m.fileLength() : INT64_MAX) : streamEnd_;
}

void TimelinePlayer::gotoAndStop(int frame) {
  stop();
  seek(frame);
}

int TimelinePlayer::findFrameLabel(const std::string& name, int first) {
  const MovieBuffer& m = movie();
  if (!m.headerParsed()) return -1;
  TagCursor in = cursor_;
  in.clearReadEnd();
  in.setPosition(firstTag_);
  const int64_t end = isRoot() ? INT64_MAX : streamEnd_;
  int frame = 0;
  TagHeader tag;
  while (in.position() < end) {
    const TagRead r = in.readTagHeader(tag);
    if (r == TagRead::Incomplete) return -1;
    if (r == TagRead::PastEnd) {
      context_.movieCorrupt();
      return -1;
    }
    if (tag.code == static_cast<uint16_t>(TagCode::End)) return -1;
    if (tag.code == static_cast<uint16_t>(TagCode::ShowFrame)) ++frame;
    if (tag.code == static_cast<uint16_t>(TagCode::FrameLabel) && frame >= first) {
      in.setReadEnd(tag.end);
      if (equalsIgnoringCase(in.readString(), name)) return frame;
      in.clearReadEnd();
    }
    in.setPosition(tag.end);
  }
  return -1;
}

std::shared_ptr<Character> TimelinePlayer::levelCharacter() {
  TimelinePlayer& r = *root_;
  if (!r.levelCharacter_) {
    r.levelCharacter_ = makeLevelCharacter(kLevelRootId, &r, r.movie_.frameRect());
  }
  return r.levelCharacter_;
}

}  // namespace kivra
