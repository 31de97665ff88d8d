#include "core/script/ScriptObject.h"

#include "core/script/ScriptHeap.h"

namespace kivra {

namespace {
constexpr size_t kInitialBuckets = 15;
}

void ObjectCell::unreferenced() {
  ScriptObject* o = static_cast<ScriptObject*>(this);
  if (o->permanent() || o->isClipObject() || o->dying) return;
  o->heap().unreferenced(o);
}

ScriptObject::ScriptObject(ScriptHeap& heap, ClassTag tag) : heap_(&heap), layout_(heap.nextLayout()), tag_(tag) {}

void ScriptObject::newLayout() { layout_ = heap_->nextLayout(); }

ScriptObject::~ScriptObject() {
  clearAll();
  if (clipRef_) {
    clipRef_->detach(std::string());
    clipRef_->release();
  }
}

void ScriptObject::clearAll() {
  // Unlink first, then drop the values: dropping may free other objects.
  newLayout();
  Property* p = head_;
  head_ = tail_ = nullptr;
  buckets_.clear();
  count_ = 0;
  lastFound_ = resolve_ = length_ = proto_ = nullptr;
  while (p) {
    Property* next = p->next;
    delete p;
    p = next;
  }
  std::unique_ptr<FunctionBody> f = std::move(function_);
  std::unique_ptr<std::vector<WatchEntry>> w = std::move(watches_);
  std::unique_ptr<ActivationData> a = std::move(activation_);
  std::unique_ptr<NativeState> n = std::move(nativeState_);
  superTarget_.clear();
  primitive_.clear();
}

Property* ScriptObject::findInTable(std::string_view name, uint32_t hash) {
  if (buckets_.empty()) return nullptr;
  for (Property* p = buckets_[hash % buckets_.size()]; p; p = p->hashNext)
    if (p->hash == hash && equalsIgnoringCase(p->name, name)) {
      lastFound_ = p;
      return p;
    }
  return nullptr;
}

void ScriptObject::rehash(size_t n) {
  buckets_.assign(n, nullptr);
  for (Property* p = head_; p; p = p->next) {
    Property*& b = buckets_[p->hash % n];
    p->hashNext = b;
    b = p;
  }
}

Property* ScriptObject::append(std::string_view name, uint32_t hash, const ScriptValue& value, uint16_t flags) {
  newLayout();
  Property* p = new Property();
  p->name.assign(name);
  p->hash = hash;
  p->value = value;
  p->flags = flags & ~(kForceWrite | kNoInheritedSetter);
  p->prev = tail_;
  if (tail_) tail_->next = p;
  else head_ = p;
  tail_ = p;
  ++count_;
  if (buckets_.empty()) buckets_.assign(kInitialBuckets, nullptr);
  if (count_ >= buckets_.size() / 2) {
    rehash(buckets_.size() * 2);
  } else {
    Property*& b = buckets_[hash % buckets_.size()];
    p->hashNext = b;
    b = p;
  }
  if (equalsIgnoringCase(name, "__proto__")) proto_ = p;
  else if (equalsIgnoringCase(name, "__resolve")) resolve_ = p;
  else if (equalsIgnoringCase(name, "length")) length_ = p;
  lastFound_ = p;
  return p;
}

void ScriptObject::put(std::string_view name, const ScriptValue& value, uint16_t flags) {
  if (Property* p = findOwn(name)) {
    p->value = value;
    p->flags = flags;
    return;
  }
  append(name, value, flags);
}

void ScriptObject::forget(Property* p) {
  if (lastFound_ == p) lastFound_ = nullptr;
  if (resolve_ == p) resolve_ = nullptr;
  if (length_ == p) length_ = nullptr;
  if (proto_ == p) proto_ = nullptr;
}

void ScriptObject::remove(Property* p) {
  newLayout();
  forget(p);
  if (p->prev) p->prev->next = p->next;
  else head_ = p->next;
  if (p->next) p->next->prev = p->prev;
  else tail_ = p->prev;
  Property** link = &buckets_[p->hash % buckets_.size()];
  while (*link && *link != p) link = &(*link)->hashNext;
  if (*link) *link = p->hashNext;
  --count_;
  // The values may free other objects; the record is gone by then.
  ScriptValue value = std::move(p->value);
  ScriptValue getter = std::move(p->getter);
  ScriptValue setter = std::move(p->setter);
  delete p;
}


ClipReference* ScriptObject::clipReference() {
  if (!clipRef_) {
    clipRef_ = new ClipReference(this);
    clipRef_->retain();
  }
  return clipRef_;
}

void ScriptObject::detachClip(std::string lastPath) {
  if (clipRef_) {
    clipRef_->detach(std::move(lastPath));
    clipRef_->release();
    clipRef_ = nullptr;
  }
  clip_ = nullptr;
}

std::vector<WatchEntry>& ScriptObject::makeWatches() {
  if (!watches_) watches_ = std::make_unique<std::vector<WatchEntry>>();
  return *watches_;
}

ActivationData& ScriptObject::makeActivation() {
  if (!activation_) activation_ = std::make_unique<ActivationData>();
  return *activation_;
}

}  // namespace kivra
