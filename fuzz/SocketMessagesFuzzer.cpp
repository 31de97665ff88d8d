// XML socket input from arbitrary bytes, split where the first byte says:
// the messages read are exactly the input's zero-ended pieces, the pending
// rest is what follows the last zero byte, and every message converts to a
// movie's text in each mode without reading past its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/net/SocketMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 1) return 0;
  const size_t step = data[0] % 64 + 1;
  ++data, --size;
  SocketMessageReader reader;
  std::vector<std::string> messages;
  for (size_t at = 0; at < size; at += step) {
    const size_t n = size - at < step ? size - at : step;
    if (!reader.append(data + at, n, messages)) std::abort();  // far below the limit
  }
  std::string joined;
  for (const std::string& m : messages) {
    if (m.find('\0') != std::string::npos) std::abort();
    joined += m;
    joined += '\0';
  }
  if (joined.size() + reader.pending() != size || joined != std::string(reinterpret_cast<const char*>(data), joined.size()))
    std::abort();
  for (const std::string& m : messages)
    for (int version : {5, 6})
      for (bool codepage : {false, true}) {
        const std::string text = socketMessageText(m, version, codepage, CodePage::windows1252());
        (void)socketOutputBytes(text, version, codepage, CodePage::windows1252());
      }
  return 0;
}
