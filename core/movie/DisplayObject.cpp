#include "core/movie/DisplayObject.h"

#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/Drawing.h"

namespace kivra {

DisplayObject::DisplayObject(Display& display, std::shared_ptr<Character> character, int32_t depth)
    : display_(display), character_(std::move(character)), depth_(depth) {
  display_.objectCreated();
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
