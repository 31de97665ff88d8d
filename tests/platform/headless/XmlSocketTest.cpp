// XML sockets end to end: movies made with the kit talk to small servers on
// the loopback address while the headless player settles the connections
// before each step. One movie talks to well-behaved peers (an echo of XML
// and of a two-part send, a burst of messages split across reads, one in
// UTF-16, a peer closing in the middle of a message, a refused port, ports
// out of range, no host for a local movie, a socket only its connection
// holds through a collection); one meets bad peers (100 MB
// without a zero byte, a peer that never answers) in bounded memory and
// time; one, served over HTTP, connects to its own host and is refused
// another.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/LoopbackSocketServer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

using test::LoopbackSocketServer;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// A new XMLSocket in variable `name`.
std::string newSocket(const std::string& name) {
  return "  Push " + quoted(name) + " 0 \"XMLSocket\"\n  NewObject\n  SetVariable\n";
}

// name.event = function(v) { trace("name event " + v); BODY }
std::string handler(const std::string& name, const std::string& event, const std::string& body = "") {
  return "  Push " + quoted(name) + "\n  GetVariable\n  Push " + quoted(event) +
         "\n  DefineFunction2 \"\" regs=2 r1:\"v\" {\n    Push " + quoted(name + " " + event + " ") +
         " r:1\n    Add2\n    Trace\n" + body + "  }\n  SetMember\n";
}

// name.method(args...) with the arguments as Push items in call order;
// the result is traced after `label`, or dropped.
std::string call(const std::string& name, const std::string& method, const std::vector<std::string>& args,
                 const std::string& label = "") {
  std::string s = label.empty() ? "" : "  Push " + quoted(label + " ") + "\n";
  s += "  Push";
  for (auto it = args.rbegin(); it != args.rend(); ++it) s += " " + *it;
  s += " " + std::to_string(args.size()) + " " + quoted(name) + "\n  GetVariable\n  Push " + quoted(method) +
       "\n  CallMethod\n";
  s += label.empty() ? "  Pop\n" : "  Add2\n  Trace\n";
  return s;
}

std::string connect(const std::string& name, const std::string& host, int port) {
  return call(name, "connect", {host, std::to_string(port)}, name + " connect " + std::to_string(port));
}

std::string build(const std::string& source, const test::TempDir& dir) {
  std::vector<uint8_t> movie;
  qvxs::Diagnostics diag;
  EXPECT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
  return dir.write("m.qvx", movie);
}

// Plays `movie` (a path or URL) and returns what it traced; `peakKb` gets
// the player's peak resident memory.
std::string play(const std::string& movie, const test::TempDir& dir, const std::string& options,
                 long* peakKb = nullptr) {
  const std::string command = "exec " + std::string(KIVRA_PLAYER_PATH) + " --headless --trace " + options + " '" +
                              movie + "' > '" + dir.file("out.txt") + "' 2> '" + dir.file("err.txt") + "'";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = -1;
  rusage usage{};
  EXPECT_EQ(::wait4(pid, &status, 0, &usage), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  if (peakKb) *peakKb = usage.ru_maxrss;
  const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
  return std::string(out.begin(), out.end());
}

std::string readText(const std::string& path) {
  const std::vector<uint8_t> bytes = test::TempDir::read(path);
  return std::string(bytes.begin(), bytes.end());
}

// The traced lines that begin with "name ", in order. Sockets are serviced
// one after another, so only each one's own order is fixed.
std::vector<std::string> linesOf(const std::string& text, const std::string& name) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.rfind(name + " ", 0) == 0) out.push_back(line);
    at = end + 1;
  }
  return out;
}

// Waits for up to a second for a server to have read `count` messages.
std::vector<std::string> receivedBy(LoopbackSocketServer& server, size_t count) {
  for (int i = 0; i < 100 && server.received().size() < count; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return server.received();
}

void echo(LoopbackSocketServer& server, int fd) {
  std::string m;
  while (server.readMessage(fd, m))
    if (!LoopbackSocketServer::write(fd, m + std::string(1, '\0'))) return;
}

// Frames 2 to 7 only wait; frame 8 traces "done", runs `last` and stops.
std::string waitFrames(const std::string& last) {
  std::string s = "showframe\n";
  for (int i = 0; i < 6; ++i) s += "showframe\n";
  return s + "actions {\n  Push \"done\"\n  Trace\n" + last + "  Stop\n}\nshowframe\n";
}

TEST(XmlSockets, TalkToWellBehavedPeers) {
  LoopbackSocketServer echoServer(echo);
  LoopbackSocketServer heldServer(echo);
  // Four messages over two writes (the first write ends in the middle of
  // the second message), one of them UTF-16; the close follows the four
  // acknowledgements.
  LoopbackSocketServer burstServer([](LoopbackSocketServer& server, int fd) {
    std::string m;
    if (!server.readMessage(fd, m)) return;
    LoopbackSocketServer::write(fd, std::string("one\0tw", 6));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    LoopbackSocketServer::write(fd, std::string("o\0\xFE\xFF\x4E\x2D\0three\0", 13));
    for (int i = 0; i < 4 && server.readMessage(fd, m);) ++i;
  });
  // Reads one message, then closes in the middle of its answer.
  LoopbackSocketServer closerServer([](LoopbackSocketServer& server, int fd) {
    std::string m;
    if (server.readMessage(fd, m)) LoopbackSocketServer::write(fd, "unfinished");
  });
  const int refusedPort = LoopbackSocketServer::closedPort();

  std::string source = "movie version=6 rate=12\nactions {\n";
  source += newSocket("echo");
  // An XML document goes as its string form; two arguments as one message.
  source += handler("echo", "onConnect",
                    "    Push \"<hi a=\\\"1\\\">t&amp;\\xc3\\xa9</hi>\" 1 \"XML\"\n    NewObject\n"
                    "    Push 1 \"echo\"\n    GetVariable\n    Push \"send\"\n    CallMethod\n    Pop\n"
                    "    Push \"y\" \"x\" 2 \"echo\"\n    GetVariable\n    Push \"send\"\n    CallMethod\n    Pop\n");
  // onXML gets the document the built-in onData made.
  source += "  Push \"echo\"\n  GetVariable\n  Push \"onXML\"\n  DefineFunction2 \"\" regs=2 r1:\"doc\" {\n"
            "    Push \"echo xml \" r:1\n    Push \"firstChild\"\n    GetMember\n    Push \"nodeName\"\n    GetMember\n"
            "    Add2\n    Trace\n"
            "    Push \"echo text \" 0 r:1\n    Push \"toString\"\n    CallMethod\n    Add2\n    Trace\n  }\n"
            "  SetMember\n";
  source += handler("echo", "onClose");
  source += connect("echo", "\"127.0.0.1\"", echoServer.port());

  source += newSocket("burst");
  source += handler("burst", "onConnect", "    Push \"go\" 1 \"burst\"\n    GetVariable\n    Push \"send\"\n"
                                          "    CallMethod\n    Pop\n");
  source += handler("burst", "onData", "    Push \"ack\" 1 \"burst\"\n    GetVariable\n    Push \"send\"\n"
                                       "    CallMethod\n    Pop\n");
  source += handler("burst", "onClose");
  source += connect("burst", "\"127.0.0.1\"", burstServer.port());

  source += newSocket("closer");
  source += handler("closer", "onConnect", "    Push \"hello\" 1 \"closer\"\n    GetVariable\n    Push \"send\"\n"
                                           "    CallMethod\n    Pop\n");
  source += handler("closer", "onData") + handler("closer", "onClose");
  source += connect("closer", "\"127.0.0.1\"", closerServer.port());

  source += newSocket("refused") + handler("refused", "onConnect") + handler("refused", "onClose");
  source += connect("refused", "\"127.0.0.1\"", refusedPort);

  // Refused at once: nothing follows.
  source += newSocket("low") + handler("low", "onConnect") + handler("low", "onClose");
  source += connect("low", "\"127.0.0.1\"", 1023) + connect("low", "\"127.0.0.1\"", 65536);
  source += connect("low", "\"127.0.0.1\"", -5000);
  // Its variable goes at once: only its connection holds it, also through
  // the collection that 20,000 objects bring on at the end of the run.
  source += newSocket("held");
  source += handler("held", "onConnect", "    Push \"kept\" 1 \"this\"\n    GetVariable\n    Push \"send\"\n"
                                         "    CallMethod\n    Pop\n");
  source += handler("held", "onData");
  source += connect("held", "\"127.0.0.1\"", heldServer.port());
  source += "  Push \"held\"\n  Delete2\n  Pop\n  Push \"junk\" 0\n  InitArray\n  SetVariable\n"
            "  Push \"i\" 0\n  SetVariable\nfill:\n"
            "  Push 0 \"Object\"\n  NewObject\n  Push 1 \"junk\"\n  GetVariable\n  Push \"push\"\n  CallMethod\n  Pop\n"
            "  Push \"i\" \"i\"\n  GetVariable\n  Increment\n  SetVariable\n"
            "  Push \"i\"\n  GetVariable\n  Push 20000\n  Less2\n  If fill\n";
  // A movie from a file has no host of its own.
  source += newSocket("nohost") + handler("nohost", "onConnect");
  source += connect("nohost", "null", echoServer.port());
  source += "}\n" + waitFrames("  Push 0 \"echo\"\n  GetVariable\n  Push \"close\"\n  CallMethod\n  Pop\n");

  test::TempDir dir;
  const std::string out = play(build(source, dir), dir, "--frames 8 --load-timeout 5");

  using Lines = std::vector<std::string>;
  const std::string echoPort = std::to_string(echoServer.port());
  EXPECT_EQ(linesOf(out, "echo"),
            (Lines{"echo connect " + echoPort + " true", "echo onConnect true", "echo xml hi",
                   "echo text <hi a=\"1\">t&amp;\xc3\xa9</hi>", "echo xml null", "echo text xy"}))
      << out;
  EXPECT_EQ(linesOf(out, "burst"),
            (Lines{"burst connect " + std::to_string(burstServer.port()) + " true", "burst onConnect true",
                   "burst onData one", "burst onData two", "burst onData \xe4\xb8\xad", "burst onData three",
                   "burst onClose "}))
      << out;
  // The unfinished answer is dropped; the close still comes.
  EXPECT_EQ(linesOf(out, "closer"), (Lines{"closer connect " + std::to_string(closerServer.port()) + " true",
                                           "closer onConnect true", "closer onClose "}))
      << out;
  EXPECT_EQ(linesOf(out, "refused"),
            (Lines{"refused connect " + std::to_string(refusedPort) + " true", "refused onConnect false"}))
      << out;
  EXPECT_EQ(linesOf(out, "low"), (Lines{"low connect 1023 false", "low connect 65536 false",
                                        "low connect -5000 false"}))
      << out;
  EXPECT_EQ(linesOf(out, "held"), (Lines{"held connect " + std::to_string(heldServer.port()) + " true",
                                         "held onConnect true", "held onData kept"}))
      << out;
  EXPECT_EQ(linesOf(out, "nohost"), (Lines{"nohost connect " + echoPort + " false"})) << out;
  EXPECT_EQ(out.substr(out.size() - 5), "done\n") << out;

  // What went over the wire: each send one message ended by one zero byte.
  EXPECT_EQ(receivedBy(echoServer, 2), (Lines{"<hi a=\"1\">t&amp;\xc3\xa9</hi>", "xy"}));
  EXPECT_EQ(receivedBy(closerServer, 1), (Lines{"hello"}));
  EXPECT_EQ(echoServer.connections(), 1);  // the local movie's null host went nowhere
}

TEST(XmlSockets, BadPeersCostBoundedMemoryAndTime) {
  // Asked, 100 MB without a zero byte, for as long as the player takes it.
  LoopbackSocketServer floodServer([](LoopbackSocketServer& server, int fd) {
    std::string m;
    if (!server.readMessage(fd, m)) return;
    const std::string chunk(64 << 10, 'x');
    for (int i = 0; i < 1600; ++i)
      if (!LoopbackSocketServer::write(fd, chunk)) return;
  });
  // Reads, and never answers.
  LoopbackSocketServer silentServer([](LoopbackSocketServer& server, int fd) {
    std::string m;
    while (server.readMessage(fd, m)) {
    }
  });

  std::string source = "movie version=6 rate=12\nactions {\n";
  source += newSocket("flood");
  source += handler("flood", "onConnect", "    Push \"go\" 1 \"flood\"\n    GetVariable\n    Push \"send\"\n"
                                          "    CallMethod\n    Pop\n");
  // Only the length of a message would be traced.
  source += "  Push \"flood\"\n  GetVariable\n  Push \"onData\"\n  DefineFunction2 \"\" regs=2 r1:\"v\" {\n"
            "    Push \"flood onData \" r:1\n    Push \"length\"\n    GetMember\n    Add2\n    Trace\n  }\n"
            "  SetMember\n";
  source += handler("flood", "onClose");
  source += connect("flood", "\"127.0.0.1\"", floodServer.port());
  source += newSocket("silent");
  source += handler("silent", "onConnect", "    Push \"ping\" 1 \"silent\"\n    GetVariable\n    Push \"send\"\n"
                                           "    CallMethod\n    Pop\n");
  source += handler("silent", "onData") + handler("silent", "onClose");
  source += connect("silent", "\"127.0.0.1\"", silentServer.port());
  source += "}\n" + waitFrames("  Push 0 \"silent\"\n  GetVariable\n  Push \"close\"\n  CallMethod\n  Pop\n");

  test::TempDir dir;
  const std::string movie = build(source, dir);
  const auto start = std::chrono::steady_clock::now();
  long peakKb = 0;
  const std::string out = play(movie, dir, "--frames 8 --load-timeout 3 --debug", &peakKb);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();

  using Lines = std::vector<std::string>;
  EXPECT_EQ(linesOf(out, "flood"), (Lines{"flood connect " + std::to_string(floodServer.port()) + " true",
                                          "flood onConnect true", "flood onClose "}))
      << out;
  EXPECT_EQ(linesOf(out, "silent"),
            (Lines{"silent connect " + std::to_string(silentServer.port()) + " true", "silent onConnect true"}))
      << out;
  EXPECT_EQ(out.substr(out.size() - 5), "done\n") << out;
  EXPECT_NE(readText(dir.file("err.txt")).find("XMLSocket message longer than 16777216 bytes: closing"),
            std::string::npos);
  EXPECT_EQ(receivedBy(silentServer, 1), (Lines{"ping"}));
  // The silent peer is waited for once, for the load timeout.
  EXPECT_LT(seconds, 20);
  // The message is cut off at 16 MB, not kept whole.
  EXPECT_LT(peakKb, 100 * 1024 * KIVRA_MEMORY_SCALE) << "kB";
}

TEST(XmlSockets, MovieFromServerConnectsToItsOwnHostOnly) {
  LoopbackSocketServer echoServer(echo);
  std::string source = "movie version=6 rate=12\nactions {\n";
  source += newSocket("own");
  source += handler("own", "onConnect", "    Push \"mine\" 1 \"own\"\n    GetVariable\n    Push \"send\"\n"
                                        "    CallMethod\n    Pop\n");
  source += handler("own", "onData");
  source += connect("own", "undefined", echoServer.port());
  // Another host than the movie's is refused at once.
  source += newSocket("other") + handler("other", "onConnect");
  source += connect("other", "\"localhost\"", echoServer.port());
  source += "}\n" + waitFrames("");

  test::TempDir dir;
  const std::vector<uint8_t> bytes = test::TempDir::read(build(source, dir));
  test::LoopbackHttpServer web;
  web.route("/m.qvx", test::LoopbackHttpServer::Route::ok(std::string(bytes.begin(), bytes.end())));
  const std::string out = play(web.url("/m.qvx"), dir, "--frames 8 --load-timeout 5 --debug");

  using Lines = std::vector<std::string>;
  const std::string port = std::to_string(echoServer.port());
  EXPECT_EQ(linesOf(out, "own"), (Lines{"own connect " + port + " true", "own onConnect true", "own onData mine"}))
      << out;
  EXPECT_EQ(linesOf(out, "other"), (Lines{"other connect " + port + " false"})) << out;
  EXPECT_NE(readText(dir.file("err.txt")).find("[security] Blocking insecure request for http://localhost"),
            std::string::npos)
      << readText(dir.file("err.txt"));
  EXPECT_EQ(echoServer.connections(), 1);
}

}  // namespace
}  // namespace kivra
