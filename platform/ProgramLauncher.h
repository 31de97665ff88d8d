#pragma once
// Starts the programs that the "exec" host command names: only from one
// folder, never through a shell, never waiting for them.
//
// Threading: main thread only. The launcher owns the children it started
// until they exit; reap() collects those that have, so none is left a
// zombie. Children still running when the launcher goes away are left to
// run (init adopts them when the player exits).
#include <sys/types.h>

#include <string>
#include <vector>

namespace kivra {

class ProgramLauncher {
 public:
  // Starts folder/name with `folder` as its working directory, no arguments
  // and no descriptors beyond 0-2. Returns false, starting nothing, when the
  // name is not a plain program name or the start fails.
  bool launch(const std::string& folder, const std::string& name);
  // Collects children that have exited; never blocks.
  void reap();
  // Children started and not yet collected.
  size_t running() const { return children_.size(); }

 private:
  std::vector<pid_t> children_;
};

// The folder "exec" runs programs from: "vxcommand" beside the executable.
// Empty when the path has no directory part.
std::string commandFolderFor(const std::string& executablePath);

}  // namespace kivra
