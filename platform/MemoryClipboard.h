#pragma once
// A clipboard that lives as long as the player: the headless host has no
// system clipboard, yet cut, copy and paste must work within one run.
#include <string>

#include "core/host/Clipboard.h"

namespace kivra {

class MemoryClipboard : public Clipboard {
 public:
  std::string clipboardText() override { return text_; }
  void setClipboardText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};

}  // namespace kivra
