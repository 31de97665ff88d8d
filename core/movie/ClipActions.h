#pragma once
// The clip-event actions a PlaceObject2 attaches to a sprite (flag 0x80), and
// the clip-event bits they answer to. The records stay in the movie buffer;
// firing an event queues the matching records' action bytes.
#include <cstddef>
#include <cstdint>

#include "core/movie/ActionQueue.h"

namespace kivra {

enum ClipEvent : uint32_t {
  kClipEventLoad = 0x1,
  kClipEventEnterFrame = 0x2,
  kClipEventUnload = 0x4,
  kClipEventMouseMove = 0x8,
  kClipEventMouseDown = 0x10,
  kClipEventMouseUp = 0x20,
  kClipEventKeyDown = 0x40,
  kClipEventKeyUp = 0x80,
  kClipEventData = 0x100,
  kClipEventInitialize = 0x200,
  kClipEventPress = 0x400,
  kClipEventRelease = 0x800,
  kClipEventReleaseOutside = 0x1000,
  kClipEventRollOver = 0x2000,
  kClipEventRollOut = 0x4000,
  kClipEventDragOver = 0x8000,
  kClipEventDragOut = 0x10000,
  kClipEventKeyPress = 0x20000,
  // A sprite with any of these acts as a button.
  kClipEventButtonMask = 0x3FC00,
};

class ClipActions {
 public:
  ClipActions() = default;
  // data: the clip-action bytes (reserved field first) up to the tag end.
  // Event fields are 16 bits wide before version 6 and 32 bits from 6.
  ClipActions(const uint8_t* data, size_t length, int version);

  bool empty() const { return events_ == 0; }
  // The union of the events of the records actually present.
  uint32_t events() const { return events_; }
  bool handles(uint32_t event) const { return (events_ & event) != 0; }

  // Whether a keyPress record answers to the key code.
  bool handlesKey(uint8_t keyCode) const;

  // Queues every record whose flags contain the event, in record order: on
  // the init list for `initialize`, else on the frame list. A keyPress record
  // is queued only when its key code equals `keyCode`.
  void fire(uint32_t event, uint8_t keyCode, DisplayObject* clip, ActionQueue& queue) const;

 private:
  template <typename F>
  void forEachRecord(F&& f) const;

  const uint8_t* data_ = nullptr;
  size_t length_ = 0;
  int version_ = 6;
  uint32_t events_ = 0;
};

}  // namespace kivra
