#include "tools/kit/Tags.h"

#include <zlib.h>

#include "tools/kit/RecordWriter.h"

namespace kivra::kit {

std::vector<uint8_t> placeObjectBody(uint16_t id, uint16_t depth, const MATRIX& m, const CXFORM* cx) {
  ByteWriter w;
  w.u16(id);
  w.u16(depth);
  writeMatrix(w, m);
  if (cx) writeCxform(w, *cx, false);
  return w.take();
}

std::vector<uint8_t> placeObject2Body(const PlaceObject2& p, int version, std::string& error) {
  ByteWriter w;
  const uint8_t flags = static_cast<uint8_t>((p.move ? 0x01 : 0) | (p.characterId ? 0x02 : 0) | (p.matrix ? 0x04 : 0) |
                                             (p.cxform ? 0x08 : 0) | (p.ratio ? 0x10 : 0) | (p.name ? 0x20 : 0) |
                                             (p.clipDepth ? 0x40 : 0) | (p.hasClipActions ? 0x80 : 0));
  w.u8(flags);
  w.u16(p.depth);
  if (p.characterId) w.u16(*p.characterId);
  if (p.matrix) writeMatrix(w, *p.matrix);
  if (p.cxform) writeCxform(w, *p.cxform, true);
  if (p.ratio) w.u16(*p.ratio);
  if (p.name) w.string(*p.name);
  if (p.clipDepth) w.u16(*p.clipDepth);
  if (p.hasClipActions) {
    const bool wide = version >= 6;
    auto events = [&](uint32_t e) {
      if (wide) {
        w.u32(e);
      } else {
        if (e > 0xFFFF) w.fail("clip events above 0xFFFF need version 6");
        w.u16(static_cast<uint16_t>(e));
      }
    };
    uint32_t all = 0;
    for (const ClipActionRecord& r : p.clipActions) all |= r.events;
    w.u16(0);
    events(p.allEvents.value_or(all));
    for (const ClipActionRecord& r : p.clipActions) {
      if (r.events == 0) w.fail("a clip action record needs at least one event");
      events(r.events);
      const bool key = r.events & kEventKeyPress;
      w.u32(static_cast<uint32_t>(r.actions.size() + (key ? 1 : 0)));
      if (key) w.u8(r.keyCode);
      w.bytes(r.actions);
    }
    events(0);
  }
  if (!w.error().empty()) error = w.error();
  return w.take();
}

std::vector<uint8_t> defineShapeBody(uint16_t id, const RECT& bounds, const Shape& s, bool rgba, std::string& error) {
  ByteWriter w;
  w.u16(id);
  writeRect(w, bounds);
  writeShape(w, s, rgba);
  if (!w.error().empty()) error = w.error();
  return w.take();
}

std::vector<uint8_t> defineMorphShapeBody(uint16_t id, const MorphShape& m, std::string& error) {
  ByteWriter w;
  w.u16(id);
  writeMorphShape(w, m);
  if (!w.error().empty()) error = w.error();
  return w.take();
}

namespace {
void writeButtonRecords(ByteWriter& w, const Button& b, bool withCxform) {
  for (const ButtonRecord& r : b.records) {
    if (r.states == 0) w.fail("a button record needs at least one state");
    w.u8(r.states);
    w.u16(r.characterId);
    w.u16(r.depth);
    writeMatrix(w, r.matrix);
    if (withCxform) writeCxform(w, r.cxform, true);
  }
  w.u8(0);
}
}  // namespace

std::vector<uint8_t> defineButtonBody(uint16_t id, const Button& b) {
  ByteWriter w;
  w.u16(id);
  writeButtonRecords(w, b, false);
  w.bytes(b.actions);
  return w.take();
}

std::vector<uint8_t> defineButton2Body(uint16_t id, const Button& b, std::string& error) {
  ByteWriter w;
  w.u16(id);
  w.u8(b.trackAsMenu ? 1 : 0);
  const size_t offsetAt = w.size();
  w.u16(0);
  writeButtonRecords(w, b, true);
  if (!b.conditions.empty()) w.patchU16(offsetAt, static_cast<uint16_t>(w.size() - offsetAt));
  for (size_t i = 0; i < b.conditions.size(); ++i) {
    const ButtonCondAction& c = b.conditions[i];
    // The size field is the distance to the next record; the last has 0.
    const size_t size = 4 + c.actions.size();
    if (size > 0xFFFF) w.fail("button condition actions longer than 65535 bytes");
    w.u16(i + 1 < b.conditions.size() ? static_cast<uint16_t>(size) : 0);
    w.u16(c.conditions);
    w.bytes(c.actions);
  }
  if (!w.error().empty()) error = w.error();
  return w.take();
}

std::vector<uint8_t> assetsBody(const AssetList& assets) {
  ByteWriter w;
  w.u16(static_cast<uint16_t>(assets.size()));
  for (const auto& [id, name] : assets) {
    w.u16(id);
    w.string(name);
  }
  return w.take();
}

std::vector<uint8_t> defineEditTextBody(uint16_t id, const EditText& e, std::string& error) {
  ByteWriter w;
  w.u16(id);
  writeRect(w, e.bounds);
  w.u16(e.flags);
  if (e.flags & kEditHasFont) {
    w.u16(e.fontId);
    w.u16(e.height);
  }
  if (e.flags & kEditHasColor) writeRgba(w, e.color);
  if (e.flags & kEditHasMaxLength) w.u16(e.maxLength);
  if (e.flags & kEditHasLayout) {
    w.u8(e.align);
    w.u16(e.leftMargin);
    w.u16(e.rightMargin);
    w.s16(e.indent);
    w.s16(e.leading);
  }
  w.string(e.variable);
  if (e.flags & kEditHasText) w.string(e.text);
  if (!w.error().empty()) error = w.error();
  return w.take();
}

// TagStream

void TagStream::note(const std::string& e) {
  if (error_.empty() && !e.empty()) error_ = e;
}

void TagStream::tag(uint16_t code, const std::vector<uint8_t>& body, bool longForm) {
  if (code > 0x3FF) note("tag code " + std::to_string(code) + " above 1023");
  const uint16_t codeBits = static_cast<uint16_t>((code & 0x3FF) << 6);
  if (!longForm && body.size() < 0x3F) {
    out_.u16(static_cast<uint16_t>(codeBits | body.size()));
  } else {
    out_.u16(static_cast<uint16_t>(codeBits | 0x3F));
    out_.u32(static_cast<uint32_t>(body.size()));
  }
  out_.bytes(body);
  if (code == static_cast<uint16_t>(TagCode::ShowFrame)) ++frames_;
  lastCode_ = code;
}

void TagStream::append(const TagStream& other) {
  out_.bytes(other.bytes());
  frames_ = static_cast<uint16_t>(frames_ + other.frames_);
  if (other.lastCode_ >= 0) lastCode_ = other.lastCode_;
  note(other.error());
}

void TagStream::setBackgroundColor(Rgba c) {
  ByteWriter w;
  writeRgb(w, c);
  tag(TagCode::SetBackgroundColor, w.take());
}

void TagStream::showFrame() { tag(TagCode::ShowFrame, {}); }
void TagStream::end() { tag(TagCode::End, {}); }

void TagStream::frameLabel(const std::string& name) {
  ByteWriter w;
  w.string(name);
  note(w.error());
  tag(TagCode::FrameLabel, w.take());
}

void TagStream::placeObject(uint16_t id, uint16_t depth, const MATRIX& m, const CXFORM* cx) {
  tag(TagCode::PlaceObject, placeObjectBody(id, depth, m, cx));
}

void TagStream::placeObject2(const PlaceObject2& p, int version) {
  std::string e;
  auto body = placeObject2Body(p, version, e);
  note(e);
  tag(TagCode::PlaceObject2, body);
}

void TagStream::removeObject(uint16_t id, uint16_t depth) {
  ByteWriter w;
  w.u16(id);
  w.u16(depth);
  tag(TagCode::RemoveObject, w.take());
}

void TagStream::removeObject2(uint16_t depth) {
  ByteWriter w;
  w.u16(depth);
  tag(TagCode::RemoveObject2, w.take());
}

void TagStream::defineShape(int shapeVersion, uint16_t id, const RECT& bounds, const Shape& s) {
  static constexpr TagCode kCodes[] = {TagCode::DefineShape, TagCode::DefineShape2, TagCode::DefineShape3};
  if (shapeVersion < 1 || shapeVersion > 3) return note("shape version must be 1, 2 or 3");
  std::string e;
  auto body = defineShapeBody(id, bounds, s, shapeVersion == 3, e);
  note(e);
  tag(kCodes[shapeVersion - 1], body);
}

void TagStream::defineMorphShape(uint16_t id, const MorphShape& m) {
  std::string e;
  auto body = defineMorphShapeBody(id, m, e);
  note(e);
  tag(TagCode::DefineMorphShape, body);
}

void TagStream::defineSprite(uint16_t id, uint16_t frameCount, const TagStream& body) {
  ByteWriter w;
  w.u16(id);
  w.u16(frameCount);
  w.bytes(body.bytes());
  if (!body.endsWithEnd()) w.u16(0);
  note(body.error());
  tag(TagCode::DefineSprite, w.take());
}

void TagStream::doAction(const std::vector<uint8_t>& actions) { tag(TagCode::DoAction, actions); }

void TagStream::doInitAction(uint16_t spriteId, const std::vector<uint8_t>& actions) {
  ByteWriter w;
  w.u16(spriteId);
  w.bytes(actions);
  tag(TagCode::DoInitAction, w.take());
}

void TagStream::exportAssets(const AssetList& assets) { tag(TagCode::ExportAssets, assetsBody(assets)); }

void TagStream::importAssets(const std::string& url, const AssetList& assets) {
  ByteWriter w;
  w.string(url);
  w.bytes(assetsBody(assets));
  note(w.error());
  tag(TagCode::ImportAssets, w.take());
}

void TagStream::defineButton(uint16_t id, const Button& b) { tag(TagCode::DefineButton, defineButtonBody(id, b)); }

void TagStream::defineButton2(uint16_t id, const Button& b) {
  std::string e;
  auto body = defineButton2Body(id, b, e);
  note(e);
  tag(TagCode::DefineButton2, body);
}

void TagStream::defineEditText(uint16_t id, const EditText& e) {
  std::string error;
  auto body = defineEditTextBody(id, e, error);
  note(error);
  tag(TagCode::DefineEditText, body);
}

bool writeMovie(const MovieHeader& h, const TagStream& tags, std::vector<uint8_t>& out, std::string& error) {
  if (!tags.error().empty()) {
    error = tags.error();
    return false;
  }
  ByteWriter body;
  writeRect(body, h.frame);
  body.u16(h.frameRate);
  body.u16(h.frameCount.value_or(tags.frames()));
  body.bytes(tags.bytes());
  if (h.trailing) body.bytes(*h.trailing);
  else if (!tags.endsWithEnd()) body.u16(0);
  if (!body.error().empty()) {
    error = body.error();
    return false;
  }
  const std::vector<uint8_t>& plain = body.data();
  ByteWriter file;
  file.u8(h.compressed ? 'Z' : 'X');
  file.u8('V');
  file.u8('Q');
  file.u8(h.version);
  file.u32(static_cast<uint32_t>(plain.size() + 8));
  if (!h.compressed) {
    file.bytes(plain);
  } else {
    uLongf packedSize = compressBound(plain.size());
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, plain.data(), plain.size(), Z_BEST_COMPRESSION) != Z_OK) {
      error = "zlib could not compress the movie body";
      return false;
    }
    file.bytes(packed.data(), packedSize);
  }
  out = file.take();
  return true;
}

}  // namespace kivra::kit
