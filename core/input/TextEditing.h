#pragma once
// Editing the focused text field from the host's Edit menu.

namespace kivra {

// Edit codes sent to the focused text field.
enum class EditCode { Delete = 7, Cut = 9, Copy = 10, Paste = 11, SelectAll = 12 };

// What the focused text field allows.
struct TextEditAbilities {
  bool cut = false;
  bool copy = false;
  bool paste = false;
  bool clear = false;
  bool selectAll = false;
};

}  // namespace kivra
