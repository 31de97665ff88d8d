#include "core/movie/ActionQueue.h"

#include <algorithm>

namespace kivra {

void ActionQueue::push(ActionList list, const ActionBlock& block) {
  if (!block.code && block.version <= 5) return;
  lists_[static_cast<int>(list)].push_back(block);
}

bool ActionQueue::pop(ActionList list, ActionBlock& out) {
  std::deque<ActionBlock>& q = lists_[static_cast<int>(list)];
  if (q.empty()) return false;
  out = q.front();
  q.pop_front();
  return true;
}

bool ActionQueue::empty() const {
  return std::all_of(std::begin(lists_), std::end(lists_), [](const auto& q) { return q.empty(); });
}

void ActionQueue::forgetClip(const DisplayObject* clip) {
  for (auto& q : lists_)
    q.erase(std::remove_if(q.begin(), q.end(), [clip](const ActionBlock& b) { return b.clip == clip; }),
            q.end());
}

void ActionQueue::truncate(ActionList list, size_t size) {
  auto& q = lists_[static_cast<int>(list)];
  if (q.size() > size) q.resize(size);
}

void ActionQueue::moveAfter(ActionList list, size_t size, ActionQueue& to) {
  auto& q = lists_[static_cast<int>(list)];
  auto& target = to.lists_[static_cast<int>(list)];
  for (size_t i = size; i < q.size(); ++i) target.push_back(q[i]);
  truncate(list, size);
}

void ActionQueue::clear() {
  for (auto& q : lists_) q.clear();
}

}  // namespace kivra
