#pragma once
// Reading the body of a button character (DefineButton, DefineButton2): its
// state records, its condition-action records and, through the tags that
// add to a button, its colour transform and transition sounds. Nothing is
// copied: every read goes through a TagCursor over the tag bytes, so a
// short or corrupt body ends the list where the bytes end.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/movie/Character.h"
#include "core/format/Records.h"
#include "core/format/TagCursor.h"

namespace kivra {

// State bits of a button record.
enum ButtonStateBit : uint8_t {
  kButtonUp = 0x01,
  kButtonOver = 0x02,
  kButtonDown = 0x04,
  kButtonHitTest = 0x08,
};

// Tracking modes, which are also what a button shows.
enum class ButtonMode : uint8_t { Idle = 1, Over = 2, PressedInside = 3, PressedOutside = 4 };

// The records a mode shows: idle the up records, over and pressed outside
// the over records, pressed inside the down records.
uint8_t visibleStates(ButtonMode mode);

// Transitions of the state machine, numbered as the condition bits are.
enum ButtonTransition : int {
  kIdleToOverUp = 0,
  kOverUpToIdle = 1,
  kOverUpToOverDown = 2,
  kOverDownToOverUp = 3,
  kOverDownToOutDown = 4,
  kOutDownToOverDown = 5,
  kOutDownToIdle = 6,
  kIdleToOverDown = 7,
  kOverDownToIdle = 8,
};

// The mode a transition leads to, the clip-event bit a sprite acting as a
// button receives for it, and the button sound entry it plays (-1: none).
ButtonMode modeAfter(int transition);
uint32_t transitionEvent(int transition);
int transitionSoundEntry(int transition);

struct ButtonRecord {
  uint8_t states = 0;
  uint16_t characterId = 0;
  uint16_t depth = 0;
  MATRIX matrix;
  CXFORM cxform;
};

// One condition-action record. `code` points at the action bytes, which run
// to the end of the record (the end of the tag for the last one).
struct ButtonCondition {
  uint16_t conditions = 0;
  const uint8_t* code = nullptr;
  size_t length = 0;
  // Bits 0-8: transitions; bits 9-15: a key code.
  bool onTransition(int t) const { return (conditions >> t) & 1; }
  uint8_t keyCode() const { return static_cast<uint8_t>(conditions >> 9); }
};

// A sound entry of DefineButtonSound: the sound id and its SoundInfo bytes.
struct ButtonSound {
  uint16_t soundId = 0;
  const uint8_t* info = nullptr;
  size_t infoLength = 0;
};

class ButtonRecords {
 public:
  // `button` must be a button character; another kind reads as empty.
  explicit ButtonRecords(const Character& button);

  bool second() const { return second_; }  // DefineButton2
  // Calls f(const ButtonRecord&) for every state record, in order.
  template <typename F>
  void forEachRecord(F&& f) const;
  // Calls f(const ButtonCondition&) for every condition record. A
  // DefineButton's single action block is reported as a condition of
  // transition 3 (release) alone.
  template <typename F>
  void forEachCondition(F&& f) const;
  // The sound entry (0..3) of DefineButtonSound; soundId 0 when none.
  ButtonSound sound(int entry) const;
  // The sound character an entry names; null when the id names no sound.
  std::shared_ptr<Character> soundCharacter(const ButtonSound& s) const;

 private:
  bool readRecord(TagCursor& in, ButtonRecord& r) const;
  int64_t recordsEnd() const;

  const Character& c_;
  bool records_ = false;  // a button with a body
  bool second_ = false;
  int version_ = 6;
};


template <typename F>
void ButtonRecords::forEachRecord(F&& f) const {
  if (!records_) return;
  TagCursor in(c_.data, static_cast<int64_t>(c_.dataLength), version_);
  if (second_) in.readU16();  // the action offset
  // A record is at least 7 bytes, so a body holds no more than that many.
  for (size_t guard = 0; guard <= c_.dataLength; ++guard) {
    ButtonRecord r;
    if (!readRecord(in, r)) return;
    f(static_cast<const ButtonRecord&>(r));
  }
}

template <typename F>
void ButtonRecords::forEachCondition(F&& f) const {
  if (!records_) return;
  const int64_t size = static_cast<int64_t>(c_.dataLength);
  if (!second_) {
    const int64_t start = recordsEnd();
    if (start < 0 || start >= size) return;
    ButtonCondition cond;
    cond.conditions = 1u << kOverDownToOverUp;
    cond.code = c_.data + start;
    cond.length = static_cast<size_t>(size - start);
    f(static_cast<const ButtonCondition&>(cond));
    return;
  }
  TagCursor in(c_.data, size, version_);
  const uint16_t offset = in.readU16();
  if (offset == 0 || in.overrun()) return;
  int64_t pos = offset;  // from the offset field, which starts the data
  for (size_t guard = 0; guard <= c_.dataLength && pos + 4 <= size; ++guard) {
    in.setPosition(pos);
    const uint16_t recordSize = in.readU16();
    ButtonCondition cond;
    cond.conditions = in.readU16();
    if (in.overrun()) return;
    const int64_t codeStart = pos + 4;
    int64_t end = recordSize == 0 ? size : pos + recordSize;
    // A record that claims to run past the tag ends with it; one too small
    // to hold its own header carries no actions and ends the list.
    if (end > size) end = size;
    if (end < codeStart) return;
    cond.code = c_.data + codeStart;
    cond.length = static_cast<size_t>(end - codeStart);
    f(static_cast<const ButtonCondition&>(cond));
    if (recordSize == 0) return;
    pos = end;
  }
}

}  // namespace kivra
