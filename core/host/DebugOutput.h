#pragma once
// Where the core's text goes: Trace actions and diagnostic lines. Both may
// be dropped; the shipped player drops them unless asked.
#include <string>

namespace kivra {

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  // The string of a Trace action.
  virtual void trace(const std::string& line) { (void)line; }
  // A diagnostic line (limits hit, refused access, ...).
  virtual void debugLog(const std::string& line) { (void)line; }
};

}  // namespace kivra
