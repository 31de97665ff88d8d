#pragma once
// The pending lists of action blocks. Timelines, buttons and clip events
// queue blocks here; the interpreter takes them in priority order: init
// actions, then clip construction, then frame actions and events.
//
// A queued block points into its movie's buffer and at its clip; when a clip
// is destroyed the display list calls forgetClip() so no block outlives it.
#include <cstddef>
#include <cstdint>
#include <deque>

namespace kivra {

class DisplayObject;

enum class ActionList : uint8_t { Init = 0, Construct = 1, Frame = 2 };
constexpr int kActionListCount = 3;

struct ActionBlock {
  const uint8_t* code = nullptr;  // the first action byte; null for an event-only block
  size_t length = 0;              // bytes readable from `code` (the rest of its tag or record)
  DisplayObject* clip = nullptr;  // the clip the block belongs to
  int version = 6;                // version of the clip's movie
  uint32_t event = 0;             // the clip-event bit of an event block, else 0
  bool construct = false;         // a clip-construction block: the clip's class is applied
};

class ActionQueue {
 public:
  // Appends a block. An event-only block is dropped for a clip whose movie
  // is of version 5 or lower: those movies have no script event methods.
  void push(ActionList list, const ActionBlock& block);
  // Removes the oldest block of a list into `out`; false when it is empty.
  [[nodiscard]] bool pop(ActionList list, ActionBlock& out);
  bool empty(ActionList list) const { return lists_[static_cast<int>(list)].empty(); }
  bool empty() const;
  size_t size(ActionList list) const { return lists_[static_cast<int>(list)].size(); }
  // Drops every block that belongs to the clip.
  void forgetClip(const DisplayObject* clip);
  // Drops the blocks queued after the list held `size` (a silent visit).
  void truncate(ActionList list, size_t size);
  // Moves the blocks queued after the list held `size` to the end of the
  // same list of `to` (a movie whose first frame must run at once).
  void moveAfter(ActionList list, size_t size, ActionQueue& to);
  void clear();

 private:
  std::deque<ActionBlock> lists_[kActionListCount];
};

}  // namespace kivra
