#pragma once
// The envelope of remote calls over HTTP: a version, a list of headers and
// a list of messages, each carrying one AMF0 value. Integers are big-endian.
// The request is built from parts encoded as they are added (headers stay
// between packets, messages go with one); a reply is read into the neutral
// value model, stopping where the data runs out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/AmfValue.h"

namespace kivra {

// A header as it goes out: its name, then the must-understand byte, the
// value's length and the value.
struct RemotingHeaderBytes {
  std::string name;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> encodeRemotingHeader(bool mustUnderstand, const AmfValue& value);
// A message: target URI, response URI, the value's length and the value.
void appendRemotingMessage(std::string_view target, std::string_view response, const AmfValue& value,
                           std::vector<uint8_t>& out);
// The whole request: version 0, the headers, `messageCount` and the
// messages already encoded one after another.
std::vector<uint8_t> buildRemotingPacket(const std::vector<RemotingHeaderBytes>& headers, uint16_t messageCount,
                                         const std::vector<uint8_t>& messages);

struct RemotingHeader {
  std::string name;
  bool mustUnderstand = false;
  AmfValue value;
};

struct RemotingMessage {
  std::string target;
  std::string response;
  AmfValue value;
};

struct RemotingReply {
  enum class Status { Ignored, BadVersion, Read };
  Status status = Status::Ignored;
  std::vector<RemotingHeader> headers;
  // Read in full, in order; after a value that cannot be read the rest is
  // dropped and `underflow` is set.
  std::vector<RemotingMessage> messages;
  uint16_t declaredMessages = 0;
  bool underflow = false;
};

// Six bytes or less is no reply at all.
RemotingReply parseRemotingReply(const uint8_t* data, size_t size);

}  // namespace kivra
