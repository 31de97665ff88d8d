#include "platform/headless/WavFileSink.h"

#include <cstring>
#include <vector>

namespace kivra {

namespace {
void le16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void le32(uint8_t* p, uint32_t v) {
  le16(p, static_cast<uint16_t>(v));
  le16(p + 2, static_cast<uint16_t>(v >> 16));
}

void makeHeader(uint8_t h[44], uint32_t dataBytes) {
  std::memcpy(h, "RIFF", 4);
  le32(h + 4, 36 + dataBytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  le32(h + 16, 16);
  le16(h + 20, 1);  // PCM
  le16(h + 22, 2);
  le32(h + 24, WavFileSink::kSampleRate);
  le32(h + 28, WavFileSink::kSampleRate * 4);
  le16(h + 32, 4);
  le16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  le32(h + 40, dataBytes);
}
}  // namespace

// A sink destroyed without close() was abandoned: there is no one to tell.
WavFileSink::~WavFileSink() { (void)close(); }

bool WavFileSink::open(const std::string& path) {
  (void)close();  // a file still open is given up for the new one
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  frames_ = 0;
  uint8_t h[44];
  makeHeader(h, 0);
  ok_ = std::fwrite(h, 1, sizeof h, file_) == sizeof h;
  return ok_;
}

bool WavFileSink::write(const int16_t* samples, size_t frames) {
  if (!file_) return false;
  std::vector<uint8_t> bytes(frames * 4);
  for (size_t i = 0; i < frames * 2; ++i) le16(bytes.data() + i * 2, static_cast<uint16_t>(samples[i]));
  ok_ = ok_ && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
  frames_ += frames;
  return ok_;
}

bool WavFileSink::writeSilence(size_t frames) {
  static constexpr int16_t kZeros[2 * 1024] = {};
  while (frames > 0) {
    const size_t n = frames < 1024 ? frames : 1024;
    if (!write(kZeros, n)) return false;
    frames -= n;
  }
  return ok_;
}

bool WavFileSink::close() {
  if (!file_) return ok_;
  const uint64_t bytes = frames_ * 4;
  uint8_t h[44];
  makeHeader(h, bytes > 0xFFFFFFDBu ? 0xFFFFFFDBu : static_cast<uint32_t>(bytes));
  ok_ = ok_ && std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file_) == sizeof h;
  ok_ = (std::fclose(file_) == 0) && ok_;
  file_ = nullptr;
  return ok_;
}

}  // namespace kivra
