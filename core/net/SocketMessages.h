#pragma once
// The wire form of XML socket traffic: text messages, each ended by one
// zero byte, in both directions. The reader collects received bytes into
// messages; the text helpers turn message bytes into a movie's own text
// form and back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/format/CodePage.h"

namespace kivra {

class SocketMessageReader {
 public:
  // An unfinished message may hold this much; a peer that sends more
  // without a zero byte is not speaking the protocol.
  static constexpr size_t kMaxMessageBytes = 16u << 20;

  // Adds received bytes; every message they complete goes to `out`
  // (without its zero byte), in order. False when the unfinished message
  // grew past the limit: its bytes are dropped and nothing more is read
  // from this call's bytes.
  [[nodiscard]] bool append(const uint8_t* data, size_t count, std::vector<std::string>& out);
  // Bytes of the message not yet ended.
  size_t pending() const { return partial_.size(); }
  void clear() { partial_.clear(); }

 private:
  std::string partial_;
};

// A received message as text of a movie of `version`: bytes unchanged
// before version 6; from 6, UTF-16 after a byte-order mark (either order),
// else code-page text when `useCodepage` is set, else UTF-8.
std::string socketMessageText(std::string bytes, int version, bool useCodepage, const CodePage& page);
// The bytes a movie's text goes out as: code-page bytes for a version-6
// movie with `useCodepage` set, else the text as it is.
std::string socketOutputBytes(std::string_view text, int version, bool useCodepage, const CodePage& page);

}  // namespace kivra
