#pragma once
// The system clipboard through Qt: plain text, UTF-8 on the core's side.
// It keeps no state; a QGuiApplication must exist when it is used.
#include <string>

#include "core/host/Clipboard.h"

namespace kivra {

class QtClipboard : public Clipboard {
 public:
  // Empty when the clipboard holds no text.
  std::string clipboardText() override;
  // Malformed UTF-8 arrives as replacement characters.
  void setClipboardText(const std::string& text) override;
};

}  // namespace kivra
