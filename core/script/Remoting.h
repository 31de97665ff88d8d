#pragma once
// Remote calls over HTTP for NetConnection objects. A connected object
// carries a channel (its native state): the gateway URL, headers kept for
// every packet and the messages queued since the last one. Once per frame
// every channel with messages sends them in one POST; the reply's headers
// call the connection's methods and its messages go to responders (kept
// as hidden members of the connection), to the connection or to
// _global.System.onStatus.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/net/RemotingPacket.h"
#include "core/script/ScriptObject.h"
#include "core/script/ScriptValue.h"

namespace kivra {

class DisplayClipBridge;
class PlayerServices;
class ScriptEngine;
class Remoting;

class RemotingChannel : public NativeState {
 public:
  RemotingChannel(Remoting& owner, ScriptObject& connection, std::string url);
  ~RemotingChannel() override;

  Remoting* owner;           // null once the player's remoting is gone
  ScriptObject& connection;  // which owns the channel
  const std::string url;
  std::vector<RemotingHeaderBytes> headers;
  std::vector<uint8_t> messages;
  uint16_t messageCount = 0;
  uint32_t outstanding = 0;  // posts sent whose replies are not processed
  uint32_t nextResponder = 1;
  bool closed = false;
};

class Remoting {
 public:
  Remoting(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player);
  ~Remoting();
  Remoting(const Remoting&) = delete;
  Remoting& operator=(const Remoting&) = delete;

  // NetConnection methods; `args` are the script's arguments.
  void connect(ScriptObject& connection, const ScriptValue* args, int argc);
  void call(ScriptObject& connection, const ScriptValue* args, int argc);
  void addHeader(ScriptObject& connection, const ScriptValue* args, int argc);
  void close(ScriptObject& connection);

  // Once per frame: each channel with messages sends them.
  void flush();
  // Every post stops (the movie goes away).
  void clear();
  void collectRoots(std::vector<ScriptObject*>& out) const;

 private:
  class Post;
  friend class RemotingChannel;

  static RemotingChannel* channelOf(ScriptObject& connection);
  void send(ScriptObject& connection, RemotingChannel& channel);
  void replyArrived(ScriptObject& connection, const std::string& body);
  void postFailed(ScriptObject& connection, int httpStatus);
  // Routes one reply message (or a status the player made) by its target.
  void dispatch(ScriptObject& connection, const std::string& target, const ScriptValue& value,
                std::vector<uint32_t>& usedResponders);
  void status(ScriptObject& connection, const ScriptValue& info);
  ScriptValue statusObject(const char* level, const std::string& code, const std::string* description = nullptr,
                           const std::string* details = nullptr);
  void releaseIfDone(ScriptObject& connection);
  void sweep();

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
  PlayerServices& player_;
  std::vector<RemotingChannel*> channels_;
  std::vector<std::unique_ptr<Post>> posts_;
};

}  // namespace kivra
