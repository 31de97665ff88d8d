#include "core/script/ArraySort.h"

namespace kivra {

const ScriptValue& ScriptSortComparator::textOf(SortEntry& e, ScriptValue& scratch) {
  if (e.hasText) return e.text;
  // Converting an object may run its toString: a script sees that happen on
  // every comparison, so only primitives keep their text.
  if (e.key.isObject() || e.key.isClip()) {
    scratch = engine_.toStringValue(e.key);
    return scratch;
  }
  e.text = engine_.toStringValue(e.key);
  e.hasText = true;
  return e.text;
}

int ScriptSortComparator::operator()(SortEntry& pivot, SortEntry& other) {
  // A comparison is a step of the sort: the time limit reaches a long one.
  if (!engine_.countNativeStep()) return -1;
  if (++comparisons_ > kMaxSortComparisons) {
    engine_.abortScripts();
    return -1;
  }
  if (function_.isUndefined()) {
    ScriptValue a, b;
    const ScriptValue& x = textOf(pivot, a);
    const ScriptValue& y = textOf(other, b);
    return ScriptEngine::compareStrings(x.asString(), y.asString(), engine_.codePage()) > 0 ? 1 : 0;
  }
  ScriptValue args[2] = {pivot.key, other.key};
  // The comparator holds its function for the whole sort.
  const ScriptValue r = engine_.callHeld(function_, ScriptValue(), args, 2);
  if (engine_.aborted()) return -1;
  return (r.isNumber() ? r.asNumber() : engine_.toNumber(r)) > 0 ? 1 : 0;
}

}  // namespace kivra
