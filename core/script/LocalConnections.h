#pragma once
// LocalConnection objects: method calls between players of one user
// through the shared block (LocalConnectionArea) that the host provides.
// Opened on the first call of any method; from then on poll() runs once a
// frame: it sweeps names whose objects or processes are gone, drops a
// message older than kExpiryMs, takes a message meant for one of this
// player's listeners, and posts the oldest queued message of this player.
//
// Objects are held weakly: a listener or a queued message does not keep
// its object alive, and a listener whose object is gone leaves the
// registry at the next poll. The shared lock is only held while the block
// is read or written: the scripts a poll calls (the delivered method,
// allowDomain, onStatus) run after it is released, so a slow or failing
// script never stalls the other players.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/script/ScriptValue.h"

namespace kivra {

class DisplayClipBridge;
class LocalConnectionArea;
class LocalConnectionBlock;
class PlayerServices;
class ScriptEngine;
class ScriptObject;

// The domain of a movie by its URL: "localhost" for a local file, else its
// host without the port, and without its first label when it is a name of
// three or more labels.
std::string localConnectionDomain(std::string_view movieUrl);
// The names send refuses as methods (letter case ignored).
bool reservedLocalConnectionMethod(std::string_view name);

class LocalConnections {
 public:
  static constexpr uint32_t kExpiryMs = 5000;
  // Messages waiting in one player's queue at most; send refuses more.
  static constexpr size_t kMaxQueued = 1024;

  LocalConnections(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player);
  ~LocalConnections();
  LocalConnections(const LocalConnections&) = delete;
  LocalConnections& operator=(const LocalConnections&) = delete;

  // The script methods; each false when refused.
  bool connect(ScriptObject& object, const ScriptValue& name);
  bool send(ScriptObject& object, const ScriptValue* args, int argc);
  bool close(ScriptObject& object);
  std::string domain();

  // Once a frame. True when it called a script.
  bool poll();
  // Every listener's name leaves the registry and the queue empties (the
  // movie goes away).
  void clear();

 private:
  // Objects are held weakly: `alive` falls when the object goes.
  struct Listener {
    std::string name;  // the full name
    ScriptObject* object;
    std::shared_ptr<const bool> alive;
    bool gone() const { return !*alive; }
  };
  struct Outgoing {
    std::string body;
    ScriptObject* sender;
    std::shared_ptr<const bool> alive;
  };
  class Token;
  // The object's liveness flag, made on first use; null when the object
  // carries another class's state.
  std::shared_ptr<const bool> tokenOf(ScriptObject& object);
  bool open();
  // Locks and checks the block; null when it cannot be used.
  LocalConnectionArea* lockArea(LocalConnectionArea& area);
  void unlock();
  void deliver(const std::string& body, const ScriptValue& receiver);
  void report(const ScriptValue& sender, bool delivered);

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
  PlayerServices& player_;
  LocalConnectionBlock* block_ = nullptr;
  bool tried_ = false;  // open() ran; block_ stays null when it failed
  std::vector<Listener> listeners_;  // the newest first
  std::deque<Outgoing> queue_;
};

}  // namespace kivra
