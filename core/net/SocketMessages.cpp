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
  if (std::string out; text::utf16WithMarkToUtf8(bytes, out)) return out;
  if (useCodepage) return text::convert(bytes, true, false, page);
  return bytes;
}

std::string socketOutputBytes(std::string_view text, int version, bool useCodepage, const CodePage& page) {
  if (version >= 6 && useCodepage) return text::convert(text, false, true, page);
  return std::string(text);
}

}  // namespace kivra
