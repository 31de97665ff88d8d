// Loads from local files, as the headless player delivers them between
// frames: variables into a level and into a clip (its onData hears of it;
// "useCodepage=true" in the text switches to code-page decoding), a
// LoadVars object's text through onData to onLoad with its byte counts, a
// missing file failing the load, and a variable file over 16 MB refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

constexpr const char* kMovie = R"(movie version=6 rate=12
sprite 5 {
  showframe
}
place2 1 id=5 name="box"
actions {
  Push "box"
  GetVariable
  Push "onData"
  DefineFunction2 "" regs=1 {
    Push "box has data: "
    Push "box"
    GetVariable
    Push "who"
    GetMember
    Add2
    Trace
  }
  SetMember
  Push "vars.txt" "_level0"
  GetURL2 128
  Push "box.txt" "box"
  GetURL2 192
  Push "lv" 0 "LoadVars"
  NewObject
  SetVariable
  Push "lv"
  GetVariable
  Push "onLoad"
  DefineFunction2 "" regs=2 r1:"ok" {
    Push "lv loaded "
    Push r:1
    Add2
    Push " "
    Add2
    Push "lv"
    GetVariable
    Push "greeting"
    GetMember
    Add2
    Push " "
    Add2
    Push 0 "lv"
    GetVariable
    Push "getBytesTotal"
    CallMethod
    Add2
    Trace
  }
  SetMember
  Push "data.txt" 1 "lv"
  GetVariable
  Push "load"
  CallMethod
  Trace
  Push "missing" 0 "LoadVars"
  NewObject
  SetVariable
  Push "missing"
  GetVariable
  Push "onLoad"
  DefineFunction2 "" regs=2 r1:"ok" {
    Push "missing loaded "
    Push r:1
    Add2
    Trace
  }
  SetMember
  Push "nothing-here.txt" 1 "missing"
  GetVariable
  Push "load"
  CallMethod
  Pop
  Push "score now " "score"
  GetVariable
  Add2
  Trace
}
showframe
actions {
  Push "score then " "score"
  GetVariable
  Add2
  Push " " 
  Add2
  Push "name"
  GetVariable
  Add2
  Trace
  Stop
}
showframe
showframe
)";

TEST(FileLoads, VariablesAndLoadVarsFromFilesBesideTheMovie) {
  test::TempDir dir;
  dir.write("vars.txt", bytesOf("score=42&name=K%C3%A9+vra&empty"));
  dir.write("data.txt", bytesOf("greeting=hello+there&n=5"));
  dir.write("box.txt", bytesOf("useCodepage=true&who=%E9t%E9"));
  std::vector<uint8_t> movie;
  qvxs::Diagnostics diag;
  ASSERT_TRUE(qvxs::compileMovie(kMovie, movie, diag, dir.file(""))) << diag.text();
  dir.write("m.qvx", movie);
  const std::string command = std::string(KIVRA_PLAYER_PATH) + " --headless --frames 3 --trace '" +
                              dir.file("m.qvx") + "' > '" + dir.file("out.txt") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
  EXPECT_EQ(std::string(out.begin(), out.end()),
            "true\n"
            "score now \n"
            "lv loaded true hello there 24\n"
            "missing loaded false\n"
            "box has data: \xC3\xA9t\xC3\xA9\n"
            "score then 42 K\xC3\xA9 vra\n");
  // Over 16 MB of variables: nothing is set, the clip hears nothing.
  std::string big = "score=7&pad=";
  big.resize((16u << 20) + 10, 'x');
  dir.write("vars.txt", bytesOf(big));
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> again = test::TempDir::read(dir.file("out.txt"));
  EXPECT_NE(std::string(again.begin(), again.end()).find("score then  \n"), std::string::npos);
}

}  // namespace
}  // namespace kivra
