#include "platform/ProgramLauncher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "core/host/HostCommand.h"

extern char** environ;

namespace kivra {

bool ProgramLauncher::launch(const std::string& folder, const std::string& name) {
  reap();
  if (folder.empty() || !isLaunchableProgramName(name)) return false;
  const std::string path = folder + "/" + name;

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  // The program starts in its own folder and inherits no descriptors but
  // the standard three.
  bool ok = posix_spawn_file_actions_addchdir_np(&actions, folder.c_str()) == 0 &&
            posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
  posix_spawnattr_t attr;
  const bool attrReady = posix_spawnattr_init(&attr) == 0;
  if (attrReady) {
    // The player's blocked or ignored signals are not the program's.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ok = ok && attrReady;
  pid_t pid = -1;
  if (ok) {
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    // posix_spawn, not posix_spawnp: the path is never searched for.
    ok = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, environ) == 0;
  }
  if (attrReady) posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (ok) children_.push_back(pid);
  return ok;
}

void ProgramLauncher::reap() {
  for (size_t i = 0; i < children_.size();) {
    int status = 0;
    const pid_t r = ::waitpid(children_[i], &status, WNOHANG);
    // Gone (or not ours any more, ECHILD): forget it.
    if (r == children_[i] || (r < 0 && errno != EINTR)) {
      children_[i] = children_.back();
      children_.pop_back();
    } else {
      ++i;
    }
  }
}

std::string commandFolderFor(const std::string& executablePath) {
  const size_t slash = executablePath.find_last_of('/');
  if (slash == std::string::npos) return {};
  return executablePath.substr(0, slash) + "/vxcommand";
}

}  // namespace kivra
