#pragma once
// The local shared objects of one player: SharedObject script objects whose
// `data` persists in files through the host's SharedObjectStorage. An
// object is found or made by getLocal and read from its file; it is written
// by flush (within the site's limit, or after the user was asked), and when
// the movie unloads or the player exits if it changed since it was read or
// last written.
//
// Never losing data: an object whose file was there but could not be used
// starts empty, and the file stays until the object has something to
// store; writes replace a file in one step (the storage's contract).
//
// Ownership: the objects' native state holds where they live; this keeps
// the open objects, and those waiting for the user's answer, alive for the
// collector. Player thread only.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/host/SharedObjectStorage.h"
#include "core/net/SharedObjectPath.h"
#include "core/script/ScriptObject.h"
#include "core/script/StorageLimits.h"

namespace kivra {

class ScriptEngine;

// Files larger than this are not read (the object starts empty).
constexpr size_t kMaxSharedObjectFileBytes = 16u << 20;

// What a SharedObject script object keeps natively.
class SharedObjectState : public NativeState {
 public:
  SharedObjectPlace place;
  std::string file;      // its file below the root
  std::string movieUrl;  // the movie that opened it: its site's limit applies
  uint32_t stamp = 0;
  uint32_t extra = 0;
  std::vector<uint8_t> stored;  // the encoding as read or last written
  uint64_t storedSize = 0;      // bytes of its file on disk
  bool unreadable = false;      // a file was there but could not be used
  uint32_t pending = 0;         // the storage request it waits for, or 0
  uint64_t pendingMinimum = 0;  // and the flush's minDiskSpace
};

class SharedObjects {
 public:
  explicit SharedObjects(ScriptEngine& engine) : e_(engine) {}
  SharedObjects(const SharedObjects&) = delete;
  SharedObjects& operator=(const SharedObjects&) = delete;

  // Who answers the limits (not owned; null restores the default).
  void setLimits(StorageLimits* limits) { limits_ = limits ? limits : &defaultLimits_; }

  // The object already open at the place of `name`, or null.
  ScriptValue findOpen(const std::string& movieUrl, const std::string& name, const std::string* localPath);
  // Makes `object` the shared object `name` with a new `data` read from its
  // file. False (after onStatus "SharedObject.Failed") for a refused name
  // or path.
  bool bind(ScriptObject& object, const std::string& movieUrl, const std::string& name,
            const std::string* localPath);
  // flush(minDiskSpace): true, false or "pending".
  ScriptValue flush(ScriptObject& object, double minDiskSpace);
  // The bytes its file would hold; 0 with nothing to store.
  double size(ScriptObject& object);
  // Empties `data` and removes the file.
  void clear(ScriptObject& object);
  // The user answered the storage request: the waiting object is written
  // when it now fits, and hears onStatus either way.
  void storageAnswered(uint32_t request);
  // Whether the object waiting under `request` would fit its site's limit now.
  bool storageFits(uint32_t request);
  // Every stored object of the site's folder was deleted: the open ones
  // have no file now.
  void siteCleared(const std::string& site);
  // The movie unloads (or the player exits): changed objects are written
  // within their limits, and every object is let go.
  void unloadAll();
  void collectRoots(std::vector<ScriptObject*>& out) const;
  size_t openCount() const { return open_.size(); }

  static SharedObjectState* stateOf(ScriptObject* object);

 private:
  SharedObjectStorage& storage();
  // The file bytes of the object's data; `members` tells whether any was stored.
  std::vector<uint8_t> encode(ScriptObject& object, SharedObjectState& s, bool& members);
  void read(ScriptObject& object, SharedObjectState& s);
  // The file in a long path's hashed folder that stores this object, or a new number.
  std::string longPathFile(const SharedObjectPlace& place);
  // Whether `needed` bytes fit in the site's limit; `mayAsk` is false when
  // the user is not to be asked.
  bool fits(SharedObjectState& s, uint64_t needed, bool& mayAsk);
  // Writes (or, with nothing to store, removes) the file.
  bool store(SharedObjectState& s, const std::vector<uint8_t>& bytes, bool members);
  void status(ScriptObject& object, const char* code, const char* level, const char* description);

  ScriptEngine& e_;
  DefaultStorageLimits defaultLimits_;
  StorageLimits* limits_ = &defaultLimits_;
  NullSharedObjectStorage nowhere_;
  std::map<std::string, ScriptValue> open_;      // by logical path
  std::map<uint32_t, ScriptValue> waiting_;      // by storage request
  uint32_t lastRequest_ = 0;
};

}  // namespace kivra
