// Sound methods (class 500): the sound transform of the object's target clip
// (or the player's, without a target), and sounds attached by linkage name
// and started on that clip, or loaded by URL (loadSound). The target is
// kept as the object's primitive, the attached name in a hidden property. The object is kept while the
// channel it started plays, and hears onSoundComplete when it ends.
#include <cmath>

#include "core/format/TextEncoding.h"
#include "core/movie/TimelineSoundStream.h"
#include "core/script/UrlRequests.h"
#include "core/script/UrlLoads.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t {
  kGetPan = 0, kGetTransform, kGetVolume, kSetPan, kSetTransform, kSetVolume, kStop, kAttachSound, kStart,
  kGetDuration, kSetDuration, kGetPosition, kSetPosition, kLoadSound, kGetBytesLoaded, kGetBytesTotal,
  kConstruct = 16,
};

constexpr const char* kAttached = "$attachedSound";

ScriptObject* self(NativeCall& c) {
  ScriptObject* o = c.engine.toObject(c.thisValue);
  return o && o->classTag() == ClassTag::Sound ? o : nullptr;
}

// The timeline a streaming loadSound plays, or null.
TimelinePlayer* streamTimeline(NativeCall& c, ScriptObject& o) {
  const auto* loaded = dynamic_cast<const LoadedSoundState*>(o.nativeState());
  return loaded ? c.engine.player().soundStreamTimeline(loaded->movie) : nullptr;
}

// Milliseconds of a streaming sound's frames.
double streamMs(TimelinePlayer& t, int64_t frames) {
  const TimelineSoundStream* stream = t.soundStream();
  if (!stream || frames <= 0) return 0;
  return std::round(static_cast<double>(frames) * stream->samplesPerBlock() * 1000 / stream->format().rate());
}

// The target's timeline; null for the player's own transform. A streaming
// loadSound makes its own timeline the target.
TimelinePlayer* targetTimeline(NativeCall& c, ScriptObject& o) {
  if (TimelinePlayer* stream = streamTimeline(c, o)) return stream;
  if (o.primitive().isUndefined()) return nullptr;
  DisplayObject* d = clipOf(c.engine, o.primitive());
  return d ? d->timeline() : nullptr;
}

// Where a started sound plays: the target, or the root of level 0.
TimelinePlayer* playClip(NativeCall& c, ScriptObject& o) {
  TimelinePlayer* t = targetTimeline(c, o);
  return t ? t : c.engine.player().level0();
}

std::shared_ptr<Character> attachedSound(NativeCall& c, ScriptObject& o) {
  // A sound loaded by URL takes the place of one attached by name.
  if (const auto* loaded = dynamic_cast<const LoadedSoundState*>(o.nativeState())) {
    std::shared_ptr<Character> sound = c.engine.player().loadedSound(loaded->movie);
    return sound && sound->kind == CharacterKind::Sound ? sound : nullptr;
  }
  ScriptValue name;
  TimelinePlayer* clip = playClip(c, o);
  if (!clip || !c.engine.getMember(&o, kAttached, name) || !name.isString()) return nullptr;
  std::shared_ptr<Character> sound = clip->root().exported(c.engine.toStdString(name), true);
  return sound && sound->kind == CharacterKind::Sound ? sound : nullptr;
}

// An ID3 version-1 tag at the end of an MP3 sound's data: an object with
// its fields, or undefined.
ScriptValue id3Of(ScriptEngine& e, const Character& sound) {
  const auto* part = std::get_if<Character::SoundPart>(&sound.part);
  if (!part || (part->format >> 4) != 2 || !sound.data || sound.dataLength < 128) return ScriptValue();
  const uint8_t* tag = sound.data + sound.dataLength - 128;
  if (tag[0] != 'T' || tag[1] != 'A' || tag[2] != 'G') return ScriptValue();
  ScriptObject* o = e.newObject();
  const ScriptValue result = ScriptValue::object(o);
  auto text = [&](const char* name, size_t at, size_t length) {
    std::string_view bytes(reinterpret_cast<const char*>(tag + at), length);
    bytes = bytes.substr(0, bytes.find('\0'));
    e.setMember(o, name, e.makeString(text::convert(bytes, true, e.version() <= 5, e.codePage())));
  };
  const bool hasTrack = tag[125] == 0;
  text("songname", 3, 30);
  text("artist", 33, 30);
  text("album", 63, 30);
  text("year", 93, 4);
  text("comment", 97, hasTrack ? 28 : 30);
  if (hasTrack) e.setMember(o, "track", e.makeString(std::to_string(tag[126])));
  e.setMember(o, "genre", e.makeString(std::to_string(tag[127])));
  return result;
}

double number(NativeCall& c, int i) { return c.engine.toNumber(c.arg(i)); }

void construct(NativeCall& c) {
  ScriptObject* o = c.engine.toObject(c.thisValue);
  if (!c.construct || !o) return;
  o->setClassTag(ClassTag::Sound);
  if (c.argc < 1) return;
  if (clipOf(c.engine, c.arg(0))) {
    o->primitive() = c.arg(0);
  } else if (c.arg(0).isString()) {
    // A target path, from the clip that makes the object.
    if (ScriptObject* clip = resolveFromCaller(c, c.arg(0)); clip && DisplayClipBridge::displayObject(clip))
      o->primitive() = ScriptValue::object(clip);
  }
}

void method(NativeCall& c) {
  ScriptObject* o = self(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  PlayerServices& player = e.player();
  SoundTransform& t = player.soundTransform(targetTimeline(c, *o));
  switch (c.method) {
    case kGetVolume:
      c.result = ScriptValue::number(t.volume);
      break;
    case kSetVolume:
      if (c.argc >= 1) t.volume = toInt32(e, c.arg(0));
      break;
    case kGetPan:
      c.result = ScriptValue::number(t.ll != 100 ? 100 - std::abs(t.ll) : t.rr == 100 ? 0 : std::abs(t.rr) - 100);
      break;
    case kSetPan: {
      const int32_t p = c.argc >= 1 ? toInt32(e, c.arg(0)) : 0;
      const int32_t volume = t.volume;
      t = SoundTransform{};
      t.volume = volume;
      if (p >= 1) t.ll = 100 - p;
      else if (p < 0) t.rr = 100 + p;
      break;
    }
    case kGetTransform: {
      ScriptObject* r = e.newObject();
      c.result = ScriptValue::object(r);
      e.setMember(r, "ll", ScriptValue::number(t.ll));
      e.setMember(r, "lr", ScriptValue::number(t.lr));
      e.setMember(r, "rr", ScriptValue::number(t.rr));
      e.setMember(r, "rl", ScriptValue::number(t.rl));
      break;
    }
    case kSetTransform: {
      ScriptObject* from = c.argc >= 1 ? e.toObject(c.arg(0)) : nullptr;
      if (!from) break;
      ScriptValue v;
      if (e.getMember(from, "ll", v)) t.ll = toInt32(e, v);
      if (e.getMember(from, "lr", v)) t.lr = toInt32(e, v);
      if (e.getMember(from, "rr", v)) t.rr = toInt32(e, v);
      if (e.getMember(from, "rl", v)) t.rl = toInt32(e, v);
      break;
    }
    case kAttachSound: {
      if (c.argc < 1) break;
      o->setNativeState(nullptr);
      o->put(kAttached, e.makeString(e.toStdString(c.arg(0))), kDontEnum);
      // An MP3 sound's ID3 tag shows as "id3".
      std::shared_ptr<Character> sound = attachedSound(c, *o);
      const ScriptValue id3 = sound ? id3Of(e, *sound) : ScriptValue();
      if (!id3.isUndefined()) e.setMember(o, "id3", id3);
      break;
    }
    case kStart: {
      if (TimelinePlayer* stream = streamTimeline(c, *o)) {
        // A streaming sound goes to the frame that holds the offset.
        const double offset = c.argc >= 1 ? number(c, 0) : 0;
        const TimelineSoundStream* head = stream->soundStream();
        double frame = head && offset > 0 ? offset * head->format().rate() / head->samplesPerBlock() : 0;
        frame = std::min(frame, static_cast<double>(std::max(0, stream->movie().framesLoaded() - 1)));
        stream->seek(static_cast<int>(frame));
        stream->play(false);
        break;
      }
      std::shared_ptr<Character> sound = attachedSound(c, *o);
      TimelinePlayer* clip = playClip(c, *o);
      if (!sound || !clip) break;
      SoundInfo info;
      const double offset = c.argc >= 1 ? number(c, 0) : 0;
      if (offset > 0) {
        info.flags |= SoundInfo::HasInPoint;
        info.inPoint = offset * 44100 < 4294967295.0 ? static_cast<uint32_t>(offset * 44100) : 0xFFFFFFFFu;
      }
      const double loops = c.argc >= 2 ? number(c, 1) : 0;
      if (loops > 0) {
        info.flags |= SoundInfo::HasLoops;
        info.loops = loops < 4294967295.0 ? static_cast<uint32_t>(loops) : 0xFFFFFFFFu;
      }
      if (std::shared_ptr<SoundChannel> channel = player.startScriptSound(*sound, info, *clip))
        e.clips().soundStarted(std::move(channel), *o);
      break;
    }
    case kStop: {
      TimelinePlayer* target = targetTimeline(c, *o);
      const bool named = c.argc >= 1 && !c.arg(0).isUndefined();
      const std::string name = named ? e.toStdString(c.arg(0)) : std::string();
      const auto hasName = [&](const SoundChannel& ch) {
        const Character* sound = static_cast<const Character*>(ch.sound);
        return sound && !ch.isStream() && sound->exportName == name;
      };
      SoundMixer& mixer = player.mixer();
      if (target && named) {
        mixer.stopByClip(target, hasName);
      } else if (target) {
        if (TimelineSoundStream* stream = target->soundStream()) stream->stop();
        // A streaming sound's timeline would start its stream again at the
        // next block it meets.
        if (target->isSoundStream()) target->stop();
        mixer.stopByClip(target);
      } else if (named) {
        if (TimelinePlayer* root = player.level0()) mixer.stopByClip(root, hasName);
      } else {
        mixer.stopAll();
      }
      break;
    }
    case kGetDuration: {
      if (TimelinePlayer* stream = streamTimeline(c, *o)) {
        // As much as has arrived.
        c.result = ScriptValue::number(streamMs(*stream, stream->movie().framesLoaded()));
        break;
      }
      std::shared_ptr<Character> sound = attachedSound(c, *o);
      const Character::SoundPart* part = sound ? std::get_if<Character::SoundPart>(&sound->part) : nullptr;
      double ms = 0;
      if (part) {
        const SoundFormat f(part->format);
        ms = std::round(static_cast<double>(uint64_t{part->sampleCount} << f.shift()) * 1000 / 44100);
      }
      c.result = ScriptValue::number(ms);
      break;
    }
    case kGetPosition: {
      if (TimelinePlayer* stream = streamTimeline(c, *o)) {
        c.result = ScriptValue::number(streamMs(*stream, stream->currentFrame()));
        break;
      }
      const int64_t p = e.clips().soundPosition(*o);
      ScriptValue kept;
      if (p >= 0) c.result = ScriptValue::number(std::round(static_cast<double>(p) * 1000 / 44100));
      else if (e.getMember(o, "$soundPosition", kept) && kept.isNumber()) c.result = kept;
      else c.result = ScriptValue::number(0);
      break;
    }
    case kLoadSound: {
      // loadSound(url, streaming): the sound arrives with the frame steps;
      // onLoad tells how it went.
      if (c.argc < 1) break;
      UrlRequests& requests = e.displayClips().urlRequests();
      const std::string url = e.toStdString(c.arg(0));
      if (!requests.dataLoadAllowed(url)) break;
      UrlStreamRequest request;
      request.url = requests.absoluteUrl(url);
      o->put("$bytesLoaded", ScriptValue::number(0), kDontEnum);
      o->put("$bytesTotal", ScriptValue(), kDontEnum);
      player.debugLog("LoadFile " + request.url + "\n");
      e.displayClips().urlLoads().loadSound(request, *o, c.argc >= 2 && e.toBoolean(c.arg(1)), e.version());
      break;
    }
    case kGetBytesLoaded:
    case kGetBytesTotal: {
      ScriptValue v;
      if (e.getMember(o, c.method == kGetBytesLoaded ? "$bytesLoaded" : "$bytesTotal", v)) c.result = v;
      break;
    }
    default:
      break;
  }
}

constexpr NativeMethod kSoundMethods[] = {
    {kGetPan, "getPan", method},
    {kGetTransform, "getTransform", method},
    {kGetVolume, "getVolume", method},
    {kSetPan, "setPan", method},
    {kSetTransform, "setTransform", method},
    {kSetVolume, "setVolume", method},
    {kStop, "stop", method},
    {kAttachSound, "attachSound", method},
    {kStart, "start", method},
    {kGetDuration, "getDuration", method},
    {kGetPosition, "getPosition", method},
    {kLoadSound, "loadSound", method},
    {kGetBytesLoaded, "getBytesLoaded", method},
    {kGetBytesTotal, "getBytesTotal", method},
    {kConstruct, "Sound", construct},
};

}  // namespace

const NativeClass kSoundNatives{kNativeSound, "Sound", kSoundMethods};

}  // namespace kivra
