#pragma once
// The host's fonts, for text that names a device font. Nothing draws text
// yet; the interface only answers whether such a font exists and grows with
// the text renderer.
#include <string>

namespace kivra {

class FontSource {
 public:
  virtual ~FontSource() = default;
  virtual bool hasDeviceFont(const std::string& name) = 0;
};

// Has no fonts: text falls back to the movie's own.
class NullFontSource : public FontSource {
 public:
  bool hasDeviceFont(const std::string& name) override {
    (void)name;
    return false;
  }
};

}  // namespace kivra
