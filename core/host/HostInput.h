#pragma once
// Keyboard and pointer state that scripts read or set directly, outside the
// event stream (Key.isToggled, Mouse.show/hide).

namespace kivra {

class HostInput {
 public:
  virtual ~HostInput() = default;
  // Live toggle state of a lock key (virtual key code).
  virtual bool keyIsToggled(int code) {
    (void)code;
    return false;
  }
  // Shows or hides the pointer over the player; returns the host's answer.
  virtual int showPointer(bool show) {
    (void)show;
    return 0;
  }
};

}  // namespace kivra
