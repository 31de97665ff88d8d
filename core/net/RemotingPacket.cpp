#include "core/net/RemotingPacket.h"

#include "core/net/Amf0Codec.h"

namespace kivra {

namespace {

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  Amf0Writer(out).u32(v);
}

// The value and, before it, its length in bytes.
void appendSizedValue(const AmfValue& value, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  putU32(out, 0);
  Amf0Writer(out).write(value);
  const uint32_t length = static_cast<uint32_t>(out.size() - at - 4);
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
}

}  // namespace

std::vector<uint8_t> encodeRemotingHeader(bool mustUnderstand, const AmfValue& value) {
  std::vector<uint8_t> out;
  out.push_back(mustUnderstand ? 1 : 0);
  appendSizedValue(value, out);
  return out;
}

void appendRemotingMessage(std::string_view target, std::string_view response, const AmfValue& value,
                           std::vector<uint8_t>& out) {
  Amf0Writer w(out);
  w.string16(target);
  w.string16(response);
  appendSizedValue(value, out);
}

std::vector<uint8_t> buildRemotingPacket(const std::vector<RemotingHeaderBytes>& headers, uint16_t messageCount,
                                         const std::vector<uint8_t>& messages) {
  size_t size = 6 + messages.size();
  for (const RemotingHeaderBytes& h : headers) size += 2 + h.name.size() + h.data.size();
  std::vector<uint8_t> out;
  out.reserve(size);
  Amf0Writer w(out);
  w.u16(0);
  w.u16(static_cast<uint16_t>(headers.size()));
  for (const RemotingHeaderBytes& h : headers) {
    w.string16(h.name);
    out.insert(out.end(), h.data.begin(), h.data.end());
  }
  w.u16(messageCount);
  out.insert(out.end(), messages.begin(), messages.end());
  return out;
}

RemotingReply parseRemotingReply(const uint8_t* data, size_t size) {
  RemotingReply reply;
  if (size <= 6) return reply;
  AmfReader r(data, size);
  if (r.u8() != 0 || r.u8() != 0) {
    reply.status = RemotingReply::Status::BadVersion;
    return reply;
  }
  reply.status = RemotingReply::Status::Read;
  const uint16_t headers = r.u16();
  for (uint16_t i = 0; i < headers && !r.atEnd(); ++i) {
    RemotingHeader h;
    h.name = std::string(r.string16());
    h.mustUnderstand = r.u8() != 0;
    r.u32();  // the value's own length is not trusted
    Amf0Decoder decoder(r);
    if (!decoder.read(h.value) || r.failed()) return reply;
    reply.headers.push_back(std::move(h));
  }
  reply.declaredMessages = r.u16();
  if (r.failed()) return reply;
  for (uint16_t i = 0; i < reply.declaredMessages && !r.atEnd(); ++i) {
    RemotingMessage m;
    m.target = std::string(r.string16());
    m.response = std::string(r.string16());
    r.u32();
    if (r.failed()) return reply;  // the data ran out between messages
    Amf0Decoder decoder(r);
    if (!decoder.read(m.value) || r.failed()) {
      reply.underflow = true;
      return reply;
    }
    reply.messages.push_back(std::move(m));
  }
  return reply;
}

}  // namespace kivra
