#pragma once
// Runs the player program as a user would, its stderr kept in the folder.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace kivra::test {

// `player arguments`, stderr to err.txt in `dir`; the exit status, or -1
// when the program did not exit.
inline int runPlayer(const std::string& player, const std::string& arguments, const TempDir& dir) {
  const std::string command = player + " " + arguments + " 2> '" + dir.file("err.txt") + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the last runPlayer in `dir` wrote on stderr.
inline std::string playerErrors(const TempDir& dir) {
  const std::vector<uint8_t> b = TempDir::read(dir.file("err.txt"));
  return std::string(b.begin(), b.end());
}

}  // namespace kivra::test
