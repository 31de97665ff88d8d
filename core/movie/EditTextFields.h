#pragma once
// Edit text fields on the display: made from their tag or by a script,
// drawn from their layout, their box kept on their display object.
#include <cstdint>
#include <memory>
#include <string>

#include "core/render/TextDraw.h"
#include "core/text/EditField.h"

namespace kivra {

class CodePage;
class DisplayObject;
class MovieTextFonts;
class TimelinePlayer;
struct Character;

// The field of a tag 37 character, with its initial format, text and
// flags; `version`: the movie's.
std::unique_ptr<EditField> makeTagField(const Character& c, TimelinePlayer& owner, int version);
// An empty field for a script: flags 0 (an input field), the default
// format.
std::unique_ptr<EditField> makeScriptField(TimelinePlayer& owner, int version, const RECT& bounds);

// Narrow text in the movie's encoding to units, and back.
std::u16string fieldUnits(std::string_view text, int version, const CodePage& page);
std::string fieldNarrow(std::u16string_view units, int version, const CodePage& page);

// Sets a field's whole text from a string: parsed as HTML for an HTML
// field, plain otherwise (carriage returns kept).
void setFieldText(EditField& field, std::string_view text, bool html, const CodePage& page);
// The field's text as a string (HTML when asked).
std::string fieldText(EditField& field, bool html, const CodePage& page);

// What the field draws, in its own twips.
void drawField(EditField& field, MovieTextFonts& fonts, TextDraw& out);

// Brings the object's box to the field's (after auto-size or scripts).
void syncFieldBox(DisplayObject& object);

}  // namespace kivra
