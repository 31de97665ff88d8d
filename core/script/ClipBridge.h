#pragma once
// What the script engine needs from clips, target paths and the rest of the
// player. The engine calls these for the clip actions, the clip names met in
// member lookup, paths and clip properties; DisplayClipBridge implements them
// over the display tree.
//
// Every call happens on the player's thread from inside a script run. Clip
// arguments are clip script objects (ScriptObject::isClipObject()).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/movie/ActionQueue.h"
#include "core/script/ScriptValue.h"
#include "core/sound/SoundChannel.h"

namespace kivra {

class ScriptEngine;
class ScriptObject;

// Path resolution modes.
enum PathMode : int { kPathVersion4 = 1, kPathClipsOnly = 2 };

class ClipBridge {
 public:
  virtual ~ClipBridge() = default;

  // The script object of a queued block's clip (null means the level-0
  // root), or null when the clip has none.
  virtual ScriptObject* clipObject(DisplayObject* clip) = 0;
  // The root clip of level 0 (for `_root` preloads and path starts).
  virtual ScriptObject* rootClip() = 0;
  // Version of the movie the clip belongs to.
  virtual int clipVersion(ScriptObject& clip) = 0;

  // ---- Frame control (frames are 0-based) ----------------------------------
  virtual void nextFrame(ScriptObject& clip) = 0;
  virtual void previousFrame(ScriptObject& clip) = 0;
  virtual void play(ScriptObject& clip) = 0;
  virtual void stop(ScriptObject& clip) = 0;
  virtual void gotoFrame(ScriptObject& clip, int frame, bool play) = 0;
  // The frame of a label (letter case ignored), or -1.
  virtual int frameOfLabel(ScriptObject& clip, std::string_view label) = 0;
  virtual int framesLoaded(ScriptObject& clip) = 0;
  virtual int frameCount(ScriptObject& clip) = 0;
  // The action blocks of a frame's DoAction tags, for the Call action.
  virtual void frameActions(ScriptObject& clip, int frame, std::vector<ActionBlock>& out) = 0;

  // ---- Paths and clip names -------------------------------------------------
  // Resolves a target path from a start object (a clip's object or another
  // object); null when nothing is found.
  virtual ScriptObject* resolvePath(ScriptObject* start, std::string_view path, int mode) = 0;
  // The clip's own path in dot or slash notation.
  virtual std::string targetPath(ScriptObject& clip, bool dot) = 0;
  // The clip names of member lookup: _parent, _root, _levelN, _global,
  // children by instance name, then the clip properties by name.
  virtual bool clipMember(ScriptObject& clip, std::string_view name, ScriptValue& out) = 0;
  // A clip property name written as a member; true when it was one.
  virtual bool setClipMember(ScriptObject& clip, std::string_view name, const ScriptValue& value) = 0;
  // The scroll line (1-based) of the text field showing variable `name`
  // of `holder`, or its greatest scroll line; false when no field shows it.
  virtual bool fieldScroll(ScriptObject& holder, std::string_view name, bool max, ScriptValue& out) {
    (void)holder, (void)name, (void)max, (void)out;
    return false;
  }
  // Scrolls that field; false when no field shows the variable.
  virtual bool setFieldScroll(ScriptObject& holder, std::string_view name, const ScriptValue& line) {
    (void)holder, (void)name, (void)line;
    return false;
  }
  // Instance names of the clip's named children, for enumeration.
  virtual void childNames(ScriptObject& clip, std::vector<std::string>& out) = 0;
  // Buttons and editable text fields answer "object" to `typeof`.
  virtual bool isButtonOrText(ScriptObject& clip) = 0;

  // ---- Clip properties by index ----------------------------------------------
  virtual ScriptValue getProperty(ScriptObject& clip, int index) = 0;
  virtual void setProperty(ScriptObject& clip, int index, const ScriptValue& value) = 0;

  // ---- Other clip and player actions -----------------------------------------
  virtual void cloneSprite(ScriptObject& source, std::string_view name, int depth) = 0;
  virtual void removeSprite(ScriptObject& clip) = 0;
  virtual void startDrag(ScriptObject& clip, bool lockCenter, const double* bounds) = 0;
  virtual void endDrag() = 0;
  virtual void toggleQuality() = 0;
  virtual void stopSounds() = 0;
  // GetURL and GetURL2 (flags: the GetURL2 flag byte, 0 for GetURL).
  virtual void getUrl(ScriptObject* target, std::string_view url, std::string_view window, int flags) = 0;

  // Objects the collector must keep (timers, sockets, connections...).
  virtual void collectRoots(std::vector<ScriptObject*>& out) { (void)out; }

  // A Sound object started `channel`: the object is kept while it plays and
  // hears onSoundComplete when it ends; its position is the channel's.
  virtual void soundStarted(std::shared_ptr<SoundChannel> channel, ScriptObject& object) {
    (void)channel;
    (void)object;
  }
  // The channels that finished playing since the last call.
  virtual void soundsCompleted(const std::vector<std::shared_ptr<SoundChannel>>& done) { (void)done; }
  // The position (44.1 kHz units) of the object's last channel, or -1.
  virtual int64_t soundPosition(const ScriptObject& object) {
    (void)object;
    return -1;
  }
  // The _soundbuftime property: how long a stream that ran dry waits for
  // data before it plays on, in seconds.
  virtual int soundBufferSeconds() const { return 5; }
};

}  // namespace kivra
