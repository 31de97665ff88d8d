#pragma once
// Text fields bound to variables: each shows the string value of the
// variable its path names (from the clip that holds it) and writes the
// user's edits back. Refreshed whenever queued actions have run.
#include <string>
#include <string_view>

namespace kivra {

class Display;
class DisplayObject;
class ScriptEngine;
class ScriptObject;

class TextFieldBindings {
 public:
  explicit TextFieldBindings(ScriptEngine& engine) : engine_(engine) {}
  // Every bound field takes its variable's value when it changed.
  void refresh(Display& display);
  // The user changed a field's text: its variable takes it.
  void edited(DisplayObject& field);
  // The field whose variable is `name` on `holder` (letter case ignored),
  // or null.
  DisplayObject* fieldOf(Display& display, ScriptObject& holder, std::string_view name);

 private:
  // The object holding the variable and its name; false when the path
  // leads nowhere.
  bool locate(DisplayObject& field, ScriptObject*& holder, std::string& name);
  void refreshField(DisplayObject& field);

  ScriptEngine& engine_;
};

}  // namespace kivra
