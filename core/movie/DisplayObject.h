#pragma once
// One node of the display tree: a placed character with its transform. The
// tree owns its nodes (each parent owns its children, kept sorted by
// ascending depth); a sprite's node also owns the sprite's timeline. A level
// root's timeline belongs to the player and is only referred to.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/movie/Character.h"
#include "core/movie/ClipActions.h"
#include "core/render/DirtyArea.h"
#include "core/format/Records.h"

namespace kivra {

class Display;
class Drawing;
class EditField;
class TimelinePlayer;

// Depths 0 to this belong to timelines; scripts place objects above it.
constexpr int32_t kMaxTimelineDepth = 0x3FFF;

class DisplayObject {
 public:
  DisplayObject(Display& display, std::shared_ptr<Character> character, int32_t depth);
  ~DisplayObject();
  DisplayObject(const DisplayObject&) = delete;
  DisplayObject& operator=(const DisplayObject&) = delete;

  Display& display() const { return display_; }
  DisplayObject* parent() const { return parent_; }
  // Children in drawing order: ascending depth, and of two at one depth the
  // one placed later first.
  const std::vector<std::unique_ptr<DisplayObject>>& children() const { return children_; }
  // The first child at exactly this depth, or null.
  DisplayObject* childAt(int32_t depth) const;

  // The character as placed (never an import alias), and its kind.
  const Character* character() const { return character_.get(); }
  const std::shared_ptr<Character>& sharedCharacter() const { return character_; }
  CharacterKind kind() const { return character_->kind; }
  uint16_t characterId() const { return character_->id; }
  int32_t depth() const { return depth_; }

  const MATRIX& matrix() const { return matrix_; }
  const CXFORM& cxform() const { return cxform_; }
  uint16_t ratio() const { return ratio_; }
  uint16_t clipDepth() const { return clipDepth_; }
  const std::string& name() const { return name_; }
  // The version of the movie that placed the object.
  int version() const { return version_; }

  // Set when a script moved, recoloured or swapped the object: timeline
  // moves leave it alone and a rewind keeps its transform.
  bool scriptControlled() const { return scriptControlled_; }
  void setScriptControlled(bool on) { scriptControlled_ = on; }

  // The sprite's (or level's) timeline, or null.
  TimelinePlayer* timeline() const { return timeline_; }
  const ClipActions& clipActions() const { return clipActions_; }

  // Redraw state, kept by the display's update pass.
  bool dirty() const { return dirty_; }
  bool drawn() const { return drawn_; }
  const DeviceRect& deviceBounds() const { return deviceBounds_; }

  // Hidden objects (and everything below them) are not drawn.
  bool visible() const { return visible_; }

  // The slash path of the clip this one was last dropped on (`_droptarget`).
  const std::string& dropTarget() const { return dropTarget_; }
  void setDropTarget(std::string path) { dropTarget_ = std::move(path); }

  // Button: the state records shown (a tracking mode, set by input).
  uint8_t buttonState() const { return buttonState_; }
  void setButtonState(uint8_t s) { buttonState_ = s; }

  // A mask set by script: this object draws only inside `mask()`'s shapes,
  // and a clip that masks another (`maskedClip()`) is not drawn itself.
  // Display::setMask keeps the two links paired.
  DisplayObject* mask() const { return mask_; }
  DisplayObject* maskedClip() const { return maskedClip_; }

  // The clip's scripted drawing, drawn beneath its children; null until a
  // script first draws into the clip. Whoever changes it invalidates the
  // object.
  Drawing* drawing() const { return drawing_.get(); }
  Drawing& ensureDrawing();

  // An edit text field's state; null for other kinds.
  EditField* editField() const { return editField_.get(); }
  void setEditField(std::unique_ptr<EditField> field);
  // A field's box changed (auto-size, scripts): the object gets a
  // character of its own with these bounds, so that hit tests, bounds and
  // repaints follow the box.
  void setOwnBounds(const RECT& bounds);

 private:
  friend class Display;
  friend class TimelinePlayer;
  friend class SpriteKind;  // starts the timeline it owns

  Display& display_;
  DisplayObject* parent_ = nullptr;
  std::vector<std::unique_ptr<DisplayObject>> children_;
  std::shared_ptr<Character> character_;
  int32_t depth_ = 0;
  MATRIX matrix_;
  CXFORM cxform_;
  uint16_t ratio_ = 0;
  uint16_t clipDepth_ = 0;
  std::string name_;
  int version_ = 6;
  bool scriptControlled_ = false;
  bool visible_ = true;
  bool dirty_ = true;
  bool drawn_ = false;
  DeviceRect deviceBounds_;
  std::string dropTarget_;
  uint8_t buttonState_ = 1;  // idle, showing the up records
  DisplayObject* mask_ = nullptr;
  DisplayObject* maskedClip_ = nullptr;
  ClipActions clipActions_;
  std::unique_ptr<Drawing> drawing_;
  std::unique_ptr<EditField> editField_;
  bool ownCharacter_ = false;
  uint64_t fieldRevision_ = 0;  // of the field when last drawn
  // Owned for sprites; a level root refers to the player's timeline.
  std::unique_ptr<TimelinePlayer> ownedTimeline_;
  TimelinePlayer* timeline_ = nullptr;
};

}  // namespace kivra
