#pragma once
// What the host tells scripts about the machine (System.capabilities).
#include <string>

namespace kivra {

struct HostInfo {
  std::string manufacturer = "Vantorel Windows";
  int screenWidth = 1024;
  int screenHeight = 768;
  std::string osName = "Windows XP";
  std::string language = "en";
};

class HostInfoSource {
 public:
  virtual ~HostInfoSource() = default;
  virtual HostInfo hostInfo() { return HostInfo{}; }
};

}  // namespace kivra
