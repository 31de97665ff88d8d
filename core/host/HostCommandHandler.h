#pragma once
// Carries out host commands ("quit", "fullscreen", ...; HostCommand.h parses
// them). Called on the player's thread from inside scripts and frame steps.
#include <string>

namespace kivra {

class HostCommandHandler {
 public:
  virtual ~HostCommandHandler() = default;
  // `command` is the name alone, without the "VXCommand:" prefix. Returns
  // whether the host handled it.
  virtual bool hostCommand(const std::string& command, const std::string& argument) = 0;
};

}  // namespace kivra
