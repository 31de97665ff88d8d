#pragma once
// Small helpers shared by the native routines.
#include "core/script/DisplayClipBridge.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

// The display object behind a value that is a clip (or a clip's object).
inline DisplayObject* clipOf(ScriptEngine& e, const ScriptValue& v) {
  return DisplayClipBridge::displayObject(e.toObject(v));
}

// The script object behind a clip value or object value.
inline ScriptObject* objectOf(ScriptEngine& e, const ScriptValue& v) { return e.toObject(v); }

inline int32_t toInt32(ScriptEngine& e, const ScriptValue& v) { return toInteger32(e.toNumber(v)); }

// Resolves a value converted to a string as a path from the calling clip.
inline ScriptObject* resolveFromCaller(NativeCall& c, const ScriptValue& path) {
  ScriptEngine& e = c.engine;
  ScriptObject* start = e.toObject(c.target);
  if (!start) start = e.clips().rootClip();
  if (!start) return nullptr;
  return e.clips().resolvePath(start, e.toStdString(path), 0);
}

}  // namespace kivra
