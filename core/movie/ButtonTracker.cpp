#include "core/movie/ButtonTracker.h"

#include "core/movie/DisplayObject.h"

namespace kivra {

void ButtonTracker::apply(DisplayObject& object, int transition, ButtonTrackerSink& sink) {
  mode_ = modeAfter(transition);
  if (mode_ == ButtonMode::Idle) {
    tracked_ = nullptr;
    remembered_ = false;
  } else {
    tracked_ = &object;
    parent_ = object.parent();
    character_ = object.character();
    depth_ = object.depth();
    ratio_ = object.ratio();
    remembered_ = true;
  }
  sink.buttonTransition(object, transition);
}

bool ButtonTracker::track(DisplayObject* target, bool pressed, ButtonTrackerSink& sink) {
  if (target && !sink.buttonEnabled(*target)) target = nullptr;
  if (tracked_ && !sink.buttonEnabled(*tracked_)) {
    DisplayObject& gone = *tracked_;
    tracked_ = nullptr;
    mode_ = ButtonMode::Idle;
    remembered_ = false;
    sink.buttonForcedIdle(gone);
  }
  bool any = false;
  for (int round = 0; round < 2; ++round) {
    if (!tracked_) mode_ = ButtonMode::Idle;
    int transition = -1;
    DisplayObject* subject = tracked_;
    switch (mode_) {
      case ButtonMode::Idle:
        subject = target;
        if (!target) break;
        if (!pressed) transition = kIdleToOverUp;
        else if (sink.tracksAsMenu(*target)) transition = kIdleToOverDown;
        break;
      case ButtonMode::Over:
        if (target != tracked_) transition = kOverUpToIdle;
        else if (pressed) transition = kOverUpToOverDown;
        break;
      case ButtonMode::PressedInside:
        if (target != tracked_) transition = sink.tracksAsMenu(*tracked_) ? kOverDownToIdle : kOverDownToOutDown;
        else if (!pressed) transition = kOverDownToOverUp;
        break;
      case ButtonMode::PressedOutside:
        if (target == tracked_) transition = kOutDownToOverDown;
        else if (!pressed) transition = kOutDownToIdle;
        break;
    }
    if (transition < 0 || !subject) break;
    apply(*subject, transition, sink);
    any = true;
    // Leaving one object and entering another happen in one step.
    if (tracked_ || !target) break;
  }
  return any;
}

void ButtonTracker::clear() {
  tracked_ = nullptr;
  mode_ = ButtonMode::Idle;
  remembered_ = false;
}

ButtonMode ButtonTracker::adopt(DisplayObject& button) {
  if (!remembered_ || button.parent() != parent_ || button.character() != character_ || button.depth() != depth_ ||
      button.ratio() != ratio_)
    return ButtonMode::Idle;
  if (!tracked_) tracked_ = &button;
  return mode_;
}

void ButtonTracker::replaced(DisplayObject* fresh, DisplayObject* kept) {
  if (tracked_ == fresh) tracked_ = kept;
}

void ButtonTracker::objectDestroyed(DisplayObject* object) {
  if (tracked_ == object) tracked_ = nullptr;  // its identity stays for a re-created twin
  if (remembered_ && parent_ == object) clear();
}

}  // namespace kivra
