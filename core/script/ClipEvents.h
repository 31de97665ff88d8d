#pragma once
// The clip-event handler names and their event bits. Setting a property of
// one of these names on an object sets the bit in its event mask; deleting
// it clears the bit.
#include <cstdint>
#include <string_view>

namespace kivra {

struct ClipEventName {
  const char* name;
  uint32_t bit;
};

inline constexpr ClipEventName kClipEventNames[] = {
    {"onLoad", 0x1},          {"onEnterFrame", 0x2},    {"onUnload", 0x4},        {"onMouseMove", 0x8},
    {"onMouseDown", 0x10},    {"onMouseUp", 0x20},      {"onKeyDown", 0x40},      {"onKeyUp", 0x80},
    {"onData", 0x100},        {"onPress", 0x400},       {"onRelease", 0x800},     {"onReleaseOutside", 0x1000},
    {"onRollOver", 0x2000},   {"onRollOut", 0x4000},    {"onDragOver", 0x8000},   {"onDragOut", 0x10000},
};

// The event bit of a handler name (letter case ignored), or 0.
uint32_t clipEventBit(std::string_view name);

}  // namespace kivra
