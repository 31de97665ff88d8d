#include "core/movie/ButtonRecords.h"

#include "core/format/TagCodes.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

uint8_t visibleStates(ButtonMode mode) {
  switch (mode) {
    case ButtonMode::Idle: return kButtonUp;
    case ButtonMode::Over: return kButtonOver;
    case ButtonMode::PressedInside: return kButtonDown;
    case ButtonMode::PressedOutside: return kButtonOver;
  }
  return kButtonUp;
}

ButtonMode modeAfter(int transition) {
  switch (transition) {
    case kIdleToOverUp:
    case kOverDownToOverUp: return ButtonMode::Over;
    case kOverUpToOverDown:
    case kOutDownToOverDown:
    case kIdleToOverDown: return ButtonMode::PressedInside;
    case kOverDownToOutDown: return ButtonMode::PressedOutside;
    default: return ButtonMode::Idle;
  }
}

uint32_t transitionEvent(int transition) {
  static constexpr uint32_t kEvents[] = {0x2000, 0x4000, 0x400, 0x800, 0x10000, 0x8000, 0x1000, 0x8000, 0x10000};
  return transition >= 0 && transition <= 8 ? kEvents[transition] : 0;
}

int transitionSoundEntry(int transition) {
  static constexpr int kEntries[] = {1, 0, 2, 3, -1, -1, 0, 1, 0};
  return transition >= 0 && transition <= 8 ? kEntries[transition] : -1;
}

ButtonRecords::ButtonRecords(const Character& button) : c_(button) {
  records_ = button.kind == CharacterKind::Button && button.data;
  second_ = button.tagCode == static_cast<uint8_t>(TagCode::DefineButton2);
  if (button.owner) version_ = button.owner->version();
}

bool ButtonRecords::readRecord(TagCursor& in, ButtonRecord& r) const {
  r.states = in.readU8();
  if (r.states == 0 || in.overrun()) return false;
  r.characterId = in.readU16();
  r.depth = in.readU16();
  r.matrix = in.readMatrix();
  if (second_) r.cxform = in.readCxform(true);
  in.alignToByte();
  return !in.overrun();
}

int64_t ButtonRecords::recordsEnd() const {
  TagCursor in(c_.data, static_cast<int64_t>(c_.dataLength), version_);
  if (second_) in.readU16();
  for (size_t guard = 0; guard <= c_.dataLength; ++guard) {
    ButtonRecord r;
    if (!readRecord(in, r)) break;
  }
  // The end marker was read unless the bytes ran out first.
  return in.overrun() ? -1 : in.position();
}

namespace {
bool skipSoundInfo(TagCursor& in) {
  const uint8_t flags = in.readU8();
  if (flags & 0x01) in.readU32();
  if (flags & 0x02) in.readU32();
  if (flags & 0x04) in.readU16();
  if (flags & 0x08) in.skip(static_cast<int64_t>(in.readU8()) * 8);
  return !in.overrun();
}
}  // namespace

ButtonSound ButtonRecords::sound(int entry) const {
  ButtonSound out;
  const Character::ButtonPart* part = c_.button();
  if (entry < 0 || entry > 3 || !part || !part->soundData) return out;
  TagCursor in(part->soundData, static_cast<int64_t>(part->soundLength), version_);
  for (int i = 0;; ++i) {
    const uint16_t id = in.readU16();
    if (in.overrun()) return ButtonSound{};
    const int64_t infoStart = in.position();
    if (id != 0 && !skipSoundInfo(in)) return ButtonSound{};
    if (i == entry) {
      if (id == 0) return out;
      out.soundId = id;
      out.info = part->soundData + infoStart;
      out.infoLength = static_cast<size_t>(in.position() - infoStart);
      return out;
    }
  }
}

std::shared_ptr<Character> ButtonRecords::soundCharacter(const ButtonSound& s) const {
  if (!s.soundId || !c_.owner) return nullptr;
  std::shared_ptr<Character> sound = c_.owner->dictionary().lookup(s.soundId);
  return sound && sound->kind == CharacterKind::Sound ? sound : nullptr;
}

}  // namespace kivra
