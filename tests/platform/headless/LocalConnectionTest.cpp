// Local connections end to end: two headless players run at once, a
// receiver that connects and traces what it is sent and a sender, sharing
// a block of their own (KIVRA_LOCAL_CONNECTION_SHM names it per test). The
// test itself reaches into the block for what no movie can do: hold a name
// without ever collecting its messages, and die holding the lock.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/net/LocalConnectionArea.h"
#include "platform/PosixLocalConnectionBlock.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// Pushes a variable or a member path ("info.level").
std::string value(const std::string& path) {
  size_t dot = path.find('.');
  std::string s = "  Push " + quoted(path.substr(0, dot)) + "\n  GetVariable\n";
  while (dot != std::string::npos) {
    const size_t next = path.find('.', dot + 1);
    s += "  Push " + quoted(path.substr(dot + 1, next == std::string::npos ? next : next - dot - 1)) +
         "\n  GetMember\n";
    dot = next;
  }
  return s;
}

// trace(label + " " + v1 + " " + v2 ...)
std::string traceValues(const std::string& label, const std::vector<std::string>& paths) {
  std::string s = "  Push " + quoted(label) + "\n";
  for (const std::string& p : paths) s += "  Push \" \"\n  Add2\n" + value(p) + "  Add2\n";
  return s + "  Trace\n";
}

std::string newConnection(const std::string& name) {
  return "  Push " + quoted(name) + " 0 \"LocalConnection\"\n  NewObject\n  SetVariable\n";
}

// object.name = function(params) { body }
std::string method(const std::string& object, const std::string& name, const std::vector<std::string>& params,
                   const std::string& body) {
  std::string s = value(object) + "  Push " + quoted(name) + "\n  DefineFunction \"\"";
  for (const std::string& p : params) s += " " + quoted(p);
  return s + " {\n" + body + "  }\n  SetMember\n";
}

// Pushes one literal item ("\"text\"", "1", "true").
std::string lit(const std::string& item) { return "  Push " + item + "\n"; }

// trace(label + " " + object.name(args)); each argument is the code that
// pushes it (lit, value).
std::string traceCall(const std::string& label, const std::string& object, const std::string& name,
                      const std::vector<std::string>& args) {
  std::string s = "  Push " + quoted(label + " ") + "\n";
  for (auto it = args.rbegin(); it != args.rend(); ++it) s += *it;
  s += "  Push " + std::to_string(args.size()) + "\n" + value(object) + "  Push " + quoted(name) +
       "\n  CallMethod\n  Add2\n  Trace\n";
  return s;
}

const std::string kQuit = "  GetURL \"VXCommand:quit\" \"\"\n";

// A movie whose frame 1 runs `setup`, then waits (frames 2 and 3) until
// `ready` is set, then runs `main` and stops.
std::string movie(const std::string& setup, const std::string& main) {
  return "movie version=6 rate=30\nactions {\n" + setup + "}\nshowframe\nshowframe\nactions {\n" +
         "  Push \"ready\"\n  GetVariable\n  If go\n  GotoFrame 1\n  Play\ngo:\n}\nshowframe\nactions {\n" + main +
         "  Stop\n}\nshowframe\n";
}

// Frame 1 sends "ping" to `target` until a send is posted, which sets
// `ready`: the receiver is listening from then on.
std::string waitForReceiver(const std::string& target) {
  return newConnection("probe") +
         method("probe", "onStatus", {"info"},
                "  Push \"info\"\n  GetVariable\n  Push \"level\"\n  GetMember\n  Push \"status\"\n  Equals2\n"
                "  If posted\n  Push \"ping\" " + quoted(target) + " 2\n  Push \"probe\"\n  GetVariable\n"
                "  Push \"send\"\n  CallMethod\n  Pop\n  Jump out\nposted:\n  Push \"/:ready\" true\n"
                "  SetVariable\nout:\n") +
         "  Push \"ping\" " + quoted(target) + " 2\n  Push \"probe\"\n  GetVariable\n  Push \"send\"\n" +
         "  CallMethod\n  Pop\n";
}

// onStatus of `object`: traces the level, quits after `count` of them.
std::string statusCounter(const std::string& object, int count) {
  return method(object, "onStatus", {"info"},
                traceValues(object, {"info.level"}) + "  Push \"/:n\"\n  Push \"/:n\"\n  GetVariable\n  Increment\n" +
                    "  SetVariable\n  Push \"/:n\"\n  GetVariable\n  Push " + std::to_string(count) +
                    "\n  Equals2\n  Not\n  If stay\n" + kQuit + "stay:\n") +
         "  Push \"/:n\" 0\n  SetVariable\n";
}

class Player {
 public:
  Player(const std::string& movie, const test::TempDir& dir, const std::string& tag, const std::string& shm,
         const std::string& options = "")
      : out_(dir.file(tag + ".out")), err_(dir.file(tag + ".err")) {
    const std::string command = "exec env KIVRA_LOCAL_CONNECTION_SHM=" + shm + " " + KIVRA_PLAYER_PATH +
                                " --headless --trace --frames 100000000 " + options + " '" + movie + "' > '" +
                                out_ + "' 2> '" + err_ + "'";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Player() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // Waits for the player to quit (at most `seconds`); its trace.
  std::string finish(int seconds = 60) {
    int status = -1;
    for (int i = 0; i < seconds * 100; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(pid_, -1) << "still running: " << out_;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out_;
    return text(out_);
  }
  std::string errors() const { return text(err_); }
  static std::string text(const std::string& path) {
    const std::vector<uint8_t> b = test::TempDir::read(path);
    return std::string(b.begin(), b.end());
  }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
};

std::string build(const std::string& source, const test::TempDir& dir, const std::string& name) {
  std::vector<uint8_t> bytes;
  qvxs::Diagnostics diag;
  EXPECT_TRUE(qvxs::compileMovie(source, bytes, diag, dir.file(""))) << diag.text();
  return dir.write(name, bytes);
}

// A block name of this test's own, removed afterwards.
class ShmName {
 public:
  ShmName() : name_("/kivra-lc-test-" + std::to_string(::getpid()) + "-" + std::to_string(next_++)) {}
  ~ShmName() { ::shm_unlink(name_.c_str()); }
  const std::string& name() const { return name_; }

 private:
  static inline int next_ = 0;
  std::string name_;
};

// The AMF bytes of a message before its one string argument's text.
size_t messageOverhead(const std::string& name, const std::string& domain, const std::string& method) {
  return (3 + name.size()) + (3 + domain.size()) + (3 + method.size()) + 3;
}

TEST(LocalConnections, CallsBetweenTwoPlayers) {
  test::TempDir dir;
  ShmName shm;
  const size_t exact = LocalConnectionArea::kMaxBodyBytes - messageOverhead("_lcR", "localhost", "big");

  const std::string receiver = movie(
      newConnection("lc") + newConnection("other") +
          method("lc", "m", {"a", "b", "c"}, traceValues("m", {"a", "b", "c.k"})) +
          method("lc", "big", {"s"}, traceValues("big", {"s.length"})) +
          method("lc", "done", {}, "  Push \"done\"\n  Trace\n" + kQuit) +
          traceCall("connect", "lc", "connect", {lit("\"_lcR\"")}) +
          traceCall("connect again", "lc", "connect", {lit("\"_lcR2\"")}) +
          traceCall("same name", "other", "connect", {lit("\"_LCr\"")}) +
          traceCall("colon", "other", "connect", {lit("\"a:b\"")}) + traceCall("empty", "other", "connect", {lit("\"\"")}) +
          traceCall("number", "other", "connect", {lit("5")}),
      "");
  const std::string sender = movie(
      waitForReceiver("_lcR"),
      newConnection("lc") + statusCounter("lc", 4) + "  Push \"o\"\n  Push \"k\" 3 1\n  InitObject\n  SetVariable\n" +
          traceCall("taken", "lc", "connect", {lit("\"_lcr\"")}) + traceCall("one arg", "lc", "send", {lit("\"_lcR\"")}) +
          traceCall("reserved", "lc", "send", {lit("\"_lcR\""), lit("\"onStatus\"")}) +
          traceCall("reserved case", "lc", "send", {lit("\"_lcR\""), lit("\"ALLOWDOMAIN\"")}) +
          traceCall("no name", "lc", "send", {lit("\"\""), lit("\"m\"")}) + traceCall("domain", "lc", "domain", {}) +
          traceCall("send m", "lc", "send", {lit("\"_lcR\""), lit("\"m\""), lit("1"), lit("\"two\""), value("o")}) +
          traceCall("nobody", "lc", "send", {lit("\"_nobody\""), lit("\"m\"")}) +
          traceCall("exact", "lc", "send", {lit("\"_lcR\""), lit("\"big\""), lit(quoted(std::string(exact, 'x')))}) +
          traceCall("over", "lc", "send", {lit("\"_lcR\""), lit("\"big\""), lit(quoted(std::string(exact + 1, 'x')))}) +
          traceCall("done", "lc", "send", {lit("\"_lcR\""), lit("\"done\"")}));

  Player r(build(receiver, dir, "r.qvx"), dir, "r", shm.name());
  Player s(build(sender, dir, "s.qvx"), dir, "s", shm.name());
  EXPECT_EQ(r.finish(),
            "connect true\nconnect again false\nsame name false\ncolon false\nempty false\nnumber false\n"
            "m 1 two 3\nbig " + std::to_string(exact) + "\ndone\n");
  EXPECT_EQ(s.finish(),
            "taken false\none arg false\nreserved false\nreserved case false\nno name false\ndomain localhost\n"
            "send m true\nnobody true\nexact true\nover false\ndone true\n"
            "lc status\nlc error\nlc status\nlc status\n");
}

// A sender served over HTTP has the domain 127.0.0.1: a receiver without
// allowDomain takes its message without calling anything; one whose
// allowDomain answers true gets the call.
TEST(LocalConnections, OtherDomainNeedsAllowDomain) {
  test::TempDir dir;
  ShmName shm;
  const std::string receiver = movie(
      newConnection("plain") + newConnection("open") +
          method("plain", "m", {"a"}, traceValues("plain m", {"a"})) +
          method("open", "m", {"a"}, traceValues("open m", {"a"})) +
          method("open", "done", {}, "  Push \"done\"\n  Trace\n" + kQuit) +
          method("open", "allowDomain", {"d"},
                 traceValues("allowDomain", {"d"}) + "  Push \"d\"\n  GetVariable\n  Push \"127.0.0.1\"\n" +
                     "  Equals2\n  Return\n") +
          traceCall("connect", "plain", "connect", {lit("\"_plain\"")}) +
          traceCall("connect", "open", "connect", {lit("\"_open\"")}),
      "");
  const std::string sender = movie(
      waitForReceiver("_plain"),
      newConnection("lc") + statusCounter("lc", 3) + traceCall("domain", "lc", "domain", {}) +
          traceCall("plain", "lc", "send", {lit("\"_plain\""), lit("\"m\""), lit("1")}) +
          traceCall("open", "lc", "send", {lit("\"_open\""), lit("\"m\""), lit("2")}) +
          traceCall("done", "lc", "send", {lit("\"_open\""), lit("\"done\"")}));
  const std::vector<uint8_t> bytes = test::TempDir::read(build(sender, dir, "s.qvx"));
  test::LoopbackHttpServer web;
  web.route("/s.qvx", test::LoopbackHttpServer::Route::ok(std::string(bytes.begin(), bytes.end())));

  Player r(build(receiver, dir, "r.qvx"), dir, "r", shm.name());
  Player s(web.url("/s.qvx"), dir, "s", shm.name(), "--load-timeout 10");
  EXPECT_EQ(r.finish(),
            "connect true\nconnect true\nallowDomain 127.0.0.1\nopen m 2\nallowDomain 127.0.0.1\ndone\n");
  EXPECT_EQ(s.finish(), "domain 127.0.0.1\nplain true\nopen true\ndone true\nlc status\nlc status\nlc status\n");
}

// A name whose owner lives but never collects: the message is dropped after
// 5,000 ms and the name leaves the registry, so the next send to it fails.
TEST(LocalConnections, UncollectedMessageExpires) {
  test::TempDir dir;
  ShmName shm;
  PosixLocalConnectionBlock block(shm.name());
  ASSERT_TRUE(block.open());
  {
    ASSERT_EQ(block.lock(), BlockLock::Locked);
    LocalConnectionArea area(block.bytes(), block.size());
    area.setUp();
    ASSERT_TRUE(area.add("_slow", block.processId()));
    block.unlock();
  }
  const std::string sender =
      "movie version=6 rate=30\nactions {\n" + newConnection("lc") + statusCounter("lc", 2) +
      traceCall("first", "lc", "send", {lit("\"_slow\""), lit("\"m\"")}) +
      traceCall("second", "lc", "send", {lit("\"_slow\""), lit("\"m\"")}) + "  Stop\n}\nshowframe\n";
  const auto start = std::chrono::steady_clock::now();
  Player s(build(sender, dir, "s.qvx"), dir, "s", shm.name());
  EXPECT_EQ(s.finish(), "first true\nsecond true\nlc status\nlc error\n");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
  ASSERT_EQ(block.lock(), BlockLock::Locked);
  LocalConnectionArea area(block.bytes(), block.size());
  EXPECT_EQ(area.find("_slow"), -1);
  EXPECT_FALSE(area.messageWaiting());
  block.unlock();
}

// A process dies holding the lock, half-way through writing: its name
// stuck in the registry without an end, a bad message length. The next
// player recovers the lock, keeps the whole names and sweeps the dead
// process's, and works as usual; the lock is sound afterwards.
TEST(LocalConnections, PlayerKilledHoldingTheLock) {
  test::TempDir dir;
  ShmName shm;
  const pid_t child = ::fork();
  if (child == 0) {
    PosixLocalConnectionBlock block(shm.name());
    if (!block.open() || block.lock() != BlockLock::Locked) ::_exit(1);
    LocalConnectionArea area(block.bytes(), block.size());
    area.setUp();
    area.add("_dead", block.processId());
    area.add("_kept", 0);
    // Half a name at the end, no final empty name.
    uint8_t* registry = block.bytes() + LocalConnectionArea::kRegistryOffset;
    const LocalConnectionArea::Scan scan = area.scan();
    std::memset(registry + scan.used, 'z', LocalConnectionArea::kRegistryBytes - scan.used);
    block.bytes()[LocalConnectionArea::kLengthOffset + 2] = 0x7F;
    ::raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  const std::string player =
      "movie version=6 rate=30\nactions {\n" + newConnection("lc") +
      method("lc", "m", {"a"}, traceValues("m", {"a"}) + kQuit) +
      traceCall("connect", "lc", "connect", {lit("\"_dead\"")}) +
      traceCall("send", "lc", "send", {lit("\"_dead\""), lit("\"m\""), lit("\"after\"")}) + "  Stop\n}\nshowframe\n";
  Player p(build(player, dir, "p.qvx"), dir, "p", shm.name(), "--debug");
  EXPECT_EQ(p.finish(), "connect true\nsend true\nm after\n");
  EXPECT_NE(p.errors().find("recovered the lock"), std::string::npos) << p.errors();

  PosixLocalConnectionBlock block(shm.name());
  ASSERT_TRUE(block.open());
  ASSERT_EQ(block.lock(), BlockLock::Locked);
  LocalConnectionArea area(block.bytes(), block.size());
  const LocalConnectionArea::Scan scan = area.scan();
  EXPECT_TRUE(scan.wellFormed);
  EXPECT_EQ(scan.count, 1u);  // the player's own name left when it quit
  EXPECT_EQ(area.find("_kept"), 0);
  block.unlock();
}

}  // namespace
}  // namespace kivra
