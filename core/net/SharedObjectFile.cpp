#include "core/net/SharedObjectFile.h"

#include "core/net/Amf0Codec.h"

namespace kivra {

namespace {

constexpr uint8_t kObjectEnd = 9;
constexpr uint16_t kObjectRecord = 2;
constexpr uint16_t kPathRecord = 3;
constexpr uint16_t kLongLength = 0x3F;

// A record header: the type in the upper 10 bits, the length in the lower 6
// (0x3F: a u32 length follows). False when the header itself is cut short.
bool readRecordHeader(AmfReader& r, uint16_t& type, uint32_t& length) {
  const uint16_t header = r.u16();
  type = header >> 6;
  length = header & kLongLength;
  if (length == kLongLength) length = r.u32();
  return !r.failed();
}

void writeRecordHeader(Amf0Writer& w, uint16_t type, size_t length) {
  w.u16(static_cast<uint16_t>(type << 6 | kLongLength));
  w.u32(static_cast<uint32_t>(length));
}

}  // namespace

SolReadStatus readSharedObjectFile(const uint8_t* data, size_t size, SharedObjectFile& out) {
  out = SharedObjectFile();
  if (size <= 9) return SolReadStatus::TooShort;
  AmfReader file(data, size);
  uint16_t type = 0;
  uint32_t length = 0;
  if (!readRecordHeader(file, type, length) || type != kObjectRecord) return SolReadStatus::NotAnObject;
  if (length > file.remaining()) return SolReadStatus::Truncated;
  const size_t bodyStart = file.position();
  AmfReader r(data + bodyStart, length);
  if (r.bytes(4) != "TCSO") return SolReadStatus::NotAnObject;
  const uint16_t version = r.u16();
  if (version < 2 || version > 4) return SolReadStatus::BadVersion;
  if (version == 4) out.extra = r.u32();
  out.name.assign(r.string16());
  out.stamp = r.u32();
  if (r.failed()) return SolReadStatus::Truncated;

  SolReadStatus status = SolReadStatus::Ok;
  // One decoder for all members: a reference may name an object of an
  // earlier member.
  Amf0Decoder decoder(r, 1);
  while (!r.atEnd()) {
    const std::string_view name = r.string16();
    if (r.failed()) {
      status = SolReadStatus::Damaged;
      break;
    }
    if (name.empty() && r.peek() == kObjectEnd && !r.atEnd()) break;
    AmfMember m;
    m.name.assign(name);
    if (!decoder.read(m.value)) {
      status = SolReadStatus::Damaged;
      break;
    }
    r.u8();  // the member's flags: nothing for local objects
    out.members.push_back(std::move(m));
    if (r.failed()) {
      status = SolReadStatus::Damaged;
      break;
    }
  }

  // The long-path record, when a whole one follows.
  const uint8_t* after = data + bodyStart + length;
  AmfReader tail(after, size - bodyStart - length);
  uint32_t pathLength = 0;
  if (!tail.atEnd() && readRecordHeader(tail, type, pathLength) && type == kPathRecord &&
      pathLength <= tail.remaining()) {
    AmfReader path(after + tail.position(), pathLength);
    const std::string_view p = path.string16();
    if (!path.failed()) out.longPath.assign(p);
  }
  return status;
}

std::vector<uint8_t> writeSharedObjectFile(const SharedObjectFile& file) {
  std::vector<uint8_t> body;
  Amf0Writer b(body);
  for (char c : std::string_view("TCSO")) b.u8(static_cast<uint8_t>(c));
  b.u16(4);
  b.u32(file.extra);
  b.string16(file.name);
  b.u32(file.stamp);
  for (const AmfMember& m : file.members) {
    b.string16(m.name);
    b.write(m.value);
    b.u8(0);
  }
  std::vector<uint8_t> out;
  out.reserve(body.size() + 6);
  Amf0Writer w(out);
  writeRecordHeader(w, kObjectRecord, body.size());
  out.insert(out.end(), body.begin(), body.end());
  if (!file.longPath.empty()) {
    const size_t n = file.longPath.size() < 0xFFFF ? file.longPath.size() : 0xFFFF;
    writeRecordHeader(w, kPathRecord, n + 2);
    w.string16(file.longPath);
  }
  return out;
}

}  // namespace kivra
