#include "core/net/SocketMessages.h"

#include <cstring>

#include "core/format/TextEncoding.h"

namespace kivra {

bool SocketMessageReader::append(const uint8_t* data, size_t count, std::vector<std::string>& out) {
  size_t at = 0;
  while (at < count) {
    const void* zero = std::memchr(data + at, 0, count - at);
    const size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : count;
    if (partial_.size() + (end - at) > kMaxMessageBytes) {
      partial_.clear();
      partial_.shrink_to_fit();
      return false;
    }
    partial_.append(reinterpret_cast<const char*>(data + at), end - at);
    if (!zero) break;
    out.push_back(std::move(partial_));
    partial_.clear();
    at = end + 1;
  }
  return true;
}

std::string socketMessageText(std::string bytes, int version, bool useCodepage, const CodePage& page) {
  if (version < 6) return bytes;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  const bool be = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  const bool le = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  if (be || le) {
    std::string out;
    // An odd last byte is half a unit: it is dropped.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text::appendUtf8(le ? (byte(i + 1) << 8 | byte(i)) : (byte(i) << 8 | byte(i + 1)), out);
    return out;
  }
  if (useCodepage) return text::convert(bytes, true, false, page);
  return bytes;
}

std::string socketOutputBytes(std::string_view text, int version, bool useCodepage, const CodePage& page) {
  if (version >= 6 && useCodepage) return text::convert(text, false, true, page);
  return std::string(text);
}

}  // namespace kivra
