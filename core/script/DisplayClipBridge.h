#pragma once
// The engine's bridge to the display tree: every sprite, button, editable
// text and level root gets a clip script object on first use, linked to its
// DisplayObject (and through it to its TimelinePlayer). Target paths in both
// notations, clip names in member lookup and the 22 clip properties are
// answered here; the property and path rules live in ClipProperties.cpp and
// TargetPaths.cpp. It also connects the library's answers to input
// handling (ClipInputHooks) for as long as it lives.
//
// Lifetime: a clip object lives while its display object does. When the
// display destroys the object the clip object is detached (values that
// refer to it keep its last dot path) and becomes an ordinary object that
// the collector frees. Everything runs on the player's thread.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "core/movie/CharacterKinds.h"
#include "core/movie/Display.h"
#include "core/script/ClipBridge.h"
#include "core/script/ClipInputHooks.h"
#include "core/script/LocalConnections.h"
#include "core/script/TextFieldBindings.h"
#include "core/script/Remoting.h"
#include "core/script/UrlLoads.h"
#include "core/script/UrlRequests.h"
#include "core/script/XmlSockets.h"

namespace kivra {

class PlayerServices;

// Scale and rotation kept beside a clip's matrix, so that written values
// read back exactly and the skew between the axes survives writes.
struct ClipScale {
  double xscale = 100;
  double yscale = 100;
  double rotation = 0;
  int32_t xAngle = 0;  // 16.16 degrees
  int32_t yAngle = 0;
  MATRIX from;         // the matrix these values describe
  bool valid = false;
};

// Reserved levels (the player's own panels) start here.
constexpr int64_t kReservedLevel = 2130706430;
// Script-made clips live at display depths from here on.
constexpr int32_t kScriptDepthBase = 16384;

class DisplayClipBridge : public ClipBridge, public DisplayObserver {
 public:
  DisplayClipBridge(PlayerServices& player, ScriptEngine& engine);
  ~DisplayClipBridge() override;

  // ---- ClipBridge -------------------------------------------------------
  ScriptObject* clipObject(DisplayObject* clip) override;
  ScriptObject* rootClip() override;
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
  bool setClipMember(ScriptObject& clip, std::string_view name, const ScriptValue& value) override;
  bool fieldScroll(ScriptObject& holder, std::string_view name, bool max, ScriptValue& out) override;
  bool setFieldScroll(ScriptObject& holder, std::string_view name, const ScriptValue& line) override;
  void childNames(ScriptObject& clip, std::vector<std::string>& out) override;
  bool isButtonOrText(ScriptObject& clip) override;
  ScriptValue getProperty(ScriptObject& clip, int index) override;
  void setProperty(ScriptObject& clip, int index, const ScriptValue& value) override;
  void cloneSprite(ScriptObject& source, std::string_view name, int depth) override;
  void removeSprite(ScriptObject& clip) override;
  void startDrag(ScriptObject& clip, bool lockCenter, const double* bounds) override;
  void endDrag() override;
  void toggleQuality() override;
  void stopSounds() override;
  void getUrl(ScriptObject* target, std::string_view url, std::string_view window, int flags) override;
  void collectRoots(std::vector<ScriptObject*>& out) override;
  void soundStarted(std::shared_ptr<SoundChannel> channel, ScriptObject& object) override;
  void soundsCompleted(const std::vector<std::shared_ptr<SoundChannel>>& done) override;
  int64_t soundPosition(const ScriptObject& object) override;
  int soundBufferSeconds() const override { return soundBufferSeconds_; }

  // ---- DisplayObserver ----------------------------------------------------
  void displayObjectDestroyed(DisplayObject* object) override;

  // ---- Used by the natives ------------------------------------------------
  // The display object behind a clip object (null for a plain object or a
  // removed clip).
  static DisplayObject* displayObject(ScriptObject* clip);
  // The clip object a display object already has, or null.
  ScriptObject* existingObject(const DisplayObject& object) const;
  // Whether the yellow focus rectangle is drawn around the object: its own
  // `_focusrect` (version 6, not a button) or the player's flag.
  ScriptFlag focusRectFlag(const DisplayObject& object) const;
  // The clip value of a display object (undefined for kinds without one).
  ScriptValue clipValue(DisplayObject* object);
  // Root of the object's level, and a level's root by number.
  DisplayObject* levelRoot(DisplayObject& object) const;
  DisplayObject* level(int64_t number) const;
  int levelNumber(DisplayObject& object) const;
  // The object's bounds in its parent's space (its own matrix applied), or
  // with the given matrix in place of its own; the empty bounds are
  // 0x7FFFFFF twips on every side.
  RECT bounds(const DisplayObject& object, const MATRIX& m) const;
  // The matrix from the object's space to the stage (its own included).
  MATRIX globalMatrix(const DisplayObject& object) const;
  // The scale values of a clip, refreshed when its matrix changed.
  ClipScale& scale(DisplayObject& object);
  // Rebuilds the matrix's linear part from the stored scale values.
  void applyScale(DisplayObject& object, ClipScale& s);
  // Places a character as a script-made clip under `parent`; returns it.
  DisplayObject* placeScriptClip(DisplayObject& parent, std::shared_ptr<Character> character,
                                 std::string_view name, int32_t depth, const MATRIX& matrix,
                                 const CXFORM& cxform, ScriptObject* init);
  // Removes a script-made clip.
  void removeClip(DisplayObject& object);
  // The level-0 movie went away.
  void movieUnloaded();
  // Marks the clip's class as applied; false when it already was.
  bool markConstructed(DisplayObject& object);

 private:
  struct Entry {
    ScriptObject* object = nullptr;
    ClipScale scale;
    bool focusRectSet = false;  // the clip's own `_focusrect` (version 6)
    bool focusRect = false;
    bool constructed = false;  // its class was applied
  };
  ScriptObject* objectFor(DisplayObject* object);
  DisplayObject* childByName(DisplayObject& parent, std::string_view name) const;
  void applyInit(ScriptObject* clip, ScriptObject* init);

  PlayerServices& player_;
  ScriptEngine& engine_;
  std::unordered_map<const DisplayObject*, Entry> entries_;
  ScriptObject* stage_ = nullptr;  // stands for the stage while no level 0 exists
  // Sound objects and the channels they started, while those play.
  // Each Sound object is held (counted) while its channel plays, so that a
  // script dropping its last reference cannot free it under the channel.
  std::vector<std::pair<std::shared_ptr<SoundChannel>, ScriptValue>> sounds_;
  bool focusRect_ = true;
  int soundBufferSeconds_ = 5;
  ClipInputHooks inputHooks_;
  TextFieldBindings bindings_{engine_};
  UrlLoads loads_{engine_, *this, player_};
  Remoting remoting_{engine_, *this, player_};
  UrlRequests requests_{engine_, *this, player_};
  XmlSockets sockets_{engine_, *this, player_};
  LocalConnections localConnections_{engine_, *this, player_};

 public:
  // Text fields bound to variables.
  TextFieldBindings& fieldBindings() { return bindings_; }
  // GetURL requests waiting for the end of the script run.
  UrlRequests& urlRequests() { return requests_; }
  // Loads of variables and of LoadVars and XML text.
  UrlLoads& urlLoads() { return loads_; }
  // NetConnection channels and their posts.
  Remoting& remoting() { return remoting_; }
  // The connections of XMLSocket objects.
  XmlSockets& xmlSockets() { return sockets_; }
  // LocalConnection objects and the shared block.
  LocalConnections& localConnections() { return localConnections_; }
  // What input asks of scripts (field events go through it too).
  ClipInputHooks& inputHooks() { return inputHooks_; }
};

// Clip kinds that have a script object and can be reached by instance name.
bool isScriptableKind(CharacterKind kind);
// "_levelN" or "_kivraN" (letter case ignored): true with the number.
bool levelName(std::string_view name, int64_t& number);
// The index of a clip property name ("_x", "_ALPHA", ...), or -1.
int propertyIndex(std::string_view name);

}  // namespace kivra
