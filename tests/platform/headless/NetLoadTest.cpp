// Loads over HTTP from a server on the loopback address, as the headless
// player settles them before each step: LoadVars text (with a redirect and
// without a length), failures (404, a body cut short of its length, which
// fails instead of passing as complete), a POST by sendAndLoad carrying
// its custom headers (refused names left out) and reading the echo,
// variables into level 0, and XML posted, echoed and parsed, or loaded as
// UTF-16.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

// A LoadVars object `name` whose onLoad traces "name ok value-of-a bytes"
// (an undefined value adds nothing).
std::string loader(const std::string& name) {
  return "  Push \"" + name + "\" 0 \"LoadVars\"\n  NewObject\n  SetVariable\n  Push \"" + name +
         "\"\n  GetVariable\n  Push \"onLoad\"\n  DefineFunction2 \"\" regs=2 r1:\"ok\" {\n"
         "    Push \"" + name + " \"\n    Push r:1\n    Add2\n    Push \" \"\n    Add2\n    Push \"" + name +
         "\"\n    GetVariable\n    Push \"a\"\n    GetMember\n    Add2\n    Push \" \"\n    Add2\n    Push 0 \"" + name +
         "\"\n    GetVariable\n    Push \"getBytesTotal\"\n    CallMethod\n    Add2\n    Trace\n  }\n  SetMember\n";
}

std::string load(const std::string& name, const std::string& url) {
  return "  Push \"" + url + "\" 1 \"" + name + "\"\n  GetVariable\n  Push \"load\"\n  CallMethod\n  Pop\n";
}

TEST(NetLoads, HttpLoadsArriveBeforeTheNextStep) {
  test::LoopbackHttpServer server;
  using Route = test::LoopbackHttpServer::Route;
  server.route("/vars.txt", Route::ok("a=one&score=42"));
  server.route("/nolength", Route::ok("a=two", false));
  server.route("/moved", Route::redirect("/vars.txt"));
  server.route("/cut", Route::cut("a=three&pad=xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 10));
  std::string source = "movie version=6 rate=12\nactions {\n";
  for (const char* n : {"plain", "nolength", "moved", "missing", "cut", "reply"}) source += loader(n);
  source += load("plain", server.url("/vars.txt"));
  source += load("nolength", server.url("/nolength"));
  source += load("moved", server.url("/moved"));
  source += load("missing", server.url("/nowhere"));
  source += load("cut", server.url("/cut"));
  // sendAndLoad: the object's variables go as the POST body, with headers.
  source += "  Push \"form\" 0 \"LoadVars\"\n  NewObject\n  SetVariable\n"
            "  Push \"form\"\n  GetVariable\n  Push \"a\" \"sent back\"\n  SetMember\n"
            "  Push \"yes\" \"X-Kivra\" 2 \"form\"\n  GetVariable\n  Push \"addRequestHeader\"\n  CallMethod\n  Pop\n"
            "  Push \"evil\" \"Referer\" 2 \"form\"\n  GetVariable\n  Push \"addRequestHeader\"\n  CallMethod\n  Pop\n"
            "  Push \"POST\" \"reply\"\n  GetVariable\n  Push \"" + server.url("/echo") + "\" 3 \"form\"\n"
            "  GetVariable\n  Push \"sendAndLoad\"\n  CallMethod\n  Pop\n";
  // XML: a document posted by sendAndLoad comes back parsed into another;
  // a UTF-16 document (byte-order mark first) is read as such.
  const std::string xmlTrace =
      "  DefineFunction2 \"\" regs=2 r1:\"ok\" {\n    Push \"NAME \" r:1\n    Add2\n"
      "    Push \" \"\n    Add2\n    Push \"this\"\n    GetVariable\n    Push \"firstChild\"\n    GetMember\n    Push \"PART\"\n    GetMember\n"
      "    Push \"FIELD\"\n    GetMember\n    Add2\n    Push \" \"\n    Add2\n    Push \"this\"\n    GetVariable\n    Push \"status\"\n    GetMember\n"
      "    Add2\n    Trace\n  }\n";
  auto xmlLoader = [&](const std::string& name, const std::string& part, const std::string& field) {
    std::string t = xmlTrace;
    t.replace(t.find("NAME"), 4, name);
    t.replace(t.find("PART"), 4, part);
    t.replace(t.find("FIELD"), 5, field);
    return "  Push \"" + name + "\" 0 \"XML\"\n  NewObject\n  SetVariable\n  Push \"" + name +
           "\"\n  GetVariable\n  Push \"onLoad\"\n" + t + "  SetMember\n";
  };
  source += xmlLoader("xreply", "attributes", "who") + xmlLoader("u16", "firstChild", "nodeValue");
  source += "  Push \"xdoc\" \"<greet who='you'>hi</greet>\" 1 \"XML\"\n  NewObject\n  SetVariable\n"
            "  Push \"xreply\"\n  GetVariable\n  Push \"" + server.url("/echo") + "\" 2 \"xdoc\"\n"
            "  GetVariable\n  Push \"sendAndLoad\"\n  CallMethod\n  Pop\n";
  source += load("u16", server.url("/u16.xml"));
  server.route("/u16.xml", Route::ok(std::string("\xFF\xFE<\0t\0>\0\xE9\0<\0/\0t\0>\0", 18)));
  source += "  Push \"" + server.url("/vars.txt") + "\" \"_level0\"\n  GetURL2 128\n";
  source += "}\nshowframe\nactions {\n  Push \"score \" \"score\"\n  GetVariable\n  Add2\n  Trace\n  Stop\n}\n"
            "showframe\n";
  test::TempDir dir;
  std::vector<uint8_t> movie;
  qvxs::Diagnostics diag;
  ASSERT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
  dir.write("m.qvx", movie);
  const std::string command = std::string(KIVRA_PLAYER_PATH) + " --headless --frames 2 --trace '" +
                              dir.file("m.qvx") + "' > '" + dir.file("out.txt") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
  const std::string text(out.begin(), out.end());
  // Streams end in the order their servers finish: compare as a set.
  for (const char* line : {"plain true one 14\n", "nolength true two 5\n", "moved true one 14\n",
                           "missing false  \n", "cut false  42\n",
                           "reply true sent back 11\n", "score 42\n", "xreply true you 0\n",
                           "u16 true \xC3\xA9 0\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
  bool sawPost = false;
  for (const auto& r : server.requests()) {
    if (r.path == "/echo" && r.body == "<greet who=\"you\">hi</greet>") continue;  // the XML post
    if (r.path != "/echo") continue;
    sawPost = true;
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.body, "a=sent+back");
    EXPECT_NE(r.head.find("X-Kivra: yes"), std::string::npos) << r.head;
    EXPECT_NE(r.head.find("Referer: " + server.url("/echo")), std::string::npos) << r.head;
    EXPECT_EQ(r.head.find("evil"), std::string::npos) << r.head;
    EXPECT_NE(r.head.find("Content-Type: application/x-www-form-urlencoded"), std::string::npos) << r.head;
  }
  EXPECT_TRUE(sawPost);
}

}  // namespace
}  // namespace kivra
