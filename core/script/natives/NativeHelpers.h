#pragma once
// Small helpers shared by the native routines.
#include "core/movie/TimelinePlayer.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

// The display object behind a value that is a clip (or a clip's object).
inline DisplayObject* clipOf(ScriptEngine& e, const ScriptValue& v) {
  return DisplayClipBridge::displayObject(e.toObject(v));
}

// The URL of the movie whose code is running: the calling clip's, else
// level 0's.
inline std::string callerMovieUrl(NativeCall& c) {
  for (const DisplayObject* d = clipOf(c.engine, c.target); d; d = d->parent())
    if (d->timeline()) return d->timeline()->root().url();
  const TimelinePlayer* root = c.engine.player().level0();
  return root ? root->url() : std::string();
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
