#pragma once
// The record behind a movie-clip value. A clip keeps one ClipReference that
// every value referring to it shares; it points at the clip's script object
// while the clip lives, and keeps the clip's dot path so that a value can be
// re-resolved (or found gone) after the clip was removed.
#include <cstdint>
#include <string>

namespace kivra {

class ScriptObject;

class ClipReference {
 public:
  explicit ClipReference(ScriptObject* clipObject) : object_(clipObject) {}
  ClipReference(const ClipReference&) = delete;
  ClipReference& operator=(const ClipReference&) = delete;

  void retain() { ++refs_; }
  void release() {
    if (--refs_ == 0) delete this;
  }
  uint32_t refs() const { return refs_; }

  // The clip's script object, or null once the clip is gone.
  ScriptObject* object() const { return object_; }
  // Called by the clip object when it dies: the path stays for re-resolving.
  void detach(std::string lastPath) {
    object_ = nullptr;
    path_ = std::move(lastPath);
  }
  const std::string& path() const { return path_; }

 private:
  ~ClipReference() = default;
  ScriptObject* object_;
  std::string path_;
  uint32_t refs_ = 0;
};

}  // namespace kivra
