#pragma once
// A local-connection message: AMF0 values in a row, the connection name,
// the sender's domain, the method name, then the call's arguments last
// first (a receiver pushing them in stream order has the first on top).
// Objects are numbered across the whole message, so an object met twice
// is written once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/AmfValue.h"

namespace kivra {

struct LocalConnectionMessage {
  std::string name;
  std::string domain;
  std::string method;
  std::vector<AmfValue> args;  // in call order
};

// The message's bytes; `argsLastFirst` in the order they are written.
std::vector<uint8_t> writeLocalConnectionMessage(std::string_view name, std::string_view domain,
                                                 std::string_view method, const std::vector<AmfValue>& argsLastFirst);

// The connection name alone: false when the first value is not a string.
bool readLocalConnectionName(std::string_view bytes, std::string& name);

// The whole message: false when the three names are not strings or a value
// cannot be read whole.
[[nodiscard]] bool readLocalConnectionMessage(std::string_view bytes, LocalConnectionMessage& out);

}  // namespace kivra
