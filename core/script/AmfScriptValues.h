#pragma once
// Script values as AMF values and back: the script side of the AMF0 codec
// that shared objects, local connections and remote calls share. The codec
// (core/net) sees only the neutral model.
//
// Objects are numbered as they are met, depth first, so that the numbers
// agree with the order in which the codec writes and reads them: an object
// met again becomes a reference, and so does a cycle. Nesting deeper than
// kMaxAmfDepth is cut (written as undefined).
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "core/net/AmfValue.h"
#include "core/script/ScriptValue.h"

namespace kivra {

class ScriptEngine;
class ScriptObject;

class AmfFromScript {
 public:
  // `strictArrays`: an array with only index elements becomes a strict
  // array (remote calls); otherwise every array is a mixed one.
  AmfFromScript(ScriptEngine& engine, bool strictArrays) : e_(engine), strictArrays_(strictArrays) {}
  // Numbers an object written elsewhere (a shared object's data comes first).
  void noteObject(ScriptObject* o) { seen_.emplace(o, next_++); }
  AmfValue convert(const ScriptValue& v) { return convert(v, 0); }

 private:
  AmfValue convert(const ScriptValue& v, size_t depth);
  void members(ScriptObject* o, AmfValue& out, size_t depth);

  ScriptEngine& e_;
  bool strictArrays_;
  std::unordered_map<const ScriptObject*, uint32_t> seen_;
  uint32_t next_ = 0;
};

class AmfToScript {
 public:
  explicit AmfToScript(ScriptEngine& engine) : e_(engine) {}
  // Numbers an object read elsewhere, as noteObject does.
  void noteObject(const ScriptValue& o) { objects_.push_back(o); }
  // A reference to an object not met yet gives undefined.
  ScriptValue convert(const AmfValue& v) { return convert(v, 0); }

 private:
  ScriptValue convert(const AmfValue& v, size_t depth);
  void members(ScriptObject* o, const AmfValue& v, size_t depth);

  ScriptEngine& e_;
  std::vector<ScriptValue> objects_;
};

}  // namespace kivra
