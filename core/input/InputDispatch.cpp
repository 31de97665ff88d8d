#include "core/input/InputDispatch.h"

#include <algorithm>
#include <cmath>

#include "core/host/HostWindow.h"
#include "core/movie/ButtonRecords.h"
#include "core/movie/ButtonStates.h"
#include "core/movie/CharacterKinds.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

namespace {
// Keys that are also delivered as key presses when they go down.
bool pressedOnKeyDown(uint16_t code) {
  return (code >= kKeyLeft && code <= kKeyDelete) || code == kKeyBackspace ||
         (code >= kKeyEnter && code <= kKeyEscape);
}

// The character Key.getAscii() reports for a key event.
int asciiOf(const KeyEvent& key) {
  const bool function = key.virtualKey >= kVkF1 && key.virtualKey < kVkF1 + 15;
  const bool special = key.code < 32 || key.code == kKeyShift || key.code == kKeyControl || function ||
                       (key.code >= 56 && key.code <= 58 && key.virtualKey >= 91 && key.virtualKey <= 93);
  if (!special) return key.code;
  switch (key.code) {
    case kKeyDelete: return 127;
    case kKeyBackspace: return 8;
    case kKeyEnter: return 13;
    case kKeyTab: return 9;
    case kKeyEscape: return 27;
    default: return 0;
  }
}

// Maps a device point through the inverse of a matrix (doubles: exact
// enough for pointer positions and free of fixed-point overflow).
int32_t clampTwips(double v) { return static_cast<int32_t>(std::clamp(std::lround(v), -(1L << 30), 1L << 30)); }
}  // namespace

InputDispatch::InputDispatch(InputContext& player, Display& display)
    : player_(player), display_(display), focus_(display) {
  display_.addObserver(this);
}

InputDispatch::~InputDispatch() { display_.removeObserver(this); }

void InputDispatch::displayObjectDestroyed(DisplayObject* object) {
  if (drag_.clip == object) drag_ = Drag{};
  text_.objectDestroyed(object);
}

bool InputDispatch::ready() const { return player_.acceptsInput(); }

bool InputDispatch::takeActivity() {
  const bool a = activity_ || !display_.actions().empty();
  activity_ = false;
  return a;
}

// ---- Hit testing and tracking ---------------------------------------------------------

bool InputDispatch::actsAsButton(const DisplayObject& sprite) { return KeyboardFocus::actsAsButton(sprite, *hooks_); }

const DisplayObject* InputDispatch::hitArea(const DisplayObject& sprite) { return hooks_->hitArea(sprite); }

DisplayObject* InputDispatch::targetAt(int x, int y) {
  const int f = std::max(1, display_.aaFactor());
  const int64_t dx = static_cast<int64_t>(x) * f + f / 2;
  const int64_t dy = static_cast<int64_t>(y) * f + f / 2;
  DisplayObject* found = hitTest_.interactiveAt(display_, dx, dy, *this);
  if (found && modalRoot_) {
    const DisplayObject* p = found;
    while (p && p != modalRoot_) p = p->parent();
    if (!p) return nullptr;
  }
  return found;
}

bool InputDispatch::shapesCover(const DisplayObject& object, int32_t stageX, int32_t stageY) {
  const DevicePoint p = transformPoint(display_.view().matrix, stageX, stageY);
  return hitTest_.objectHit(display_, object, p.x, p.y);
}

void InputDispatch::track(bool pressed) {
  DisplayObject* target = inside_ ? targetAt(pointerX_, pointerY_) : nullptr;
  if (display_.buttonTracker().track(target, pressed, *this)) activity_ = true;
}

void InputDispatch::trackAfterFrame() {
  if (!ready() || !inside_ || player_.panning()) return;
  track(mouseDown_);
}

bool InputDispatch::buttonEnabled(DisplayObject& object) {
  return hooks_->property(object, InputProperty::Enabled) != ScriptFlag::False;
}

bool InputDispatch::tracksAsMenu(DisplayObject& object) {
  const ScriptFlag f = hooks_->property(object, InputProperty::TrackAsMenu);
  if (f != ScriptFlag::Unset) return f == ScriptFlag::True;
  const Character::ButtonPart* button = object.character()->button();
  return button && button->trackAsMenu;
}

void InputDispatch::gotoStateLabel(DisplayObject& sprite, const char* label) {
  TimelinePlayer* t = sprite.timeline();
  if (!t) return;
  const int frame = t->findFrameLabel(label);
  if (frame >= 0) t->gotoAndStop(frame);
}

void InputDispatch::queueButtonActions(DisplayObject& button, int transition) {
  const Character* c = button.character();
  DisplayObject* target = button.parent();
  if (!c || !target) return;
  ButtonRecords(*c).forEachCondition([&](const ButtonCondition& cond) {
    if (!cond.onTransition(transition)) return;
    ActionBlock block;
    block.code = cond.code;
    block.length = cond.length;
    block.clip = target;
    block.version = button.version();
    display_.actions().push(ActionList::Frame, block);
  });
}

void InputDispatch::startButtonSound(DisplayObject& button, int transition) {
  const int entry = transitionSoundEntry(transition);
  const Character* c = button.character();
  if (!sounds_ || entry < 0 || !c || !c->owner) return;
  const ButtonRecords records(*c);
  const ButtonSound s = records.sound(entry);
  if (const std::shared_ptr<Character> sound = records.soundCharacter(s))
    sounds_->startButtonSound(button, *sound, s.info, s.infoLength);
}

void InputDispatch::buttonTransition(DisplayObject& object, int transition) {
  activity_ = true;
  const uint32_t event = transitionEvent(transition);
  if (kindOps(object.kind()).button) {
    ButtonStates::setMode(display_, object, modeAfter(transition));
    queueButtonActions(object, transition);
    if (object.version() >= 6) {
      // The button's script object method, when it has one.
      ActionBlock block;
      block.clip = &object;
      block.version = object.version();
      block.event = event;
      display_.actions().push(ActionList::Frame, block);
    }
    startButtonSound(object, transition);
    return;
  }
  // A sprite acting as a button shows the frame of its state label first.
  const char* label = "_up";
  switch (transition) {
    case kOverUpToOverDown:
    case kOutDownToOverDown:
    case kIdleToOverDown: label = "_down"; break;
    case kOverDownToOverUp:
    case kIdleToOverUp:
    case kOverDownToOutDown: label = "_over"; break;
    default: label = "_up"; break;
  }
  gotoStateLabel(object, label);
  display_.fireEvent(object, event);
}

void InputDispatch::buttonForcedIdle(DisplayObject& object) {
  activity_ = true;
  if (kindOps(object.kind()).button) ButtonStates::setMode(display_, object, ButtonMode::Idle);
  else gotoStateLabel(object, "_up");
}

int InputDispatch::cursorKind() {
  if (pointerHidden_) return static_cast<int>(CursorKind::Hidden);
  if (DisplayObject* b = display_.trackedButton())
    return static_cast<int>(hooks_->property(*b, InputProperty::UseHandCursor) == ScriptFlag::False
                                ? CursorKind::Arrow
                                : CursorKind::Hand);
  double sx = 0, sy = 0;
  if (inside_ && pointerOnStage(sx, sy) && text_.fieldAt(sx, sy))
    return static_cast<int>(text_.linkAt(sx, sy) ? CursorKind::Hand : CursorKind::IBeam);
  return static_cast<int>(player_.zoomed() ? CursorKind::Grab : CursorKind::Arrow);
}

// ---- Clip events --------------------------------------------------------------------------

void InputDispatch::fireOnTimelines(uint32_t event, bool methodsOnFocusOnly) {
  for (TimelinePlayer* t : display_.timelines()) {
    DisplayObject* o = t->displayObject();
    if (!o || t->removed() || t->isLibrary()) continue;
    if (!methodsOnFocusOnly || o == focus_.focused()) {
      display_.fireEvent(*o, event);
    } else {
      o->clipActions().fire(event, 0, o, display_.actions());
    }
  }
}

// ---- Mouse ------------------------------------------------------------------------------------

void InputDispatch::mouseMove(int x, int y, bool forced) {
  if (!ready()) {
    pointerX_ = x;
    pointerY_ = y;
    return;
  }
  if (x == pointerX_ && y == pointerY_ && inside_ && !forced) return;
  pointerX_ = x;
  pointerY_ = y;
  const PixelRect client = player_.clientRectangle();
  inside_ = x >= client.left && x < client.right && y >= client.top && y < client.bottom;
  if (inside_ || (mouseDown_ && player_.level0Version() >= 6))
    fireOnTimelines(kClipEventMouseMove, false);
  hooks_->broadcast("Mouse", "onMouseMove");
  updateDrag();
  if (mouseDown_) {
    double sx = 0, sy = 0;
    if (pointerOnStage(sx, sy)) text_.mouseMove(sx, sy);
  }
  if (!player_.panning()) track(mouseDown_);
}

void InputDispatch::mouseDown() {
  mouseDown_ = true;
  if (!ready()) return;
  fireOnTimelines(kClipEventMouseDown, false);
  hooks_->broadcast("Mouse", "onMouseDown");
  double sx = 0, sy = 0;
  // A press on a button goes to the button, anywhere else to a field there.
  if (!targetAt(pointerX_, pointerY_) && pointerOnStage(sx, sy) &&
      text_.mouseDown(sx, sy, keyIsDown(kVkShift), player_.milliseconds(), *hooks_)) {
    activity_ = true;
    if (focus_.focused() != text_.focused()) {
      DisplayObject* previous = focus_.focused();
      focus_.set(text_.focused());
      hooks_->focusChanged(previous, text_.focused());
    }
  } else if (!text_.focused() && focus_.focused() && focus_.focused()->editField()) {
    focus_.set(nullptr);
  }
  track(true);
}

void InputDispatch::mouseUp() {
  mouseDown_ = false;
  if (!ready()) return;
  fireOnTimelines(kClipEventMouseUp, false);
  hooks_->broadcast("Mouse", "onMouseUp");
  updateDrag();
  // A field being selected takes the release.
  if (text_.mouseUp()) return;
  if (!player_.panning()) track(false);
}

void InputDispatch::mouseLeft() {
  inside_ = false;
  if (!ready()) return;
  if (display_.buttonTracker().track(nullptr, mouseDown_, *this)) activity_ = true;
}

void InputDispatch::captureLost() {
  mouseDown_ = false;
  inside_ = true;
}

// ---- Drags --------------------------------------------------------------------------------------

bool InputDispatch::pointerOnStage(double& x, double& y) const {
  return display_.view().clientToStage(pointerX_, pointerY_, x, y);
}

bool InputDispatch::pointerInParent(const DisplayObject& clip, double& x, double& y) const {
  double sx = 0, sy = 0;
  if (!display_.view().clientToStage(pointerX_, pointerY_, sx, sy)) return false;
  // The parent's matrices, innermost first.
  MATRIX world;
  for (const DisplayObject* p = clip.parent(); p && p != &display_.root(); p = p->parent())
    world = concat(world, p->matrix());
  return inverseMap(world, sx, sy, x, y);
}

void InputDispatch::startDrag(DisplayObject& clip, bool lockCenter, const double* bounds) {
  drag_ = Drag{};
  drag_.clip = &clip;
  drag_.lockCenter = lockCenter;
  if (bounds) {
    drag_.constrained = true;
    auto twips = [](double v) { return clampTwips(std::isfinite(v) ? v : 0.0); };
    drag_.bounds.xmin = std::min(twips(bounds[0]), twips(bounds[2]));
    drag_.bounds.xmax = std::max(twips(bounds[0]), twips(bounds[2]));
    drag_.bounds.ymin = std::min(twips(bounds[1]), twips(bounds[3]));
    drag_.bounds.ymax = std::max(twips(bounds[1]), twips(bounds[3]));
  }
  double px = 0, py = 0;
  if (!lockCenter && pointerInParent(clip, px, py)) {
    drag_.offsetX = clip.matrix().tx - px;
    drag_.offsetY = clip.matrix().ty - py;
  }
  updateDrag();
}

void InputDispatch::updateDrag() {
  DisplayObject* clip = drag_.clip;
  double px = 0, py = 0;
  if (!clip || !pointerInParent(*clip, px, py)) return;
  double x = px + drag_.offsetX;
  double y = py + drag_.offsetY;
  if (drag_.constrained) {
    x = std::clamp(x, static_cast<double>(drag_.bounds.xmin), static_cast<double>(drag_.bounds.xmax));
    y = std::clamp(y, static_cast<double>(drag_.bounds.ymin), static_cast<double>(drag_.bounds.ymax));
  }
  MATRIX m = clip->matrix();
  m.tx = clampTwips(x);
  m.ty = clampTwips(y);
  if (m == clip->matrix() && clip->scriptControlled()) return;
  display_.setMatrixFromScript(*clip, m);
  activity_ = true;
}

void InputDispatch::stopDrag() {
  DisplayObject* clip = drag_.clip;
  if (!clip) return;
  drag_ = Drag{};
  const int f = std::max(1, display_.aaFactor());
  display_.update();
  const DisplayObject* under =
      hitTest_.clipAt(display_, static_cast<int64_t>(pointerX_) * f + f / 2,
                      static_cast<int64_t>(pointerY_) * f + f / 2, clip);
  clip->setDropTarget(under ? slashPath(display_, under) : std::string());
}

std::string InputDispatch::slashPath(const Display& display, const DisplayObject* clip) {
  if (!clip || clip == &display.root()) return std::string();
  std::string path;
  const DisplayObject* o = clip;
  for (; o && o->parent() && o->parent() != &display.root(); o = o->parent()) path = "/" + o->name() + path;
  if (!o) return path;
  // o is the level root.
  const std::string level = o->depth() == 0 ? std::string() : "_level" + std::to_string(o->depth());
  return path.empty() ? level + "/" : level + path;
}

// ---- Keys ---------------------------------------------------------------------------------------

bool InputDispatch::keyIsDown(int virtualKey) const {
  return virtualKey >= 0 && virtualKey < static_cast<int>(keysDown_.size()) && keysDown_[virtualKey];
}

void InputDispatch::keyDown(const KeyEvent& key) {
  lastCode_ = key.code;
  lastVirtualKey_ = key.virtualKey;
  lastAscii_ = asciiOf(key);
  if (key.virtualKey < keysDown_.size()) keysDown_[key.virtualKey] = true;
  if (!ready()) return;
  fireOnTimelines(kClipEventKeyDown, true);
  hooks_->broadcast("Key", "onKeyDown");
  if (key.control && text_.focused() && key.virtualKey >= 'A' && key.virtualKey <= 'Z') {
    if (text_.shortcut(static_cast<char>(key.virtualKey), player_.clipboard(), *hooks_)) activity_ = true;
    return;
  }
  if (pressedOnKeyDown(key.code)) keyPress(key.code, key.shift);
}

void InputDispatch::keyUp(const KeyEvent& key) {
  if (key.virtualKey < keysDown_.size()) keysDown_[key.virtualKey] = false;
  if (!ready()) return;
  fireOnTimelines(kClipEventKeyUp, true);
  hooks_->broadcast("Key", "onKeyUp");
}

void InputDispatch::typedCharacter(uint32_t character) {
  // Backspace, Tab and Enter arrive through key down.
  if (character == 8 || character == 9 || character == 13 || character == 0) return;
  lastAscii_ = static_cast<int>(character);
  if (!ready()) return;
  keyPress(static_cast<uint16_t>(std::min<uint32_t>(character, 0xFFFF)), false);
}

bool InputDispatch::matchKeyPress(DisplayObject& parent, uint16_t code, int nesting) {
  if (nesting > Display::kMaxNesting + 2) return false;
  for (const auto& child : parent.children()) {
    DisplayObject& o = *child;
    if (o.depth() < 0) continue;
    const CharacterKindOps& ops = kindOps(o.kind());
    if (ops.button) {
      const Character* c = o.character();
      bool matched = false;
      if (c && code <= 0x7F && buttonEnabled(o)) {
        ButtonRecords(*c).forEachCondition([&](const ButtonCondition& cond) {
          if (matched || cond.keyCode() == 0 || cond.keyCode() != code) return;
          matched = true;
          ActionBlock block;
          block.code = cond.code;
          block.length = cond.length;
          block.clip = o.parent();
          block.version = o.version();
          display_.actions().push(ActionList::Frame, block);
        });
      }
      if (matched) return true;
      continue;
    }
    if (ops.ownsTimeline && code <= 0xFF && o.clipActions().handlesKey(static_cast<uint8_t>(code))) {
      o.clipActions().fire(kClipEventKeyPress, static_cast<uint8_t>(code), &o, display_.actions());
      return true;
    }
    if (matchKeyPress(o, code, nesting + 1)) return true;
  }
  return false;
}

void InputDispatch::keyPress(uint16_t code, bool shift) {
  if (matchKeyPress(display_.root(), code, 0)) {
    activity_ = true;
    return;
  }
  switch (code) {
    case kKeyTab: setFocus(focus_.tabTarget(shift, *hooks_)); break;
    case kKeyLeft:
    case kKeyRight:
    case kKeyUp:
    case kKeyDown:
      if (text_.focused()) {
        if (text_.key(code, shift, *hooks_)) activity_ = true;
      } else if (DisplayObject* next = focus_.arrowTarget(code, *hooks_)) {
        setFocus(next);
      }
      break;
    default:
      if (text_.focused()) {
        if (text_.key(code, shift, *hooks_)) activity_ = true;
      } else if (code == kKeyEnter || code == kKeySpace) {
        pressFocused();
      }
      break;
  }
}

void InputDispatch::pressFocused() {
  DisplayObject* f = focus_.focused();
  if (!f || !(kindOps(f->kind()).button || actsAsButton(*f))) return;
  ButtonTracker& tracker = display_.buttonTracker();
  // A press and a release at once, as a click on it would make them.
  tracker.track(f, false, *this);
  if (focus_.focused() == f) tracker.track(f, true, *this);
  if (focus_.focused() == f) tracker.track(f, false, *this);
  pressedFocus_ = true;
  activity_ = true;
}

void InputDispatch::afterActions() {
  const bool pressed = pressedFocus_;
  pressedFocus_ = false;
  if (focus_.takeLostByRemoval() && pressed) setFocus(focus_.tabTarget(false, *hooks_));
}

void InputDispatch::setFocus(DisplayObject* object) {
  DisplayObject* previous = focus_.focused();
  focus_.set(object);
  // A field given the focus takes the keyboard; anything else takes it away.
  text_.setFocus(object && object->editField() ? object : nullptr, *hooks_);
  if (object && (kindOps(object->kind()).button || actsAsButton(*object))) {
    if (display_.buttonTracker().track(object, false, *this)) activity_ = true;
  }
  if (previous != object) hooks_->focusChanged(previous, object);
  activity_ = true;
  player_.redrawAll();
}

bool InputDispatch::focusRectShown() {
  DisplayObject* f = focus_.focused();
  if (!f || focus_.rect().empty()) return false;
  // A field shows its caret instead.
  if (f->editField()) return false;
  return hooks_->property(*f, InputProperty::FocusRect) != ScriptFlag::False;
}

}  // namespace kivra
