#include "core/movie/Character.h"

namespace kivra {

namespace {
// Import chains are short (a library importing from a library); a longer one
// can only be a cycle.
constexpr int kMaxAliasHops = 32;
}  // namespace

Character* Character::resolved() {
  Character* c = this;
  for (int hops = 0; c && c->isAlias(); ++hops) {
    if (hops >= kMaxAliasHops) return nullptr;
    c = c->target.get();
  }
  return c;
}

Dictionary::~Dictionary() { clear(); }

std::shared_ptr<Character> Dictionary::find(uint16_t id) const {
  for (const std::shared_ptr<Character>* link = &buckets_[id & (kBuckets - 1)]; *link; link = &(*link)->next)
    if ((*link)->id == id) return *link;
  return nullptr;
}

Character* Dictionary::resolve(uint16_t id) const {
  for (Character* c = buckets_[id & (kBuckets - 1)].get(); c; c = c->next.get())
    if (c->id == id) return c->isAlias() ? c->resolved() : c;
  return nullptr;
}

std::shared_ptr<Character> Dictionary::define(std::shared_ptr<Character> c) {
  if (!c || find(c->id)) return nullptr;
  std::shared_ptr<Character>& head = buckets_[c->id & (kBuckets - 1)];
  c->next = head;
  head = c;
  ++count_;
  return c;
}

std::shared_ptr<Character> Dictionary::lookup(uint16_t id) const {
  std::shared_ptr<Character> c = find(id);
  if (!c || !c->isAlias()) return c;
  Character* end = c->resolved();
  if (!end) return nullptr;
  // Walk the aliases again to hand out an owning pointer to the end.
  std::shared_ptr<Character> p = c;
  while (p.get() != end) p = p->target;
  return p;
}

int Dictionary::remove(uint16_t id) {
  int removed = 0;
  std::shared_ptr<Character>* link = &buckets_[id & (kBuckets - 1)];
  while (*link) {
    if ((*link)->id == id) {
      std::shared_ptr<Character> gone = *link;
      *link = gone->next;
      gone->next.reset();
      ++removed;
      --count_;
    } else {
      link = &(*link)->next;
    }
  }
  return removed;
}

void Dictionary::clear() {
  // Unlink iteratively: a long chain must not unwind recursively.
  for (auto& head : buckets_) {
    while (head) {
      std::shared_ptr<Character> gone = head;
      head = gone->next;
      gone->next.reset();
    }
  }
  count_ = 0;
}

}  // namespace kivra
