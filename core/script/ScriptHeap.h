#pragma once
// Every script object of a player is registered here. Objects whose count
// of references drops to 0 are freed at once (iteratively, so long chains do
// not recurse); the collector frees unreachable cycles.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/script/ScriptObject.h"

namespace kivra {

class ScriptHeap {
 public:
  ScriptHeap() = default;
  ~ScriptHeap();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;

  // A new registered object with no reference yet: wrap it in a value.
  ScriptObject* create(ClassTag tag = ClassTag::Object);
  size_t objectCount() const { return objects_.size(); }

  // Called when an object's count reaches 0.
  void unreferenced(ScriptObject* o);

  // Mark and sweep. `roots` are marked, and so is every object that is held
  // from outside the object graph (a count that the graph's own references
  // do not explain: values on the stack, in contexts or in native code).
  // Returns the number of objects freed.
  size_t collect(const std::vector<ScriptObject*>& roots);

  // Frees every object (player shutdown).
  void destroyAll();

  // A layout stamp never handed out before (see ScriptObject::layout).
  uint64_t nextLayout() { return ++layouts_; }

 private:
  void drainPending();
  void unregister(ScriptObject* o);

  std::vector<ScriptObject*> objects_;
  std::vector<ScriptObject*> pending_;
  bool draining_ = false;
  uint64_t layouts_ = 0;
};

}  // namespace kivra
