#include "core/script/TextFieldBindings.h"

#include <vector>

#include "core/format/CaseInsensitive.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/EditTextFields.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/ScriptEngine.h"
#include "core/text/EditField.h"

namespace kivra {

namespace {

class BoundFields : public DisplayVisitor {
 public:
  explicit BoundFields(bool takeScrolled) : takeScrolled_(takeScrolled) {}
  bool enter(const DisplayWalkItem& item) override {
    EditField* f = item.object.editField();
    if (f && !f->variable().empty()) found.push_back(const_cast<DisplayObject*>(&item.object));
    if (f && takeScrolled_ && f->takeScrolled()) scrolled.push_back(const_cast<DisplayObject*>(&item.object));
    return true;
  }
  const bool takeScrolled_;
  std::vector<DisplayObject*> found;
  std::vector<DisplayObject*> scrolled;
};

// Whether an object is still in the tree.
class Finder : public DisplayVisitor {
 public:
  explicit Finder(const DisplayObject* wanted) : wanted_(wanted) {}
  bool enter(const DisplayWalkItem& item) override {
    found = found || &item.object == wanted_;
    return !found;
  }
  bool found = false;

 private:
  const DisplayObject* wanted_;
};

}  // namespace

bool TextFieldBindings::locate(DisplayObject& field, ScriptObject*& holder, std::string& name) {
  DisplayObject* parent = field.parent();
  if (!parent) return false;
  ScriptObject* start = engine_.toObject(engine_.displayClips().clipValue(parent));
  if (!start) return false;
  const std::string& path = field.editField()->variable();
  // The name is what follows the last ":" or "." (a path before it).
  const size_t cut = path.find_last_of(":.");
  holder = start;
  name = path;
  if (cut != std::string::npos) {
    name = path.substr(cut + 1);
    holder = engine_.clips().resolvePath(start, std::string_view(path).substr(0, cut), 0);
  }
  return holder && !name.empty();
}

void TextFieldBindings::refreshField(DisplayObject& object) {
  EditField& field = *object.editField();
  ScriptObject* holder = nullptr;
  std::string name;
  if (!locate(object, holder, name)) return;
  const bool html = field.hasFlag(kFieldHtml);
  const CodePage& page = engine_.codePage();
  ScriptValue value;
  if (!engine_.getMember(holder, name, value, false) || value.isUndefined()) {
    // A variable not there yet starts with the field's text.
    if (!field.boundOnce() && !field.text().empty()) {
      field.setBoundOnce();
      field.boundValue() = fieldText(field, html, page);
      engine_.setMember(holder, name, engine_.makeString(field.boundValue()));
    } else if (field.boundOnce() && !field.text().empty()) {
      // The variable was deleted: the field empties.
      field.boundValue().clear();
      field.setText(u"");
    }
    return;
  }
  field.setBoundOnce();
  std::string text = engine_.toStdString(value);
  if (text == field.boundValue()) return;
  field.boundValue() = text;
  setFieldText(field, text, html, page);
}

void TextFieldBindings::refresh(Display& display) {
  if (display.fieldCount() == 0) return;
  BoundFields fields(true);
  display.walk(fields);
  for (DisplayObject* f : fields.found) refreshField(*f);
  // Fields scrolled by scripts (or by new text) tell their listeners. A
  // handler may remove fields: each is looked for again before its turn.
  for (DisplayObject* f : fields.scrolled) {
    Finder finder(f);
    display.walk(finder);
    if (!finder.found) continue;
    engine_.displayClips().inputHooks().fieldEvent(*f, "onScroller", f);
  }
}

DisplayObject* TextFieldBindings::fieldOf(Display& display, ScriptObject& holder, std::string_view name) {
  if (display.fieldCount() == 0) return nullptr;
  BoundFields fields(false);
  display.walk(fields);
  for (DisplayObject* f : fields.found) {
    ScriptObject* h = nullptr;
    std::string n;
    if (locate(*f, h, n) && h == &holder && equalsIgnoringCase(n, name)) return f;
  }
  return nullptr;
}

void TextFieldBindings::edited(DisplayObject& object) {
  EditField* field = object.editField();
  if (!field || field->variable().empty()) return;
  ScriptObject* holder = nullptr;
  std::string name;
  if (!locate(object, holder, name)) return;
  field->boundValue() = fieldText(*field, field->hasFlag(kFieldHtml), engine_.codePage());
  field->setBoundOnce();
  engine_.setMember(holder, name, engine_.makeString(field->boundValue()));
}

}  // namespace kivra
