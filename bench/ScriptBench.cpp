// Script speed: the same small programs as movies run by the player's
// interpreter and as Lua 5.4 source, timed in one run; prints the ratio.
// Usage: script_bench MOVIE_DIR LUA_DIR [REPEATS [PROGRAM]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/CorePlayer.h"
#include "core/host/NullHost.h"
#include "core/script/ScriptEngine.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {
using namespace kivra;
using Clock = std::chrono::steady_clock;

// Runs a movie's first frame, which holds the whole program.
class BenchHost : public NullHost {
 public:
  PixelRect clientRectangle() override { return PixelRect{0, 0, 1, 1}; }
  bool askToAbortSlowScript() override { return false; }
};

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double runMovie(const std::vector<uint8_t>& movie) {
  BenchHost bench;
  CorePlayer host(bench.host());
  // The global object (and the class library behind it) is built before the
  // clock starts, as the Lua side opens its libraries before it.
  host.script().global();
  const auto start = Clock::now();
  host.openMovie("bench.qvx");
  host.feedMovie(movie.data(), movie.size());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double runLua(const std::string& path, bool& ok) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  const auto start = Clock::now();
  ok = luaL_dofile(L, path.c_str()) == LUA_OK;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!ok) std::fprintf(stderr, "lua: %s\n", lua_tostring(L, -1));
  lua_close(L);
  return ms;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: script_bench MOVIE_DIR LUA_DIR [REPEATS [PROGRAM]]\n");
    return 2;
  }
  const std::string movies = argv[1], luaDir = argv[2];
  const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  // A program name as the fourth argument runs that one alone (profiling).
  const std::string only = argc > 4 ? argv[4] : "";
  // Each program in three forms: the register form, the form older compilers
  // emit (locals and calls by name), and register code in another compiler's
  // style. All run against the same Lua program; the name form is also
  // compared with the register form.
  const char* const programs[] = {"fib", "props", "methods", "sort"};
  const char* const forms[] = {"", "_names", "_regs"};
  std::printf("%-14s %10s %10s %8s %8s\n", "program", "ours ms", "lua ms", "/lua", "/regs");
  for (const char* base : programs) {
    double registerForm = 0;
    for (const char* form : forms) {
      const std::string name = std::string(base) + form;
      if (!only.empty() && only != name) continue;
      const std::vector<uint8_t> movie = readFile(movies + "/" + name + ".qvx");
      if (movie.empty()) {
        std::fprintf(stderr, "missing %s/%s.qvx\n", movies.c_str(), name.c_str());
        return 1;
      }
      double ours = 1e30, lua = 1e30;
      bool ok = true;
      // Best of several runs: the least disturbed by other work on the machine.
      for (int i = 0; i < repeats; ++i) {
        ours = std::min(ours, runMovie(movie));
        lua = std::min(lua, runLua(luaDir + "/" + base + ".lua", ok));
        if (!ok) return 1;
      }
      if (*form == '\0') registerForm = ours;
      if (registerForm > 0 && *form != '\0')
        std::printf("%-14s %10.2f %10.2f %8.2f %8.2f\n", name.c_str(), ours, lua, ours / lua, ours / registerForm);
      else
        std::printf("%-14s %10.2f %10.2f %8.2f\n", name.c_str(), ours, lua, ours / lua);
    }
  }
  return 0;
}
