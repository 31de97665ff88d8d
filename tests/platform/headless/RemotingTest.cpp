// Remote calls over HTTP against a gateway on the loopback address: the
// packet a frame's calls make (headers replaced in place, responders
// numbered "/1" and "/2", a call without one "/"), checked byte for byte,
// and a reply that calls a header method, refuses a must-understand header,
// answers both responders and the connection, and runs short. Then the
// failures: a reply of another version, a gateway answering 500, an empty
// URL (with no onStatus of its own it reaches System.onStatus).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/net/Amf0Codec.h"
#include "core/net/RemotingPacket.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

AmfValue strictArray(std::vector<AmfValue> elements) {
  AmfValue v = AmfValue::ofKind(AmfKind::StrictArray);
  v.elements = std::move(elements);
  return v;
}

AmfValue object(std::vector<AmfMember> members) {
  AmfValue v = AmfValue::ofKind(AmfKind::Object);
  v.members = std::move(members);
  return v;
}

std::string bytes(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

void header(std::vector<uint8_t>& out, const std::string& name, bool mustUnderstand, const AmfValue& value) {
  Amf0Writer(out).string16(name);
  const std::vector<uint8_t> data = encodeRemotingHeader(mustUnderstand, value);
  out.insert(out.end(), data.begin(), data.end());
}

// A function member of `object` that traces `prefix` and its argument's
// `field` (or the argument itself).
std::string tracer(const std::string& object, const std::string& name, const std::string& prefix,
                   const std::string& field = "") {
  std::string s = "  Push \"" + object + "\"\n  GetVariable\n  Push \"" + name + "\"\n";
  s += "  DefineFunction2 \"\" regs=2 r1:\"v\" {\n    Push \"" + prefix + "\" r:1\n";
  if (!field.empty()) s += "    Push \"" + field + "\"\n    GetMember\n";
  s += "    Add2\n    Trace\n  }\n  SetMember\n";
  return s;
}

std::string newObject(const std::string& name, const std::string& type) {
  return "  Push \"" + name + "\" 0 \"" + type + "\"\n  NewObject\n  SetVariable\n";
}

std::string callMethod(const std::string& object, const std::string& method, const std::string& argsPushed,
                       int argc) {
  return "  Push " + argsPushed + (argsPushed.empty() ? "" : " ") + std::to_string(argc) + " \"" + object +
         "\"\n  GetVariable\n  Push \"" + method + "\"\n  CallMethod\n  Pop\n";
}

TEST(Remoting, CallsTravelTogetherAndRepliesReachTheirResponders) {
  test::TempDir dir;
  test::LoopbackHttpServer server;

  std::string movie = "movie version=6 rate=12\nactions {\n";
  movie += newObject("nc", "NetConnection") + tracer("nc", "onStatus", "status ", "code");
  movie += tracer("nc", "serverTime", "header ");
  movie += callMethod("nc", "connect", "\"gateway\"", 1);
  movie += callMethod("nc", "addHeader", "\"first\" true \"Credentials\"", 3);
  movie += callMethod("nc", "addHeader", "\"en\" false \"Locale\"", 3);
  movie += callMethod("nc", "addHeader", "\"x\" false \"Gone\"", 3);
  movie += callMethod("nc", "addHeader", "\"second\" true \"Credentials\"", 3);
  movie += callMethod("nc", "addHeader", "\"Gone\"", 1);
  movie += newObject("r1", "Object") + tracer("r1", "onResult", "r1 ");
  movie += newObject("r2", "Object") + tracer("r2", "onStatus", "r2 ", "code");
  // call("math.add", r1, 2, 3), call("log.note", r2, "hi"), call("fire.forget")
  movie += "  Push 3 2 \"r1\"\n  GetVariable\n  Push \"math.add\" 4 \"nc\"\n  GetVariable\n  Push \"call\"\n"
           "  CallMethod\n  Pop\n";
  movie += "  Push \"hi\" \"r2\"\n  GetVariable\n  Push \"log.note\" 3 \"nc\"\n  GetVariable\n  Push \"call\"\n"
           "  CallMethod\n  Pop\n";
  movie += callMethod("nc", "call", "\"fire.forget\"", 1);
  // The failures, each on a connection of its own.
  movie += newObject("bad", "NetConnection") + tracer("bad", "onStatus", "bad ", "code");
  movie += callMethod("bad", "connect", "\"" + server.url("/old") + "\"", 1);
  movie += callMethod("bad", "call", "\"x\"", 1);
  movie += newObject("down", "NetConnection") + tracer("down", "onStatus", "down ", "description");
  movie += callMethod("down", "connect", "\"//127.0.0.1:" + std::to_string(server.port()) + "/down\"", 1);
  movie += callMethod("down", "call", "\"x\"", 1);
  movie += "  Push \"System\"\n  GetVariable\n  Push \"onStatus\"\n"
           "  DefineFunction2 \"\" regs=2 r1:\"v\" {\n    Push \"system \" r:1\n    Push \"code\"\n    GetMember\n"
           "    Add2\n    Trace\n  }\n  SetMember\n";
  movie += newObject("none", "NetConnection") + callMethod("none", "connect", "\"\"", 1);
  movie += "}\nshowframe\nshowframe\nshowframe\n";

  std::vector<uint8_t> compiled;
  qvxs::Diagnostics diag;
  ASSERT_TRUE(qvxs::compileMovie(movie, compiled, diag, dir.file(""))) << diag.text();
  server.route("/m.qvx", test::LoopbackHttpServer::Route::ok(bytes(compiled)));

  // The reply: a header method, a must-understand header nobody handles,
  // both responders, the connection, and a message cut short.
  std::vector<uint8_t> reply;
  Amf0Writer w(reply);
  w.u16(0);
  w.u16(2);
  header(reply, "serverTime", false, AmfValue::ofString("noon"));
  header(reply, "Secret", true, AmfValue::ofNumber(1));
  w.u16(4);
  appendRemotingMessage("/1/onResult", "", AmfValue::ofNumber(5), reply);
  appendRemotingMessage("/2/onStatus", "", object({{"code", AmfValue::ofString("Logged")}}), reply);
  appendRemotingMessage("/onStatus", "", object({{"code", AmfValue::ofString("Fire.Done")}}), reply);
  w.string16("/1/onResult");
  w.string16("");
  w.u32(9);
  w.u8(0);  // a number missing its eight bytes
  server.route("/gateway", test::LoopbackHttpServer::Route::ok(bytes(reply)));
  server.route("/old", test::LoopbackHttpServer::Route::ok(std::string("\0\3\0\0\0\0\0\0", 8)));
  test::LoopbackHttpServer::Route down;
  down.status = 500;
  server.route("/down", down);

  const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
  const std::string command = std::string(KIVRA_PLAYER_PATH) + " --headless --frames 2 --trace --debug '" +
                              server.url("/m.qvx") + "' > '" + out + "' 2> '" + err + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << bytes(test::TempDir::read(err));
  const std::vector<uint8_t> traced = test::TempDir::read(out);
  EXPECT_EQ(bytes(traced),
            "system NetConnection.Connect.Failed\n"
            "header noon\n"
            "status Client.Header.MustUnderstand\n"
            "r1 5\n"
            "r2 Logged\n"
            "status Fire.Done\n"
            "status Client.Data.UnderFlow\n"
            "bad NetConnection.Call.BadVersion\n"
            "down HTTP: Status 500\n");

  // One POST for the three calls; the replaced header kept its place.
  std::vector<uint8_t> headers;
  header(headers, "Credentials", true, AmfValue::ofString("second"));
  header(headers, "Locale", false, AmfValue::ofString("en"));
  std::vector<uint8_t> messages;
  appendRemotingMessage("math.add", "/1", strictArray({AmfValue::ofNumber(2), AmfValue::ofNumber(3)}), messages);
  appendRemotingMessage("log.note", "/2", strictArray({AmfValue::ofString("hi")}), messages);
  appendRemotingMessage("fire.forget", "/", strictArray({}), messages);
  std::vector<uint8_t> expected = {0, 0, 0, 2};
  expected.insert(expected.end(), headers.begin(), headers.end());
  expected.push_back(0);
  expected.push_back(3);
  expected.insert(expected.end(), messages.begin(), messages.end());
  int posts = 0;
  for (const auto& r : server.requests()) {
    if (r.path != "/gateway") continue;
    ++posts;
    EXPECT_EQ(r.method, "POST");
    EXPECT_NE(r.head.find("application/x-amf"), std::string::npos) << r.head;
    EXPECT_EQ(r.body, bytes(expected));
  }
  EXPECT_EQ(posts, 1);
  const std::vector<uint8_t> log = test::TempDir::read(err);
  const std::string debug = bytes(log);
  for (const char* line : {"KAP:AddMessage(math.add:/1)\n", "KAP:AddMessage(log.note:/2)\n",
                           "KAP:AddMessage(fire.forget:/)\n", "KAP:Flushing 3 Messages\n", "KAP:Parsing 4 Messages\n"})
    EXPECT_NE(debug.find(line), std::string::npos) << line << debug;
}

// A 300-byte method name is written with its full length field.
TEST(Remoting, LongNamesAndShortRepliesKeepTheirFields) {
  std::vector<uint8_t> m;
  appendRemotingMessage(std::string(300, 'm'), "/", AmfValue::ofKind(AmfKind::Null), m);
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[0], 0x01);
  EXPECT_EQ(m[1], 0x2C);
  const uint8_t shortReply[] = {0, 0, 0, 0, 0, 0};
  EXPECT_EQ(parseRemotingReply(shortReply, sizeof shortReply).status, RemotingReply::Status::Ignored);
  const uint8_t badVersion[] = {0, 3, 0, 0, 0, 0, 0};
  EXPECT_EQ(parseRemotingReply(badVersion, sizeof badVersion).status, RemotingReply::Status::BadVersion);
}

}  // namespace
}  // namespace kivra
