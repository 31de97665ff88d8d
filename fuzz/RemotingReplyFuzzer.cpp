// Remoting replies from arbitrary bytes: reading stays within the bytes and
// the codec's limits, and what was read, written again as a packet, reads
// back as the same headers and messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/net/RemotingPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  const RemotingReply reply = parseRemotingReply(data, size);
  if (reply.status != RemotingReply::Status::Read) return 0;
  std::vector<RemotingHeaderBytes> headers;
  for (const RemotingHeader& h : reply.headers)
    headers.push_back({h.name, encodeRemotingHeader(h.mustUnderstand, h.value)});
  std::vector<uint8_t> messages;
  for (const RemotingMessage& m : reply.messages) appendRemotingMessage(m.target, m.response, m.value, messages);
  const std::vector<uint8_t> packet =
      buildRemotingPacket(headers, static_cast<uint16_t>(reply.messages.size()), messages);
  const RemotingReply again = parseRemotingReply(packet.data(), packet.size());
  if (reply.messages.empty() && reply.headers.empty()) return 0;  // six bytes: ignored
  if (again.status != RemotingReply::Status::Read || again.underflow ||
      again.headers.size() != reply.headers.size() || again.messages.size() != reply.messages.size())
    std::abort();
  for (size_t i = 0; i < reply.headers.size(); ++i) {
    const RemotingHeader &a = reply.headers[i], &b = again.headers[i];
    if (a.name != b.name || a.mustUnderstand != b.mustUnderstand || !(a.value == b.value)) std::abort();
  }
  for (size_t i = 0; i < reply.messages.size(); ++i) {
    const RemotingMessage &a = reply.messages[i], &b = again.messages[i];
    if (a.target != b.target || a.response != b.response || !(a.value == b.value)) std::abort();
  }
  return 0;
}
