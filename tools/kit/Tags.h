#pragma once
// Tag bodies and the tag stream of a movie or sprite.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/format/Records.h"
#include "core/format/TagCodes.h"
#include "tools/kit/ByteWriter.h"
#include "tools/kit/Shape.h"

namespace kivra::kit {

// Clip-event bits of PlaceObject2 clip actions.
enum ClipEvent : uint32_t {
  kEventLoad = 0x1,
  kEventEnterFrame = 0x2,
  kEventUnload = 0x4,
  kEventMouseMove = 0x8,
  kEventMouseDown = 0x10,
  kEventMouseUp = 0x20,
  kEventKeyDown = 0x40,
  kEventKeyUp = 0x80,
  kEventData = 0x100,
  kEventInitialize = 0x200,
  kEventPress = 0x400,
  kEventRelease = 0x800,
  kEventReleaseOutside = 0x1000,
  kEventRollOver = 0x2000,
  kEventRollOut = 0x4000,
  kEventDragOver = 0x8000,
  kEventDragOut = 0x10000,
  kEventKeyPress = 0x20000,
};

struct ClipActionRecord {
  uint32_t events = 0;
  uint8_t keyCode = 0;  // written only with kEventKeyPress
  std::vector<uint8_t> actions;
};

struct PlaceObject2 {
  bool move = false;
  uint16_t depth = 1;
  std::optional<uint16_t> characterId;
  std::optional<MATRIX> matrix;
  std::optional<CXFORM> cxform;  // written with alpha
  std::optional<uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<uint16_t> clipDepth;
  bool hasClipActions = false;
  std::optional<uint32_t> allEvents;  // default: the union of the records' events
  std::vector<ClipActionRecord> clipActions;
};

struct ButtonRecord {
  uint8_t states = 0;  // 0x01 up, 0x02 over, 0x04 down, 0x08 hit test
  uint16_t characterId = 0;
  uint16_t depth = 1;
  MATRIX matrix;
  CXFORM cxform;  // DefineButton2 only, with alpha
};

enum ButtonState : uint8_t { kButtonUp = 0x01, kButtonOver = 0x02, kButtonDown = 0x04, kButtonHit = 0x08 };

struct ButtonCondAction {
  uint16_t conditions = 0;  // bit k = transition k; bits 9-15 a key code
  std::vector<uint8_t> actions;
};

struct Button {
  bool trackAsMenu = false;  // DefineButton2
  std::vector<ButtonRecord> records;
  std::vector<uint8_t> actions;              // DefineButton: run on release
  std::vector<ButtonCondAction> conditions;  // DefineButton2
};

using AssetList = std::vector<std::pair<uint16_t, std::string>>;

// DefineEditText. The flag word is written as it is, and its "has" bits
// decide which parts follow: 0x0001 font and height, 0x0004 colour, 0x0002
// maximum length, 0x2000 layout, 0x0080 initial text. The variable name is
// always written.
struct EditText {
  RECT bounds;
  uint16_t flags = 0;
  uint16_t fontId = 0;
  uint16_t height = 0;  // twips
  Rgba color{0, 0, 0, 0};
  uint16_t maxLength = 0;
  uint8_t align = 0;  // 0 left, 1 right, 2 center
  uint16_t leftMargin = 0;
  uint16_t rightMargin = 0;
  int16_t indent = 0;
  int16_t leading = 0;
  std::string variable;
  std::string text;
};

enum EditTextBit : uint16_t {
  kEditHasFont = 0x0001,
  kEditHasMaxLength = 0x0002,
  kEditHasColor = 0x0004,
  kEditHasText = 0x0080,
  kEditHasLayout = 0x2000,
};

// Tag bodies.
std::vector<uint8_t> placeObjectBody(uint16_t id, uint16_t depth, const MATRIX& m, const CXFORM* cx);
// Clip-event fields are 16 bits wide before version 6 and 32 bits from 6.
std::vector<uint8_t> placeObject2Body(const PlaceObject2& p, int version, std::string& error);
std::vector<uint8_t> defineShapeBody(uint16_t id, const RECT& bounds, const Shape& s, bool rgba, std::string& error);
std::vector<uint8_t> defineMorphShapeBody(uint16_t id, const MorphShape& m, std::string& error);
std::vector<uint8_t> defineButtonBody(uint16_t id, const Button& b);
std::vector<uint8_t> defineButton2Body(uint16_t id, const Button& b, std::string& error);
std::vector<uint8_t> assetsBody(const AssetList& assets);
std::vector<uint8_t> defineEditTextBody(uint16_t id, const EditText& e, std::string& error);

// A stream of tags. Every helper appends one tag; the first error met is kept.
class TagStream {
 public:
  // Short header when the body is below 63 bytes, unless `longForm`.
  void tag(uint16_t code, const std::vector<uint8_t>& body, bool longForm = false);
  void tag(TagCode code, const std::vector<uint8_t>& body, bool longForm = false) {
    tag(static_cast<uint16_t>(code), body, longForm);
  }
  void append(const TagStream& other);

  void setBackgroundColor(Rgba c);
  void showFrame();
  void end();
  void frameLabel(const std::string& name);
  void placeObject(uint16_t id, uint16_t depth, const MATRIX& m = {}, const CXFORM* cx = nullptr);
  void placeObject2(const PlaceObject2& p, int version = 6);
  void removeObject(uint16_t id, uint16_t depth);
  void removeObject2(uint16_t depth);
  // DefineShape (1), DefineShape2 (2) or DefineShape3 (3, RGBA colours).
  void defineShape(int shapeVersion, uint16_t id, const RECT& bounds, const Shape& s);
  void defineMorphShape(uint16_t id, const MorphShape& m);
  // The sprite's stream gets an End tag when it lacks one.
  void defineSprite(uint16_t id, uint16_t frameCount, const TagStream& body);
  void doAction(const std::vector<uint8_t>& actions);
  void doInitAction(uint16_t spriteId, const std::vector<uint8_t>& actions);
  void exportAssets(const AssetList& assets);
  void importAssets(const std::string& url, const AssetList& assets);
  void defineButton(uint16_t id, const Button& b);
  void defineButton2(uint16_t id, const Button& b);
  void defineEditText(uint16_t id, const EditText& e);

  const std::vector<uint8_t>& bytes() const { return out_.data(); }
  // ShowFrame tags written so far.
  uint16_t frames() const { return frames_; }
  bool endsWithEnd() const { return lastCode_ == 0; }
  const std::string& error() const { return error_.empty() ? out_.error() : error_; }

 private:
  void note(const std::string& e);
  ByteWriter out_;
  uint16_t frames_ = 0;
  int lastCode_ = -1;
  std::string error_;
};

struct MovieHeader {
  bool compressed = false;  // "ZVQ"
  uint8_t version = 6;
  RECT frame{0, 550 * 20, 0, 400 * 20};
  uint16_t frameRate = 12 << 8;  // 8.8 fixed point
  std::optional<uint16_t> frameCount;  // default: the stream's ShowFrames
  // Bytes written verbatim after the tags (what followed a movie's End tag,
  // or a cut-off tag); when set, no End tag is added.
  std::optional<std::vector<uint8_t>> trailing;
};

// A whole movie file; an End tag is added when the stream lacks one. The file
// length is that of the uncompressed movie. Returns false with a reason.
bool writeMovie(const MovieHeader& h, const TagStream& tags, std::vector<uint8_t>& out, std::string& error);

}  // namespace kivra::kit
