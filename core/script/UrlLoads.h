#pragma once
// Loads by URL that end in script data: variables into a clip or level
// (loadVariables), and the text of `LoadVars` and `XML` objects. Each load
// is a URL stream from the host; its bytes are counted as they come
// (`_bytesLoaded`, `_bytesTotal`) and, at the end, decoded into the target
// or handed to the object's onData.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/host/UrlStreams.h"
#include "core/script/ScriptObject.h"
#include "core/script/ScriptValue.h"

namespace kivra {

class DisplayClipBridge;
class PlayerServices;
class ScriptEngine;
class ScriptObject;

// What a Sound object keeps of the sound loadSound brought it: the movie
// holding an event sound, or the movie a streaming sound plays from (the
// object's target while it lasts). A newer load or attached sound lets it go.
class LoadedSoundState : public NativeState {
 public:
  LoadedSoundState(PlayerServices& player, uint64_t movie) : movie(movie), player_(player) {}
  ~LoadedSoundState() override;
  const uint64_t movie;  // the player's id of the sound's movie

 private:
  PlayerServices& player_;
};

class UrlLoads {
 public:
  // Variable loads hold at most this much text.
  static constexpr size_t kMaxTextBytes = 16u << 20;

  UrlLoads(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player);
  ~UrlLoads();
  UrlLoads(const UrlLoads&) = delete;
  UrlLoads& operator=(const UrlLoads&) = delete;

  // Variables for the clip at `path` (from the root), or for level `level`
  // when the path is empty.
  void loadVariables(const UrlStreamRequest& request, const std::string& path, int64_t level, int version);
  // Text for an object's onData; false when the host cannot open the URL.
  bool loadObject(const UrlStreamRequest& request, ScriptObject& target, int version);
  // An MP3 sound for a Sound object (loadSound): at the end the sound is
  // attached to it (a streaming one starts playing) and its onLoad hears
  // whether that worked.
  void loadSound(const UrlStreamRequest& request, ScriptObject& sound, bool streaming, int version);
  // Every load stops (the movie goes away).
  void clear();
  // Objects waiting for their data.
  void collectRoots(std::vector<ScriptObject*>& out) const;

 private:
  class Load;
  void start(std::unique_ptr<Load> load, const UrlStreamRequest& request);
  // A newer load of an object replaces the older one.
  void stopLoadsOf(ScriptObject& target);
  void sweep();

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
  PlayerServices& player_;
  std::vector<std::unique_ptr<Load>> loads_;
};

}  // namespace kivra
