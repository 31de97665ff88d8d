#include "core/script/ScriptHeap.h"

namespace kivra {

ScriptHeap::~ScriptHeap() { destroyAll(); }

ScriptObject* ScriptHeap::create(ClassTag tag) {
  ScriptObject* o = new ScriptObject(*this, tag);
  o->heapIndex = objects_.size();
  objects_.push_back(o);
  return o;
}

void ScriptHeap::unregister(ScriptObject* o) {
  const size_t i = o->heapIndex;
  objects_[i] = objects_.back();
  objects_[i]->heapIndex = i;
  objects_.pop_back();
}

void ScriptHeap::unreferenced(ScriptObject* o) {
  o->dying = true;
  pending_.push_back(o);
  if (!draining_) drainPending();
}

void ScriptHeap::drainPending() {
  draining_ = true;
  while (!pending_.empty()) {
    ScriptObject* o = pending_.back();
    pending_.pop_back();
    unregister(o);
    delete o;  // its values may queue more objects
  }
  draining_ = false;
}

size_t ScriptHeap::collect(const std::vector<ScriptObject*>& roots) {
  // Counts that the graph explains.
  for (ScriptObject* o : objects_) {
    o->gcCount = o->refs();
    o->gcMarked = false;
  }
  for (ScriptObject* o : objects_)
    o->forEachValue([](ScriptValue& v) {
      if (ScriptObject* t = v.asObject()) --t->gcCount;
    });
  std::vector<ScriptObject*> stack;
  auto mark = [&stack](ScriptObject* o) {
    if (o && !o->gcMarked) {
      o->gcMarked = true;
      stack.push_back(o);
    }
  };
  for (ScriptObject* o : roots) mark(o);
  for (ScriptObject* o : objects_)
    if (o->gcCount > 0 || o->permanent() || o->isClipObject()) mark(o);
  while (!stack.empty()) {
    ScriptObject* o = stack.back();
    stack.pop_back();
    o->forEachValue([&mark](ScriptValue& v) {
      if (ScriptObject* t = v.asObject()) mark(t);
      else if (ClipReference* r = v.asClip())
        mark(r->object());
    });
  }
  // Sweep in two passes: every dead object first lets go of its values (a
  // release that reaches another dead object frees nothing), then all go.
  std::vector<ScriptObject*> dead;
  for (ScriptObject* o : objects_)
    if (!o->gcMarked) {
      o->dying = true;
      dead.push_back(o);
    }
  for (ScriptObject* o : dead) o->clearAll();
  for (ScriptObject* o : dead) {
    unregister(o);
    delete o;
  }
  return dead.size();
}

void ScriptHeap::destroyAll() {
  for (ScriptObject* o : objects_) o->dying = true;
  for (ScriptObject* o : objects_) o->clearAll();
  for (ScriptObject* o : objects_) delete o;
  objects_.clear();
  pending_.clear();
}

}  // namespace kivra
