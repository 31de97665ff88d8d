#include "core/script/SharedObjects.h"

#include <algorithm>
#include <cstdio>

#include "core/net/SharedObjectFile.h"
#include "core/script/AmfScriptValues.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {

// Values that stand for native things other than plain data are not stored.
bool storable(const ScriptValue& v) {
  const ScriptObject* o = v.asObject();
  if (!o) return true;
  if (o->isFunction()) return false;
  switch (o->classTag()) {
    case ClassTag::Object:
    case ClassTag::Array:
    case ClassTag::Date:
    case ClassTag::XmlNode:
      return true;
    default:
      return false;
  }
}

// The number of a long path's file ("1F.sol" is 0x1F), or -1.
int64_t fileNumber(const std::string& name) {
  if (name.size() <= 4 || name.size() > 12 || !name.ends_with(".sol")) return -1;
  int64_t n = 0;
  for (size_t i = 0; i + 4 < name.size(); ++i) {
    const char c = name[i];
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return -1;
    n = n * 16 + d;
  }
  return n;
}

}  // namespace

SharedObjectState* SharedObjects::stateOf(ScriptObject* object) {
  return object ? dynamic_cast<SharedObjectState*>(object->nativeState()) : nullptr;
}

SharedObjectStorage& SharedObjects::storage() {
  SharedObjectStorage* s = e_.player().sharedObjectStorage();
  return s ? *s : nowhere_;
}

ScriptValue SharedObjects::findOpen(const std::string& movieUrl, const std::string& name,
                                    const std::string* localPath) {
  SharedObjectPlace place;
  if (!placeSharedObject(movieUrl, name, localPath, storage().rootLength(), place)) return ScriptValue::null();
  auto it = open_.find(place.logicalPath);
  return it == open_.end() ? ScriptValue::null() : it->second;
}

bool SharedObjects::bind(ScriptObject& object, const std::string& movieUrl, const std::string& name,
                         const std::string* localPath) {
  auto s = std::make_unique<SharedObjectState>();
  bool placed = !stateOf(&object) && placeSharedObject(movieUrl, name, localPath, storage().rootLength(), s->place);
  // The settings' own scope is theirs alone.
  if (placed && s->place.settingsScope && !limits_->settingsAddress(movieUrl)) placed = false;
  if (!placed) {
    e_.player().debugLog("SharedObject refused: " + name + "\n");
    status(object, "SharedObject.Failed", "error", "Could not create shared object.");
    return false;
  }
  s->movieUrl = movieUrl;
  s->file = s->place.longPath ? longPathFile(s->place) : s->place.path;
  SharedObjectState& state = *s;
  object.setNativeState(std::move(s));
  e_.setMember(&object, "data", ScriptValue::object(e_.newObject()));
  read(object, state);
  open_[state.place.logicalPath] = ScriptValue::object(&object);
  return true;
}

std::string SharedObjects::longPathFile(const SharedObjectPlace& place) {
  std::vector<std::string> names;
  storage().listFiles(place.path, names);
  int64_t highest = -1;
  std::vector<uint8_t> bytes;
  for (const std::string& n : names) {
    const int64_t number = fileNumber(n);
    if (number < 0) continue;
    highest = std::max(highest, number);
    SharedObjectFile file;
    if (storage().readFile(place.path + "/" + n, kMaxSharedObjectFileBytes, bytes) == StoredFile::Read &&
        readSharedObjectFile(bytes.data(), bytes.size(), file) != SolReadStatus::TooShort &&
        file.longPath == place.logicalPath)
      return place.path + "/" + n;
  }
  char name[24];
  std::snprintf(name, sizeof name, "%llX.sol", static_cast<unsigned long long>(highest + 1));
  return place.path + "/" + name;
}

void SharedObjects::read(ScriptObject& object, SharedObjectState& s) {
  std::vector<uint8_t> bytes;
  const StoredFile found = storage().readFile(s.file, kMaxSharedObjectFileBytes, bytes);
  SharedObjectFile file;
  const SolReadStatus status =
      found == StoredFile::Read ? readSharedObjectFile(bytes.data(), bytes.size(), file) : SolReadStatus::TooShort;
  const bool usable = (status == SolReadStatus::Ok || status == SolReadStatus::Damaged) && file.name == s.place.name;
  s.storedSize = bytes.size();
  s.unreadable = found == StoredFile::Unreadable || (found == StoredFile::Read && !usable);
  if (usable) {
    // A damaged file gives what was read before the damage; it is kept
    // until the object stores something.
    s.unreadable = status == SolReadStatus::Damaged;
    s.stamp = file.stamp;
    s.extra = file.extra;
    ScriptValue data;
    e_.getMember(&object, "data", data, false);
    if (ScriptObject* d = data.asObject()) {
      AmfToScript convert(e_);
      convert.noteObject(data);
      for (const AmfMember& m : file.members) {
        if (!e_.countNativeStep()) break;
        e_.setMember(d, m.name, convert.convert(m.value));
      }
    }
  }
  bool members = false;
  s.stored = encode(object, s, members);
}

std::vector<uint8_t> SharedObjects::encode(ScriptObject& object, SharedObjectState& s, bool& members) {
  SharedObjectFile file;
  file.name = s.place.name;
  file.stamp = s.stamp;
  file.extra = s.extra;
  if (s.place.longPath) file.longPath = s.place.logicalPath;
  ScriptValue data;
  e_.getMember(&object, "data", data, false);
  if (ScriptObject* d = data.asObject()) {
    AmfFromScript convert(e_, false);
    convert.noteObject(d);
    std::vector<std::pair<std::string, ScriptValue>> list;
    for (const Property* p = d->firstProperty(); p; p = p->next) {
      // Hidden members only when undefined.
      if (p->accessor || ((p->flags & kDontEnum) && !p->value.isUndefined())) continue;
      if (!p->visibleTo(e_.version()) || !storable(p->value)) continue;
      list.emplace_back(p->name, p->value);
    }
    for (auto& [name, value] : list) file.members.push_back(AmfMember{name, convert.convert(value)});
  }
  members = !file.members.empty();
  return writeSharedObjectFile(file);
}

bool SharedObjects::fits(SharedObjectState& s, uint64_t needed, bool& mayAsk) {
  mayAsk = false;
  if (s.place.settingsScope) return true;
  int64_t limit = limits_->siteLimit(s.movieUrl);
  if (limit == StorageLimits::kUnlimited) return true;
  mayAsk = limit != StorageLimits::kNeverAsk;
  if (limit < 0) limit = 0;
  // The object's own file is about to be replaced: it does not count.
  const uint64_t site = storage().folderSize(s.place.site);
  const uint64_t others = site > s.storedSize ? site - s.storedSize : 0;
  return static_cast<uint64_t>(limit) >= others && static_cast<uint64_t>(limit) - others >= needed;
}

bool SharedObjects::store(SharedObjectState& s, const std::vector<uint8_t>& bytes, bool members) {
  if (!members) {
    // Nothing to store: no file. A file this object could not read is not
    // its to delete.
    if (s.unreadable) return true;
    if (!storage().removeFile(s.file)) return false;
    s.storedSize = 0;
    s.stored = bytes;
    return true;
  }
  if (!storage().writeFile(s.file, bytes)) {
    e_.player().debugLog("SharedObject not written: " + s.file + "\n");
    return false;
  }
  s.storedSize = bytes.size();
  s.stored = bytes;
  s.unreadable = false;
  return true;
}

ScriptValue SharedObjects::flush(ScriptObject& object, double minDiskSpace) {
  SharedObjectState* s = stateOf(&object);
  if (!s) return ScriptValue::boolean(false);
  if (s->pending) return e_.makeString("pending");
  bool members = false;
  const std::vector<uint8_t> bytes = encode(object, *s, members);
  const double wanted = minDiskSpace > 0 && minDiskSpace < 1e15 ? minDiskSpace : 0;
  const uint64_t needed = std::max<uint64_t>(static_cast<uint64_t>(wanted), bytes.size());
  bool mayAsk = false;
  if (!fits(*s, needed, mayAsk)) {
    const uint32_t request = ++lastRequest_;
    if (mayAsk && limits_->requestStorage(s->movieUrl, needed, request)) {
      s->pending = request;
      s->pendingMinimum = static_cast<uint64_t>(wanted);
      waiting_[request] = ScriptValue::object(&object);
      return e_.makeString("pending");
    }
    return ScriptValue::boolean(false);
  }
  return ScriptValue::boolean(store(*s, bytes, members));
}

double SharedObjects::size(ScriptObject& object) {
  SharedObjectState* s = stateOf(&object);
  if (!s) return 0;
  bool members = false;
  const std::vector<uint8_t> bytes = encode(object, *s, members);
  return members ? static_cast<double>(bytes.size()) : 0;
}

void SharedObjects::clear(ScriptObject& object) {
  SharedObjectState* s = stateOf(&object);
  if (!s) return;
  ScriptValue data;
  e_.getMember(&object, "data", data, false);
  if (ScriptObject* d = data.asObject()) {
    std::vector<Property*> gone;
    for (Property* p = d->firstProperty(); p; p = p->next)
      if (p != d->protoProperty() && !(p->flags & kDontDelete)) gone.push_back(p);
    for (Property* p : gone) d->remove(p);
  }
  // Clearing is the movie's own wish: the file goes even if it was unreadable.
  if (storage().removeFile(s->file)) {
    s->storedSize = 0;
    s->unreadable = false;
  }
  bool members = false;
  s->stored = encode(object, *s, members);
}

void SharedObjects::storageAnswered(uint32_t request) {
  auto it = waiting_.find(request);
  if (it == waiting_.end()) return;
  const ScriptValue held = it->second;
  waiting_.erase(it);
  ScriptObject* object = held.asObject();
  SharedObjectState* s = stateOf(object);
  if (!s || s->pending != request) return;
  s->pending = 0;
  bool members = false;
  const std::vector<uint8_t> bytes = encode(*object, *s, members);
  // The same test as the flush made: a refused request must not pass on a
  // smaller size.
  bool mayAsk = false;
  if (fits(*s, std::max<uint64_t>(s->pendingMinimum, bytes.size()), mayAsk) && store(*s, bytes, members))
    status(*object, "SharedObject.Flush.Success", "status", nullptr);
  else
    status(*object, "SharedObject.Flush.Failed", "error", nullptr);
}

bool SharedObjects::storageFits(uint32_t request) {
  auto it = waiting_.find(request);
  if (it == waiting_.end()) return true;  // nothing waits: the request may go
  ScriptObject* object = it->second.asObject();
  SharedObjectState* s = stateOf(object);
  if (!s) return true;
  bool members = false;
  const std::vector<uint8_t> bytes = encode(*object, *s, members);
  bool mayAsk = false;
  return fits(*s, std::max<uint64_t>(s->pendingMinimum, bytes.size()), mayAsk);
}

void SharedObjects::siteCleared(const std::string& site) {
  for (auto& [path, held] : open_) {
    SharedObjectState* s = stateOf(held.asObject());
    if (!s || s->place.site != site) continue;
    s->storedSize = 0;
    s->stored.clear();
    s->unreadable = false;
  }
}

void SharedObjects::unloadAll() {
  std::map<std::string, ScriptValue> open;
  open.swap(open_);
  waiting_.clear();
  for (auto& [path, held] : open) {
    ScriptObject* object = held.asObject();
    SharedObjectState* s = stateOf(object);
    if (!s) continue;
    s->pending = 0;
    bool members = false;
    const std::vector<uint8_t> bytes = encode(*object, *s, members);
    if (bytes == s->stored) continue;
    bool mayAsk = false;
    if (!fits(*s, bytes.size(), mayAsk)) {
      e_.player().debugLog("SharedObject over its site's limit, not written: " + s->file + "\n");
      continue;
    }
    (void)store(*s, bytes, members);
  }
}

void SharedObjects::collectRoots(std::vector<ScriptObject*>& out) const {
  for (const auto& [path, held] : open_)
    if (ScriptObject* o = held.asObject()) out.push_back(o);
  for (const auto& [request, held] : waiting_)
    if (ScriptObject* o = held.asObject()) out.push_back(o);
}

void SharedObjects::status(ScriptObject& object, const char* code, const char* level, const char* description) {
  ScriptObject* info = e_.newObject();
  const ScriptValue infoValue = ScriptValue::object(info);
  e_.setMember(info, "code", e_.makeString(code));
  e_.setMember(info, "level", e_.makeString(level));
  if (description) e_.setMember(info, "description", e_.makeString(description));
  const ScriptValue target = ScriptValue::object(&object);
  if (e_.running()) e_.callMethod(target, "onStatus", &infoValue, 1);
  else e_.callMethodFromOutside(target, "onStatus", &infoValue, 1);
}

}  // namespace kivra
