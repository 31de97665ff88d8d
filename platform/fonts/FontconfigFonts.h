#pragma once
// Device fonts on Linux: fontconfig chooses the file, FreeType reads it.
// The names movies ask for are those of another system's fonts; each is
// mapped to its metric-compatible free counterpart before fontconfig is
// asked, so authored line widths still fit. A name fontconfig cannot match
// falls back to its sans font. Fontconfig is read on first use (it honours
// FONTCONFIG_FILE), so a movie without device text pays nothing.
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "core/host/FontSource.h"

namespace kivra {

class FreeTypeLibrary;

class FontconfigFonts : public FontSource {
 public:
  FontconfigFonts();
  ~FontconfigFonts() override;
  FontconfigFonts(const FontconfigFonts&) = delete;
  FontconfigFonts& operator=(const FontconfigFonts&) = delete;

  bool hasDeviceFont(const std::string& name) override;
  std::shared_ptr<DeviceFace> openDeviceFont(const std::string& systemName, bool bold, bool italic) override;

  // The family fontconfig is asked for in place of a system name.
  static std::string substituteName(const std::string& systemName);

 private:
  struct Config;
  struct Match;
  bool ready();
  bool match(const std::string& family, bool bold, bool italic, bool japanese, Match& out);
  std::shared_ptr<DeviceFace> openMatch(const Match& m);

  bool initTried_ = false;
  std::unique_ptr<Config> config_;
  std::shared_ptr<FreeTypeLibrary> library_;
  std::map<std::string, bool> installed_;  // hasDeviceFont's answers
  // Faces by the name asked for, and by file, so that "Arial" and
  // "Liberation Sans" share one face and its glyph cache.
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<DeviceFace>> byName_;
  std::map<std::tuple<std::string, int, bool, bool>, std::shared_ptr<DeviceFace>> byFile_;
};

}  // namespace kivra
