#include "core/movie/ClipActions.h"

#include "core/format/TagCursor.h"

namespace kivra {

ClipActions::ClipActions(const uint8_t* data, size_t length, int version)
    : data_(data), length_(data ? length : 0), version_(version) {
  forEachRecord([this](uint32_t flags, uint8_t, const uint8_t*, size_t) { events_ |= flags; });
}

template <typename F>
void ClipActions::forEachRecord(F&& f) const {
  if (!data_ || length_ == 0) return;
  TagCursor in(data_, static_cast<int64_t>(length_), version_);
  const bool wide = version_ >= 6;
  auto readEvents = [&] { return wide ? in.readU32() : in.readU16(); };
  in.readU16();  // reserved
  readEvents();  // the union the tag claims; the records are what count
  for (;;) {
    const uint32_t flags = readEvents();
    if (flags == 0 || in.overrun()) return;
    const uint32_t size = in.readU32();
    const int64_t start = in.position();
    // A record running past the tag is cut off and ends the list.
    if (in.overrun() || size > static_cast<uint64_t>(in.remaining())) return;
    const int64_t end = start + size;
    uint8_t key = 0;
    if (flags & kClipEventKeyPress) key = in.readU8();
    if (in.overrun() || in.position() > end) return;
    f(flags, key, data_ + in.position(), static_cast<size_t>(end - in.position()));
    in.setPosition(end);
  }
}

bool ClipActions::handlesKey(uint8_t keyCode) const {
  if (!(events_ & kClipEventKeyPress)) return false;
  bool found = false;
  forEachRecord([&](uint32_t flags, uint8_t key, const uint8_t*, size_t) {
    if ((flags & kClipEventKeyPress) && key == keyCode) found = true;
  });
  return found;
}

void ClipActions::fire(uint32_t event, uint8_t keyCode, DisplayObject* clip, ActionQueue& queue) const {
  if (!(events_ & event)) return;
  const ActionList list = event == kClipEventInitialize ? ActionList::Init : ActionList::Frame;
  forEachRecord([&](uint32_t flags, uint8_t key, const uint8_t* code, size_t length) {
    if (!(flags & event)) return;
    if (event == kClipEventKeyPress && key != keyCode) return;
    ActionBlock block;
    block.code = code;
    block.length = length;
    block.clip = clip;
    block.version = version_;
    block.event = event;
    queue.push(list, block);
  });
}

}  // namespace kivra
