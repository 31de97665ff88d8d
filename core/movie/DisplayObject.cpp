#include "core/movie/DisplayObject.h"

#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/Drawing.h"
#include "core/text/EditField.h"

namespace kivra {

DisplayObject::DisplayObject(Display& display, std::shared_ptr<Character> character, int32_t depth)
    : display_(display), character_(std::move(character)), depth_(depth) {
  display_.objectCreated();
}

void DisplayObject::setEditField(std::unique_ptr<EditField> field) {
  if (editField_) display_.fieldGone();
  editField_ = std::move(field);
  if (editField_) display_.fieldMade();
}

void DisplayObject::setOwnBounds(const RECT& bounds) {
  const RECT& now = character_->bounds;
  if (now.xmin == bounds.xmin && now.xmax == bounds.xmax && now.ymin == bounds.ymin && now.ymax == bounds.ymax) return;
  if (!ownCharacter_) {
    auto own = std::make_shared<Character>();
    own->id = character_->id;
    own->kind = character_->kind;
    own->tagCode = character_->tagCode;
    own->owner = character_->owner;
    own->data = character_->data;
    own->dataLength = character_->dataLength;
    own->tagBody = character_->tagBody;
    own->tagLength = character_->tagLength;
    character_ = std::move(own);
    ownCharacter_ = true;
  }
  character_->bounds = bounds;
  display_.invalidate(*this);
}

Drawing& DisplayObject::ensureDrawing() {
  if (!drawing_) drawing_ = std::make_unique<Drawing>();
  return *drawing_;
}

DisplayObject::~DisplayObject() {
  // Children first, so every timeline below is gone before this one.
  children_.clear();
  if (mask_) mask_->maskedClip_ = nullptr;
  if (maskedClip_) maskedClip_->mask_ = nullptr;
  if (timeline_ && !ownedTimeline_) timeline_->displayObjectGone();
  ownedTimeline_.reset();
  if (editField_) display_.fieldGone();
  display_.objectDestroyed(this);
}

DisplayObject* DisplayObject::childAt(int32_t depth) const {
  for (const auto& c : children_) {
    if (c->depth_ == depth) return c.get();
    if (c->depth_ > depth) break;
  }
  return nullptr;
}

}  // namespace kivra
