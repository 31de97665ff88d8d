#include "core/net/LocalConnectionMessage.h"

#include <algorithm>

#include "core/net/Amf0Codec.h"

namespace kivra {

namespace {

bool readString(Amf0Decoder& d, std::string& out) {
  AmfValue v;
  if (!d.read(v) || v.kind != AmfKind::String) return false;
  out = std::move(v.text);
  return true;
}

}  // namespace

std::vector<uint8_t> writeLocalConnectionMessage(std::string_view name, std::string_view domain,
                                                 std::string_view method, const std::vector<AmfValue>& argsLastFirst) {
  std::vector<uint8_t> out;
  Amf0Writer w(out);
  w.write(AmfValue::ofString(std::string(name)));
  w.write(AmfValue::ofString(std::string(domain)));
  w.write(AmfValue::ofString(std::string(method)));
  for (const AmfValue& v : argsLastFirst) w.write(v);
  return out;
}

bool readLocalConnectionName(std::string_view bytes, std::string& name) {
  AmfReader r(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  Amf0Decoder d(r);
  return readString(d, name);
}

bool readLocalConnectionMessage(std::string_view bytes, LocalConnectionMessage& out) {
  out = LocalConnectionMessage();
  AmfReader r(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  Amf0Decoder d(r);
  if (!readString(d, out.name) || !readString(d, out.domain) || !readString(d, out.method)) return false;
  while (!r.atEnd()) {
    AmfValue v;
    if (!d.read(v)) return false;
    out.args.push_back(std::move(v));
  }
  std::reverse(out.args.begin(), out.args.end());
  return true;
}

}  // namespace kivra
