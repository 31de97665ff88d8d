#pragma once
// TextFormat objects and the formats of fields: one converts to the other
// (a null property: not set, or mixed over a range).
#include "core/script/ScriptEngine.h"
#include "core/text/TextFormat.h"

namespace kivra {

// A new TextFormat object with the spec's properties (unset ones null).
ScriptValue makeTextFormatObject(ScriptEngine& e, const TextFormatSpec& spec);
// What a TextFormat object sets (null and undefined properties do not).
TextFormatSpec textFormatSpecOf(ScriptEngine& e, ScriptObject* format);

}  // namespace kivra
