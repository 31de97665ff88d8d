#pragma once
// The clip stand-in used until the display list provides clips: the only
// clip is the root of level 0, driven through its TimelinePlayer. Paths
// reach the root ("/", "_root", "_level0") and object members; clip
// properties are the frame counters, `_name` and `_target`.
#include "core/script/ClipBridge.h"

namespace kivra {

class CorePlayer;

class RootClipBridge : public ClipBridge {
 public:
  RootClipBridge(CorePlayer& player, ScriptEngine& engine) : player_(player), engine_(engine) {}
  ~RootClipBridge() override;

  ScriptObject* clipObject(DisplayObject* clip) override;
  ScriptObject* rootClip() override { return clipObject(nullptr); }
  int clipVersion(ScriptObject& clip) override;
  void nextFrame(ScriptObject& clip) override;
  void previousFrame(ScriptObject& clip) override;
  void play(ScriptObject& clip) override;
  void stop(ScriptObject& clip) override;
  void gotoFrame(ScriptObject& clip, int frame, bool play) override;
  int frameOfLabel(ScriptObject& clip, std::string_view label) override;
  int framesLoaded(ScriptObject& clip) override;
  int frameCount(ScriptObject& clip) override;
  void frameActions(ScriptObject& clip, int frame, std::vector<ActionBlock>& out) override;
  ScriptObject* resolvePath(ScriptObject* start, std::string_view path, int mode) override;
  std::string targetPath(ScriptObject& clip, bool dot) override;
  bool clipMember(ScriptObject& clip, std::string_view name, ScriptValue& out) override;
  bool setClipMember(ScriptObject&, std::string_view, const ScriptValue&) override { return false; }
  void childNames(ScriptObject&, std::vector<std::string>&) override {}
  bool isButtonOrText(ScriptObject&) override { return false; }
  ScriptValue getProperty(ScriptObject& clip, int index) override;
  void setProperty(ScriptObject&, int, const ScriptValue&) override {}
  void cloneSprite(ScriptObject&, std::string_view, int) override {}
  void removeSprite(ScriptObject&) override {}
  // The root clip is the only one here: it is what a drag can move.
  void startDrag(ScriptObject& clip, bool lockCenter, const double* bounds) override;
  void endDrag() override;
  void toggleQuality() override;
  void stopSounds() override {}
  void getUrl(ScriptObject*, std::string_view, std::string_view, int) override {}
  void collectRoots(std::vector<ScriptObject*>& out) override;

  // The level-0 movie was replaced: the old root's values see it gone.
  void resetRoot();

 private:
  CorePlayer& player_;
  ScriptEngine& engine_;
  ScriptObject* root_ = nullptr;  // permanent while level 0 exists
};

}  // namespace kivra
